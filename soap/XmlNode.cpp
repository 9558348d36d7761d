#include "soap/XmlNode.h"

#include "net/ByteBuffer.h"
#include "net/TextView.h"

#include <utility>

namespace kestrum {

namespace {

// Enough for any description or SOAP response; a bound keeps the recursion of the reader small
// whatever a peer sends.
constexpr int maxDepth = 64;

TextView viewOf(const ByteBuffer& bytes) {
    return TextView(bytes.data(), bytes.length());
}

void appendBytes(ByteBuffer& to, TextView bytes) {
    to.ensureCapacity(to.length() + bytes.length());
    to.append(bytes.data(), bytes.length());
}

// The markup that is not an element, removed in this order, each from its start marker through
// the first end marker after it.
struct MarkupKind {
    const char* start;
    const char* end;
};
constexpr MarkupKind markupKinds[] = {
    {"<!--", "-->"}, // comments
    {"<?", ">"},     // processing instructions, the XML declaration among them
    {"<!", ">"},     // document type declarations, and CDATA sections too
};

// The document with every kind of markup of the table removed and trailing blanks trimmed. Each
// removal joins the text before its start marker to the text after its end marker; a start
// marker that the join forms goes too. A start marker without an end marker stays, with
// everything after it: the element reader then sees the markup cut off.
class MarkupSweep {
public:
    explicit MarkupSweep(TextView document) {
        TextView source = document;
        for (const MarkupKind& kind : markupKinds) {
            ByteBuffer swept;
            remove(source, kind, swept);
            text_ = std::move(swept);
            source = viewOf(text_);
        }
        text_.setLength(viewOf(text_).trimmedRight().length());
    }

    TextView elements() const { return viewOf(text_); }

private:
    static void remove(TextView source, const MarkupKind& kind, ByteBuffer& result) {
        const TextView start = kind.start;
        const TextView end = kind.end;
        result.ensureCapacity(source.length());
        int read = 0; // source[read, length) is not examined yet
        bool joined = false;
        for (;;) {
            const int inResult =
                joined ? startAcrossJoin(result, source.substring(read), start) : 0;
            int afterStart = read + start.length() - inResult;
            if (inResult == 0) {
                const int found = source.find(start, read);
                if (found < 0) {
                    break;
                }
                appendBytes(result, source.substring(read, found - read));
                read = found;
                afterStart = found + start.length();
            }
            const int close = source.find(end, afterStart);
            if (close < 0) {
                break;
            }
            result.setLength(result.length() - inResult);
            read = close + end.length();
            joined = true;
        }
        appendBytes(result, source.substring(read));
    }

    // The number of leading bytes of the start marker that end the result when the rest of the
    // marker begins the unread text; 0 when no marker spans the two.
    static int startAcrossJoin(const ByteBuffer& result, TextView unread, TextView start) {
        const TextView done = viewOf(result);
        for (int inResult = start.length() - 1; inResult > 0; --inResult) {
            if (inResult <= done.length() &&
                done.substring(done.length() - inResult).startsWith(start.substring(0, inResult)) &&
                unread.startsWith(start.substring(inResult))) {
                return inResult;
            }
        }
        return 0;
    }

    ByteBuffer text_;
};

// Joins a piece of character data to an element's text, which is kept trimmed at both ends.
void appendText(ByteBuffer& text, const String& piece) {
    const TextView bytes = piece;
    appendBytes(text, text.length() == 0 ? bytes.trimmedLeft() : bytes);
    text.setLength(viewOf(text).trimmedRight().length());
}

bool isSelfClosing(TextView tag) {
    return tag.length() >= 3 && tag[tag.length() - 2] == '/';
}

// Reads elements from the front of the markup that the sweep left. Element text is gathered in
// a buffer per element and stored once the element is read.
class ElementReader {
public:
    explicit ElementReader(TextView markup) : rest_(markup) {}

    // The first element is the node parse was called on: it takes that element's name and
    // attributes, and what follows the element's closing tag still belongs to it.
    bool readDocument(XmlNode& root) {
        ByteBuffer text;
        TextView tag;
        const Step first = nextTag(text, tag);
        bool complete = first != Step::CutOff;
        if (first == Step::Open) {
            takeElement(root, tag);
            complete =
                (isSelfClosing(tag) || readContent(root, text, 1)) && readContent(root, text, 1);
        }
        root.text = viewOf(text).toString();
        return complete;
    }

private:
    enum class Step { Open, Close, End, CutOff };

