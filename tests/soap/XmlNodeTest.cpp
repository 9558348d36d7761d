#include "soap/XmlNode.h"

#include "tests/support/StringPrinter.h"

#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {

namespace {

XmlNode parsed(const char* document, bool complete = true) {
    XmlNode node;
    EXPECT_EQ(node.parse(document), complete) << document;
    return node;
}

std::string names(const XmlNode& node) {
    std::string list;
    for (const XmlNode& child : node.children) {
        list += std::string(list.empty() ? "" : ",") + child.name.c_str();
    }
    return list;
}

TEST(XmlNode, AttributesPrecedeElementsAndTextIsDecodedAndTrimmed) {
    const XmlNode a = parsed("<a x=\"1\" y='2'><b>t &amp; u</b> v </a>");
    EXPECT_EQ(a.name, "a");
    EXPECT_EQ(names(a), "x,y,b");
    EXPECT_EQ(a.childText("x"), "1");
    EXPECT_EQ(a.childText("y"), "2");
    EXPECT_EQ(a.childText("b"), "t & u");
    EXPECT_EQ(a.text, "v");
}

TEST(XmlNode, TextPiecesJoinAsEachIsTrimmedOntoTheText) {
    EXPECT_EQ(parsed("<a>one<b/>two</a>").text, "onetwo");
    // The text is trimmed after every piece: inner blanks of a piece stay, the blanks that
    // ended the text before the next piece do not.
    EXPECT_EQ(parsed("<a>\r\n one  two \t<b/> three <c>x</c>\n</a>").text, "one  two three");
    EXPECT_EQ(parsed("<a> <b/> </a>").text.data(), nullptr);
}

TEST(XmlNode, AttributeQuirks) {
    // The byte after '=' must be a quote; a name is taken as written up to the '='.
    EXPECT_EQ(parsed("<a x = \"1\"/>").children.count(), 0);
    const XmlNode spaced = parsed("<a x =\"1\"/>");
    EXPECT_EQ(names(spaced), "x ");
    EXPECT_EQ(spaced.childText("x "), "1");

    // An attribute without its closing quote ends the attributes of the tag, nothing else.
    const XmlNode open = parsed("<a p='1' q=\"2><b/></a>");
    EXPECT_EQ(names(open), "p,b");

    const XmlNode mixed = parsed("<a\tx=\"it's\"\ny='say \"hi\"' z=\"&lt;&amp;lt;\"/>");
    EXPECT_EQ(names(mixed), "x,y,z");
    EXPECT_EQ(mixed.childText("x"), "it's");
    EXPECT_EQ(mixed.childText("y"), "say \"hi\"");
    EXPECT_EQ(mixed.childText("z"), "<&lt;");
}

TEST(XmlNode, PrefixedNamesAreFoundWholeAndIgnoringCase) {
    const XmlNode envelope = parsed("<p:Envelope><p:Body/></p:Envelope>");
    EXPECT_EQ(envelope.localName(), "Envelope");
    const XmlNode* body = envelope.findChild("p:body");
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->name, "p:Body");
    EXPECT_EQ(body->localName(), "Body");
    EXPECT_EQ(envelope.findChild("Body"), nullptr);
    EXPECT_EQ(envelope.findChild("P:BODY"), body);

    XmlNode node;
    node.name = "a:b:c";
    EXPECT_EQ(node.localName(), "b:c");
    node.name = "plain";
    EXPECT_EQ(node.localName(), "plain");
}

TEST(XmlNode, MissingChildrenReadAsTheEmptyNode) {
    const XmlNode a = parsed("<a><b>x</b></a>");
    const XmlNode& missing = a.child("c");
    EXPECT_TRUE(missing.name.isEmpty());
    EXPECT_TRUE(missing.text.isEmpty());
    EXPECT_EQ(missing.children.count(), 0);
    EXPECT_EQ(&a.child("d").child("e"), &missing);
    EXPECT_TRUE(a.childText("c").isEmpty());
    EXPECT_EQ(a.child("B").text, "x");
}

TEST(XmlNode, CommentsDeclarationsAndInstructionsAreRemoved) {
    EXPECT_EQ(names(parsed("<a><!-- note --><b/></a>")), "b");
    EXPECT_EQ(parsed("<?xml version=\"1.0\"?><root/>").name, "root");

    const XmlNode a = parsed("<!DOCTYPE a><a>x<!-- <c/> > --><![CDATA[data]]><?pi ?>y<b/></a>");
    EXPECT_EQ(names(a), "b");
    EXPECT_EQ(a.text, "xy");

    // A comment start formed by removing the comment inside it goes too, '>' and all.
    EXPECT_TRUE(parsed("<r><!<!-- x -->-- a > b --></r>").text.isEmpty());
}

TEST(XmlNode, ClosingTagsCloseWhateverIsOpen) {
    const XmlNode a = parsed("<a><b></a>");
    EXPECT_EQ(names(a), "b");
    EXPECT_EQ(a.child("b").children.count(), 0);

    const XmlNode b = parsed("<a><b>x</c>y</d>");
    EXPECT_EQ(b.childText("b"), "x");
    EXPECT_EQ(b.text, "y");

    // Elements and text after the root's closing tag still land in the root.
    const XmlNode c = parsed("<a>x</a>y<c/>");
    EXPECT_EQ(c.text, "xy");
    EXPECT_EQ(names(c), "c");
}

