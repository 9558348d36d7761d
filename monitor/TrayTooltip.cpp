#include "monitor/TrayTooltip.h"

#include <string>

namespace kestrum {

namespace {

constexpr const char* ellipsis = "\xE2\x80\xA6";
constexpr const char* replacement = "\xEF\xBF\xBD";

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at text, 0 when there is none: overlong forms,
// surrogates and code points above U+10FFFF count as malformed.
int sequenceLength(const unsigned char* text) {
    const unsigned char lead = text[0];
    if (lead < 0x80) {
        return 1;
    }
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text[1] < low || text[1] > high) {
        return 0;
    }
    for (int i = 2; i < length; ++i) {
        if (!isContinuation(text[i])) {
            return 0;
        }
    }
    return length;
}

// Appends the characters of text to out as the tray is to show them, while they fit in room
// UTF-16 units; units counts what was appended. False when not all of it fitted.
bool appendFitting(const char* text, bool tripledAmpersands, int room, std::string& out,
                   int& units) {
    units = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    while (*p != '\0') {
        const int length = sequenceLength(p);
        // A character beyond the basic plane takes a surrogate pair; "&&&" stays whole.
        const bool ampersand = *p == '&' && tripledAmpersands;
        const int needed = ampersand ? 3 : length == 4 ? 2 : 1;
        if (units + needed > room) {
            return false;
        }
        if (ampersand) {
            out += "&&&";
        } else if (length == 0) {
            out += replacement;
        } else {
            out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
        }
        units += needed;
        p += length == 0 ? 1 : length;
    }
    return true;
}

} // namespace

String TrayTooltip::status(const String& name, const char* hint) const {
    return fitted(name, hint, String());
}

String TrayTooltip::withRates(const String& name, const char* hint,
                              const TooltipRates& rates) const {
    String tail("\n");
    tail.append(rateLines(rates));
    return fitted(name, hint, tail);
}

namespace {

void appendRateLine(String& lines, const char* label, std::uint32_t rate, const char* unit,
                    int share) {
    String line;
    line.format("%s (%s): %u", label, unit, static_cast<unsigned>(rate));
    lines.append(line);
    if (share >= 0) {
        String percent;
        percent.format(" (%d %%)", share);
        lines.append(percent);
    }
}

} // namespace

String TrayTooltip::rateLines(const TooltipRates& rates) {
    String lines;
    appendRateLine(lines, "Receiving", rates.received, rates.unit, rates.receivedShare);
    appendRateLine(lines, "\n  Sending", rates.sent, rates.unit, rates.sentShare);
    return lines;
}

String TrayTooltip::fitted(const String& name, const char* hint, const String& tail) const {
    const bool tripled = ampersands_ == Ampersands::Tripled;
    std::string hintText;
    std::string tailText;
    int hintUnits = 0;
    int tailUnits = 0;
    // Both are short texts of our own: they always fit.
    appendFitting(hint, tripled, maximumUnits, hintText, hintUnits);
    appendFitting(tail.c_str(), tripled, maximumUnits, tailText, tailUnits);
    const int room = maximumUnits - hintUnits - tailUnits;

    std::string text;
    int nameUnits = 0;
    if (!appendFitting(name.c_str(), tripled, room, text, nameUnits)) {
        text.clear();
        if (room > 0) {
            appendFitting(name.c_str(), tripled, room - 1, text, nameUnits);
            text += ellipsis;
        }
    }
    text += hintText;
    text += tailText;
    return String(text.c_str());
}

} // namespace kestrum