    // Moves past the text before the next tag into `text` and past the tag itself; markup of
    // the kinds the sweep removes is skipped here too.
    Step nextTag(ByteBuffer& text, TextView& tag) {
        for (;;) {
            const int open = rest_.find('<');
            if (open < 0) {
                rest_ = TextView();
                return Step::End;
            }
            const int close = rest_.find('>', open);
            if (close < 0) {
                return Step::CutOff;
            }
            appendText(text, XmlNode::decodeEntities(rest_.substring(0, open).toString()));
            tag = rest_.substring(open, close - open + 1);
            rest_ = rest_.substring(close + 1);
            if (tag[1] != '!' && tag[1] != '?') {
                return tag[1] == '/' ? Step::Close : Step::Open;
            }
        }
    }

    // False when the markup is cut off or nested too deep: reading stops there.
    bool readContent(XmlNode& node, ByteBuffer& text, int depth) {
        for (;;) {
            TextView tag;
            const Step step = nextTag(text, tag);
            if (step != Step::Open) {
                return step != Step::CutOff;
            }
            if (!readChild(node, depth, tag)) {
                return false;
            }
        }
    }

    bool readChild(XmlNode& parent, int parentDepth, TextView tag) {
        if (parentDepth == maxDepth) {
            return false;
        }
        XmlNode& element = parent.addChild(String(), String());
        takeElement(element, tag);
        if (isSelfClosing(tag)) {
            return true;
        }
        ByteBuffer text;
        const bool complete = readContent(element, text, parentDepth + 1);
        element.text = viewOf(text).toString();
        return complete;
    }

    static void takeElement(XmlNode& element, TextView tag) {
        const int nameEnd = tag.findFirstOf(" />\t\r\n", 1);
        element.name = tag.substring(1, nameEnd - 1).trimmed().toString();
        readAttributes(element, tag.substring(nameEnd + 1));
    }

    // name="value" or name='value' pairs; anything else ends the attributes of the tag.
    static void readAttributes(XmlNode& element, TextView attributes) {
        attributes = attributes.trimmedLeft();
        for (;;) {
            const int equals = attributes.find('=');
            const char quote = attributes[equals + 1];
            if (equals < 0 || (quote != '"' && quote != '\'')) {
                return;
            }
            const int valueEnd = attributes.find(quote, equals + 2);
            if (valueEnd < 0) {
                return;
            }
            const TextView value = attributes.substring(equals + 2, valueEnd - equals - 2);
            element.addChild(attributes.substring(0, equals).toString(),
                             XmlNode::decodeEntities(value.toString()));
            attributes = attributes.substring(valueEnd + 1).trimmedLeft();
        }
    }

    TextView rest_;
};

} // namespace

bool XmlNode::parse(const String& document) {
    // The sweep copies the document before this tree changes: it may be text of this very tree.
    const MarkupSweep sweep(document);
    children.clear();
    name = String();
    text = String();
    ElementReader reader(sweep.elements());
    return reader.readDocument(*this);
}

const XmlNode* XmlNode::findChild(const String& childName) const {
    for (const XmlNode& candidate : children) {
        if (TextView(candidate.name).equalsIgnoringCase(childName)) {
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
        const char* reference;
        char byte;
    };
    static constexpr Entity entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}, {"&amp;", '&'},
    };
    const TextView bytes = encoded;
    ByteBuffer decoded;
    decoded.ensureCapacity(bytes.length());
    int at = 0;
    for (int ampersand = bytes.find('&'); ampersand >= 0; ampersand = bytes.find('&', at)) {
        appendBytes(decoded, bytes.substring(at, ampersand - at));
        char byte = '&';
        at = ampersand + 1;
        for (const Entity& entity : entities) {
            const TextView reference = entity.reference;
            if (bytes.substring(ampersand).startsWith(reference)) {
                byte = entity.byte;
                at = ampersand + reference.length();
                break;
            }
        }
        decoded.append(&byte, 1);
    }
    appendBytes(decoded, bytes.substring(at));
    return viewOf(decoded).toString();
}

XmlNode& XmlNode::store(XmlNode node) {
    children.ensureCapacity(children.count() + 1);
    return children.append(std::move(node));
}

} // namespace kestrum