TEST(XmlNode, CutOffDocumentsKeepWhatWasRead) {
    const XmlNode unclosed = parsed("<a><b>");
    EXPECT_EQ(unclosed.name, "a");
    EXPECT_EQ(names(unclosed), "b");

    const XmlNode cut = parsed("<a><b", false);
    EXPECT_EQ(cut.name, "a");
    EXPECT_EQ(cut.children.count(), 0);

    const XmlNode inComment = parsed("<a><b/><!-- cut", false);
    EXPECT_EQ(names(inComment), "b");
    // An unclosed comment is still a declaration up to the next '>'.
    EXPECT_EQ(names(parsed("<a><b/><!-- cut <c/><d/></a>")), "b,d");

    const XmlNode inInstruction = parsed("<a><b/><?cut", false);
    EXPECT_EQ(names(inInstruction), "b");

    const XmlNode textOnly = parsed("just text");
    EXPECT_TRUE(textOnly.name.isEmpty());
    EXPECT_TRUE(textOnly.text.isEmpty());
    EXPECT_EQ(textOnly.children.count(), 0);
    EXPECT_TRUE(parsed("").name.isEmpty());
}

TEST(XmlNode, DecodesTheFiveEntitiesOnceEach) {
    EXPECT_EQ(parsed("<a>&#65;&lt;</a>").text, "&#65;<");
    EXPECT_EQ(XmlNode::decodeEntities("&amp;lt;"), "&lt;");
    EXPECT_EQ(XmlNode::decodeEntities("&amp;amp;"), "&amp;");
    EXPECT_EQ(XmlNode::decodeEntities("&lt;&gt;&apos;&quot;&amp;&nbsp;&LT;"), "<>'\"&&nbsp;&LT;");
    EXPECT_EQ(XmlNode::decodeEntities("&&lt;;"), "&<;");
    EXPECT_TRUE(XmlNode::decodeEntities("").isEmpty());
}

TEST(XmlNode, NestingDeeperThan64ElementsStopsTheRead) {
    const auto nested = [](int depth) {
        std::string document;
        for (int i = 0; i < depth; ++i) {
            document += "<e" + std::to_string(i) + ">";
        }
        return document + "deepest";
    };
    const auto depthOf = [](const XmlNode& root) {
        int depth = 1;
        for (const XmlNode* node = &root; node->children.count() > 0; node = &node->children[0]) {
            ++depth;
        }
        return depth;
    };

    XmlNode node;
    EXPECT_TRUE(node.parse(nested(64).c_str()));
    EXPECT_EQ(depthOf(node), 64);

    EXPECT_FALSE(node.parse(nested(65).c_str()));
    EXPECT_EQ(node.name, "e0");
    EXPECT_EQ(depthOf(node), 64);

    // Far deeper than any stack could recurse.
    EXPECT_FALSE(node.parse(nested(200000).c_str()));
    EXPECT_EQ(depthOf(node), 64);

    // Self-closing elements nest nothing; siblings at the limit are fine.
    EXPECT_TRUE(node.parse((nested(63) + "<x/><y/>").c_str()));
}

TEST(XmlNode, ParseReplacesTheTreeAndMayReadItsOwnText) {
    XmlNode node;
    node.addChild("document", "<r a='1'><s>t</s></r>");
    node.text = "old";
    ASSERT_TRUE(node.parse(node.childText("document")));
    EXPECT_EQ(node.name, "r");
    EXPECT_EQ(names(node), "a,s");
    EXPECT_TRUE(node.text.isEmpty());
}

TEST(XmlNode, CopiesAreDeep) {
    XmlNode root = parsed("<r><s><t>x</t></s></r>");
    XmlNode& copy = root.appendChild(root);
    ASSERT_EQ(copy.children.count(), 1);
    copy.children[0].children[0].text = "changed";
    EXPECT_EQ(root.child("s").childText("t"), "x");
    EXPECT_EQ(root.child("r").child("s").childText("t"), "changed");
    EXPECT_EQ(names(root), "s,r");
}

const char* const deviceDescription = R"(<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0" configId="1337">
  <specVersion><major>1</major><minor>1</minor></specVersion>
  <!-- a comment the vendor left in -->
  <device>
    <deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>
    <friendlyName>Fritz &amp; Friends Router</friendlyName>
    <manufacturer>ACME</manufacturer>
    <UDN>uuid:11111111-2222-3333-4444-555555555555</UDN>
    <iconList><icon><mimetype>image/png</mimetype><url>/icon.png</url></icon></iconList>
    <serviceList>
      <service>
        <serviceType>urn:schemas-upnp-org:service:Layer3Forwarding:1</serviceType>
        <serviceId>urn:upnp-org:serviceId:L3Forwarding1</serviceId>
        <controlURL>/ctl/L3F</controlURL>
      </service>
    </serviceList>
    <deviceList>
      <device>
        <deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>
        <friendlyName>WAN Device</friendlyName>
        <serviceList>
          <service>
            <serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>
            <serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId>
            <SCPDURL>/WANCfg.xml</SCPDURL>
            <controlURL>/ctl/CmnIfCfg</controlURL>
            <eventSubURL>/evt/CmnIfCfg</eventSubURL>
          </service>
        </serviceList>
      </device>
    </deviceList>
    <presentationURL>http://192.168.1.1/</presentationURL>
  </device>
