#include "soap/XmlNode.h"

#include <algorithm>
#include <new>
#include <string>
#include <string_view>

namespace kestrum {

namespace {

// Enough for any description or SOAP response; a bound keeps the recursion of the reader small
// whatever a peer sends.
constexpr int maxDepth = 64;

bool isBlank(char byte) {
    return static_cast<unsigned char>(byte) <= 32;
}

char foldCase(char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32) : byte;
}

bool equalsIgnoringCase(const char* left, const char* right) {
    for (; *left != '\0' && foldCase(*left) == foldCase(*right); ++left, ++right) {
    }
    return *left == *right;
}

std::string_view trimmedLeft(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view trimmed(std::string_view text) {
    text = trimmedLeft(text);
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

String toString(std::string_view text) {
    return String(text.data(), static_cast<int>(text.size()));
}

// The number of leading bytes of a marker that end the result text[0, write) when the rest of
// the marker begins the unread text at read; 0 when no marker spans the two.
std::size_t markerAcrossJoin(const std::string& text, std::size_t write, std::size_t read,
                             std::string_view marker) {
    for (std::size_t inResult = marker.size() - 1; inResult > 0; --inResult) {
        const std::size_t inRest = marker.size() - inResult;
        if (inResult <= write && text.size() - read >= inRest &&
            text.compare(write - inResult, inResult, marker.substr(0, inResult)) == 0 &&
            text.compare(read, inRest, marker.substr(inResult)) == 0) {
            return inResult;
        }
    }
    return 0;
}

// Removes every piece from a start marker through the first end marker after it, in one pass
// that compacts the text in place. Where a removal joins text, a start marker spanning the join
// goes too. A start marker without an end marker stays, with everything after it: the reader
// then sees the markup cut off.
void removeMarkup(std::string& text, std::string_view start, std::string_view end) {
    std::size_t write = 0; // text[0, write) is the result so far
    std::size_t read = 0;  // text[read, size) is not examined yet
    bool joined = false;
    for (;;) {
        const std::size_t inResult = joined ? markerAcrossJoin(text, write, read, start) : 0;
        std::size_t afterStart = read + start.size() - inResult;
        if (inResult == 0) {
            const std::size_t found = text.find(start, read);
            if (found == std::string::npos) {
                break;
            }
            std::copy(text.begin() + static_cast<std::ptrdiff_t>(read),
                      text.begin() + static_cast<std::ptrdiff_t>(found),
                      text.begin() + static_cast<std::ptrdiff_t>(write));
            write += found - read;
            read = found;
            afterStart = found + start.size();
        }
        const std::size_t close = text.find(end, afterStart);
        if (close == std::string::npos) {
            break;
        }
        write -= inResult;
        read = close + end.size();
        joined = true;
    }
    text.erase(write, read - write);
}

// Joins a piece of character data to an element's text, which is kept trimmed at both ends.
void appendText(std::string& text, const String& piece) {
    const char* bytes = piece.c_str();
    if (text.empty()) {
        while (*bytes != '\0' && isBlank(*bytes)) {
            ++bytes;
        }
    }
    text += bytes;
    while (!text.empty() && isBlank(text.back())) {
        text.pop_back();
    }
}

// Reads elements from the front of the remaining markup. Element text is gathered in a buffer
// per element and stored once the element is read: appending to a String piece by piece would
// copy it over and over.
class XmlReader {
public:
    explicit XmlReader(std::string_view markup) : rest_(markup) {}

    bool readDocument(XmlNode& root, std::string& rootText) {
        return readContent(root, rootText, 1);
    }

private:
    bool readContent(XmlNode& node, std::string& nodeText, int depth) {
        while (!rest_.empty()) {
            const std::size_t open = rest_.find('<');
            if (open == std::string_view::npos) {
                rest_ = {};
                return true;
            }
            const std::size_t close = rest_.find('>', open);
            if (close == std::string_view::npos) {
                stopped_ = true;
                return false;
            }
            appendText(nodeText, XmlNode::decodeEntities(toString(rest_.substr(0, open))));
            const std::string_view tag = rest_.substr(open, close - open + 1);
            rest_.remove_prefix(close + 1);
            if (tag[1] == '!' || tag[1] == '?') {
                continue;
            }
            if (tag[1] == '/') {
                return true;
            }
            if (!readElement(node, nodeText, depth, tag)) {
                return false;
            }
        }
        return true;
    }

    bool readElement(XmlNode& parent, std::string& parentText, int parentDepth,
                     std::string_view tag) {
        const std::size_t nameEnd = tag.find_first_of(" />\t\r\n", 1);
        const String name = toString(trimmed(tag.substr(1, nameEnd - 1)));
        const std::string_view attributes = tag.substr(nameEnd + 1);
        const bool selfClosing = tag.size() >= 3 && tag[tag.size() - 2] == '/';
        if (!rootNamed_) {
            // The first element is the node parse started with; its content continues in the
            // same text, and whatever follows its closing tag still belongs to it.
            rootNamed_ = true;
            parent.name = name;
            readAttributes(parent, attributes);
            if (!selfClosing) {
                readContent(parent, parentText, parentDepth);
            }
            return !stopped_;
        }
        if (parentDepth == maxDepth) {
            stopped_ = true;
            return false;
        }
        XmlNode& element = parent.addChild(name, String());
        readAttributes(element, attributes);
        if (!selfClosing) {
            std::string elementText;
            readContent(element, elementText, parentDepth + 1);
            element.text = toString(elementText);
        }
        return !stopped_;
    }

    // name="value" or name='value' pairs; anything else ends the attributes of the tag.
    static void readAttributes(XmlNode& element, std::string_view attributes) {
        attributes = trimmedLeft(attributes);
        for (;;) {
            const std::size_t equals = attributes.find('=');
            if (equals == std::string_view::npos || equals + 1 == attributes.size()) {
                return;
            }
            const char quote = attributes[equals + 1];
            if (quote != '"' && quote != '\'') {
                return;
            }
            const std::size_t valueEnd = attributes.find(quote, equals + 2);
            if (valueEnd == std::string_view::npos) {
                return;
            }
            const std::string_view value = attributes.substr(equals + 2, valueEnd - equals - 2);
            element.addChild(toString(attributes.substr(0, equals)),
                             XmlNode::decodeEntities(toString(value)));
            attributes = trimmedLeft(attributes.substr(valueEnd + 1));
        }
    }

    std::string_view rest_;
    bool rootNamed_ = false;
    bool stopped_ = false;
};

} // namespace

bool XmlNode::parse(const String& document) {
    try {
        // A copy first: the document may be text of this very tree.
        std::string markup(document.c_str(), static_cast<std::size_t>(document.length()));
        removeMarkup(markup, "<!--", "-->");
        removeMarkup(markup, "<?", ">");
        removeMarkup(markup, "<!", ">");
        while (!markup.empty() && isBlank(markup.back())) {
            markup.pop_back();
        }

        children.clear();
        name = String();
        text = String();
        std::string rootText;
        XmlReader reader(markup);
        const bool complete = reader.readDocument(*this, rootText);
        text = toString(rootText);
        return complete;
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
}

const XmlNode* XmlNode::findChild(const String& childName) const {
    for (const XmlNode& candidate : children) {
        if (equalsIgnoringCase(candidate.name.c_str(), childName.c_str())) {
            return &candidate;
        }
    }
    return nullptr;
}

const XmlNode& XmlNode::child(const String& childName) const {
    static const XmlNode empty = [] {
        XmlNode node;
        node.name = String();
        return node;
    }();
    const XmlNode* found = findChild(childName);
    return found != nullptr ? *found : empty;
}

XmlNode& XmlNode::addChild(const String& childName, const String& childText) {
    XmlNode node;
    node.name = childName;
    node.text = childText;
    return store(std::move(node));
}

XmlNode& XmlNode::appendChild(const XmlNode& node) {
    return store(node);
}

String XmlNode::localName() const {
    const int colon = name.find(":");
    return colon < 0 ? name : name.substring(colon + 1);
}

String XmlNode::decodeEntities(const String& encoded) {
    // One pass gives what replacing each reference in turn, "&amp;" last, would give: no two
    // references overlap and no replacement forms a new one, so '&amp;lt;' becomes '&lt;' only.
    struct Entity {
        std::string_view reference;
        char byte;
    };
    static constexpr Entity entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}, {"&amp;", '&'},
    };
    const std::string_view bytes = encoded.c_str();
    std::string decoded;
    decoded.reserve(bytes.size());
    std::size_t at = 0;
    for (std::size_t ampersand = bytes.find('&'); ampersand != std::string_view::npos;
         ampersand = bytes.find('&', at)) {
        decoded.append(bytes.substr(at, ampersand - at));
        decoded += '&';
        at = ampersand + 1;
        for (const Entity& entity : entities) {
            if (bytes.substr(ampersand).starts_with(entity.reference)) {
                decoded.back() = entity.byte;
                at = ampersand + entity.reference.size();
                break;
            }
        }
    }
    decoded.append(bytes.substr(at));
    return toString(decoded);
}

XmlNode& XmlNode::store(XmlNode node) {
    children.ensureCapacity(children.count() + 1);
    return children.append(std::move(node));
}

} // namespace kestrum
