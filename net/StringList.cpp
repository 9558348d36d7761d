#include "net/StringList.h"

#include "net/TextView.h"

#include <utility>

namespace kestrum {

namespace {

String trimmedIf(String text, bool trim) {
    if (trim) {
        text.trim();
    }
    return text;
}

} // namespace

int StringMap::add(const String& name, const String& value) {
    if (name.isEmpty()) {
        return -1;
    }
    append(StringPair{name, value});
    return count() - 1;
}

int StringMap::find(const String& name, int start) const {
    if (name.isEmpty()) {
        return -1;
    }
    for (int i = start < 0 ? 0 : start; i < count(); ++i) {
        if (TextView((*this)[i].name).equalsIgnoringCase(name)) {
            return i;
        }
    }
    return -1;
}

StringPair& StringMap::entry(const String& name) {
    const int index = find(name);
    if (index >= 0) {
        return (*this)[index];
    }
    return GrowableArray<StringPair>::append(StringPair{name, String()});
}

bool StringMap::remove(const String& name) {
    const int index = find(name);
    if (index < 0) {
        return false;
    }
    removeAt(index);
    return true;
}

void split(const String& text, char delimiter, bool trim, StringList& out) {
    out.clear();
    const int size = text.length();
    int tokenStart = 0;
    for (int i = 0; i < size; ++i) {
        if (text[i] == delimiter) {
            out.append(trimmedIf(text.substring(tokenStart, i - tokenStart), trim));
            tokenStart = i + 1;
        }
    }
    String last = trimmedIf(text.substring(tokenStart), trim);
    if (!last.isEmpty()) {
        out.append(std::move(last));
    }
}

void parseParameters(const String& text, char separator, char assignment, bool trim,
                     StringMap& out) {
    out.clear();
    // Pieces end at each separator; a text without a final separator gets one, so splitting
    // (which drops an empty last token) yields exactly those pieces.
    StringList pieces;
    split(text, separator, false, pieces);
    const char assignmentText[2] = {assignment, '\0'};
    for (const String& piece : pieces) {
        const int at = piece.findFirstOf(assignmentText);
        if (at < 0) {
            out.add(trimmedIf(piece, trim), String());
        } else {
            out.add(trimmedIf(piece.substring(0, at), trim),
                    trimmedIf(piece.substring(at + 1), trim));
        }
    }
}

String getParameter(const String& text, const String& name) {
    StringList items;
    split(text, ';', true, items);
    String wanted = trimmedIf(name, true);
    toLower(wanted);
    for (const String& item : items) {
        const int at = item.find("=");
        if (at < 0) {
            continue;
        }
        String key = trimmedIf(item.substring(0, at), true);
        toLower(key);
        if (key == wanted) {
            return trimmedIf(item.substring(at + 1), true);
        }
    }
    return String();
}

} // namespace kestrum