</root>
)";

TEST(XmlNode, ReadsADeviceDescription) {
    const XmlNode root = parsed(deviceDescription);
    EXPECT_EQ(root.name, "root");
    EXPECT_EQ(names(root), "xmlns,configId,specVersion,device");
    EXPECT_EQ(root.childText("xmlns"), "urn:schemas-upnp-org:device-1-0");
    EXPECT_EQ(root.child("specVersion").childText("minor"), "1");

    const XmlNode& device = root.child("device");
    EXPECT_EQ(device.childText("friendlyName"), "Fritz & Friends Router");
    EXPECT_EQ(device.childText("udn"), "uuid:11111111-2222-3333-4444-555555555555");
    EXPECT_TRUE(device.text.isEmpty());

    const XmlNode& wan = device.child("deviceList").child("device");
    EXPECT_EQ(wan.childText("deviceType"), "urn:schemas-upnp-org:device:WANDevice:1");
    const XmlNode& service = wan.child("serviceList").child("service");
    EXPECT_EQ(service.childText("serviceType"),
              "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1");
    EXPECT_EQ(service.childText("controlURL"), "/ctl/CmnIfCfg");
    EXPECT_EQ(device.childText("presentationURL"), "http://192.168.1.1/");
}

TEST(XmlNode, ReadsASoapResponse) {
    const XmlNode envelope =
        parsed("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
               "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
               "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
               "<s:Body><u:GetTotalBytesReceivedResponse "
               "xmlns:u=\"urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1\">"
               "<NewTotalBytesReceived>4294967295</NewTotalBytesReceived>"
               "</u:GetTotalBytesReceivedResponse></s:Body></s:Envelope>\r\n");
    EXPECT_EQ(envelope.localName(), "Envelope");
    EXPECT_EQ(names(envelope), "xmlns:s,s:encodingStyle,s:Body");
    const XmlNode& response = envelope.child("s:Body").children[0];
    EXPECT_EQ(response.localName(), "GetTotalBytesReceivedResponse");
    EXPECT_EQ(names(response), "xmlns:u,NewTotalBytesReceived");
    EXPECT_EQ(response.childText("NewTotalBytesReceived"), "4294967295");
}

TEST(XmlNode, EveryCutOfADocumentIsReadSafely) {
    // Only a cut inside a tag (a '<' without '>') leaves markup cut off; each prefix is its own
    // allocation, so that a read past its end shows under AddressSanitizer.
    const std::string whole = deviceDescription;
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        const std::string prefix = whole.substr(0, length);
        const std::size_t lastOpen = prefix.rfind('<');
        const bool insideTag =
            lastOpen != std::string::npos && prefix.find('>', lastOpen) == std::string::npos;
        XmlNode node;
        EXPECT_EQ(node.parse(prefix.c_str()), !insideTag) << length;
    }

    XmlNode node;
    const std::string upToWan = whole.substr(0, whole.find("<deviceList>") + 20);
    EXPECT_FALSE(node.parse(upToWan.c_str()));
    EXPECT_EQ(node.child("device").childText("friendlyName"), "Fritz & Friends Router");
    EXPECT_EQ(node.child("device").child("serviceList").child("service").childText("controlURL"),
              "/ctl/L3F");
}

TEST(XmlNode, LargeHostileDocumentsReadInLinearTime) {
    // About 1 MiB each, so any work per piece that copies what came before shows (the bound is
    // generous for slow builds).
    const struct {
        const char* open;
        const char* piece;
        const char* close;
        int childrenPerPiece;
    } cases[] = {
        {"<r>", "<!-- c -->", "</r>", 0},
        {"<r>", "<?p?>", "</r>", 0},
        {"<r>", "<!x>", "</r>", 0},
        {"<r>", "<b/>", "</r>", 1},
        {"<r>", "x<b/>", "</r>", 1},
        {"<r>", "&amp;", "</r>", 0},
        {"<r>", "<b><c>text &lt; more</c></b>", "</r>", 1},
        {"<r", " a='1'", "/>", 1},
    };
    for (const auto& c : cases) {
        const int count = (1 << 20) / static_cast<int>(std::strlen(c.piece));
        std::string document = c.open;
        for (int i = 0; i < count; ++i) {
            document += c.piece;
        }
        document += c.close;

        XmlNode node;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(node.parse(String(document.c_str())));
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(node.name, "r");
        EXPECT_EQ(node.children.count(), count * c.childrenPerPiece) << c.piece;
        EXPECT_LT(elapsed, std::chrono::seconds(20)) << c.piece;
    }
}

} // namespace
} // namespace kestrum::test
