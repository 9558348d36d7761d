#pragma once

#include "net/GrowableArray.h"
#include "net/String.h"

namespace kestrum {

// A small forgiving XML reader's tree node: name as written (prefix included), entity-decoded
// trimmed text, and children in document order with the attributes first, stored as children.
class XmlNode {
public:
    XmlNode() : name("xml") {}

    // Reads a document into this node; false when the markup is cut off or nested deeper than
    // 64 elements. Never throws on malformed input: what was read before the fault stays in the
    // tree.
    bool parse(const String& document);

    // First child whose whole name matches ignoring ASCII case, or null.
    const XmlNode* findChild(const String& childName) const;
    // As findChild, or a shared empty node.
    const XmlNode& child(const String& childName) const;
    const String& childText(const String& childName) const { return child(childName).text; }

    // A reference stays valid until the next child is appended to this node.
    XmlNode& addChild(const String& childName, const String& childText);
    XmlNode& appendChild(const XmlNode& node);

    // The name after the first ':', or the whole name.
    String localName() const;
    static String decodeEntities(const String& encoded);

    String name;
    String text;
    GrowableArray<XmlNode> children;

private:
    // Appends with geometric growth: an element with many children must not copy its whole
    // list on every append.
    XmlNode& store(XmlNode node);
};

} // namespace kestrum
