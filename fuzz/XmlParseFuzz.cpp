// Reads arbitrary bytes as a device description or SOAP envelope, the way the program receives
// them: as the text of an HTTP body, so the reader sees the bytes before the first NUL. The tree
// is then read as a device description and searched for the gateway's counter service.

#include "monitor/CommonInterfaceLookup.h"
#include "soap/XmlNode.h"
#include "upnp/Device.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using kestrum::Device;
using kestrum::findCounterServices;
using kestrum::String;
using kestrum::XmlNode;

// The reader stops nesting at 64 elements below the root; the root itself is one more.
constexpr int deepestLevel = 65;

void walk(const XmlNode& node, int level) {
    if (level > deepestLevel) {
        std::abort();
    }
    for (const XmlNode& child : node.children) {
        // A lookup by a child's own name must find a node (itself or an earlier namesake).
        if (node.findChild(child.name) == nullptr) {
            std::abort();
        }
        static_cast<void>(node.childText(child.localName()));
        walk(child, level + 1);
    }
}

bool same(const XmlNode& left, const XmlNode& right) {
    if (left.name != right.name || left.text != right.text ||
        left.children.count() != right.children.count()) {
        return false;
    }
    for (int i = 0; i < left.children.count(); ++i) {
        if (!same(left.children[i], right.children[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const String document(reinterpret_cast<const char*>(data), static_cast<int>(size));
    XmlNode root;
    const bool complete = root.parse(document);
    walk(root, 1);

    // A tree that is parsed into again must hold the document alone, as a fresh one does.
    XmlNode fresh;
    if (root.parse(document) != complete || fresh.parse(document) != complete ||
        !same(root, fresh)) {
        std::abort();
    }

    Device device;
    device.URLBase = root.childText("URLBase");
    device.readElement(root.child("device"));
    static_cast<void>(findCounterServices(device));
    return 0;
}
