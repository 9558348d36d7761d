#include "soap/SoapClient.h"

#include "http/HttpClient.h"
#include "net/Sockets.h"
#include "tests/support/FakeGateway.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {
namespace {

const char* const commonConfig = "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1";

SoapClient counterClient(const String& controlUrl, const char* action) {
    return SoapClient(controlUrl, String(commonConfig) + "#" + action, commonConfig);
}

std::string text(const String& value) {
    return value.c_str();
}

TEST(SoapEnvelope, CounterActionsAreComposedByteForByte) {
    const std::string received =
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
        "<m:GetTotalBytesReceived xmlns:m=\"urn:schemas-upnp-org:service:"
        "WANCommonInterfaceConfig:1\"></m:GetTotalBytesReceived></s:Body></s:Envelope>\r\n";
    const StringMap none;
    const String composedReceived = counterClient("http://h/c", "GetTotalBytesReceived")
                                        .composeEnvelope("GetTotalBytesReceived", none);
    EXPECT_EQ(text(composedReceived), received);
    EXPECT_EQ(composedReceived.length(), 273);

    const String composedSent =
        counterClient("http://h/c", "GetTotalBytesSent").composeEnvelope("GetTotalBytesSent", none);
    EXPECT_EQ(composedSent.length(), 265);
    EXPECT_NE(text(composedSent).find("<m:GetTotalBytesSent xmlns:m=\""), std::string::npos);
    EXPECT_NE(text(composedSent).find("></m:GetTotalBytesSent></s:Body>"), std::string::npos);
}

TEST(SoapEnvelope, InArgumentsKeepTheirOrderAndValuesAreEncoded) {
    StringMap arguments;
    arguments.add("NewX", "1");
    arguments.add("NewY", "2");
    arguments.add("NewText", "a<b & \"c\" 'd'>");
    const SoapClient client("http://h/c", "t#Act", "t");
    const std::string envelope = text(client.composeEnvelope("Act", arguments));
    EXPECT_NE(envelope.find("<m:Act xmlns:m=\"t\"><NewX>1</NewX><NewY>2</NewY>"
                            "<NewText>a&lt;b &amp; &quot;c&quot; &apos;d&apos;&gt;</NewText>"
                            "</m:Act></s:Body>"),
              std::string::npos)
        << envelope;
}

// Names and the service type come from a device description and must not break the markup.
TEST(SoapEnvelope, NamesAndServiceTypeAreEncodedToo) {
    StringMap arguments;
    arguments.add("A<b", "v");
    const SoapClient client("http://h/c", "x#Act", "urn:x\"><evil/>&");
    const std::string envelope = text(client.composeEnvelope("Act></m:Act><evil/", arguments));
    EXPECT_EQ(envelope.find("<evil"), std::string::npos) << envelope;
    EXPECT_NE(
        envelope.find("<m:Act&gt;&lt;/m:Act&gt;&lt;evil/ xmlns:m=\"urn:x&quot;&gt;&lt;"
                      "evil/&gt;&amp;\"><A&lt;b>v</A&lt;b></m:Act&gt;&lt;/m:Act&gt;&lt;evil/>"),
        std::string::npos)
        << envelope;
}

TEST(SoapResponse, ResponseElementAndOutArgumentsAreRead) {
    String name;
    StringMap out;
    SoapClient::readResponse(
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
        "<u:GetTotalBytesReceivedResponse xmlns:u=\"urn:schemas-upnp-org:service:"
        "WANCommonInterfaceConfig:1\"><NewTotalBytesReceived>42</NewTotalBytesReceived>"
        "</u:GetTotalBytesReceivedResponse></s:Body></s:Envelope>",
        name, out);
    EXPECT_EQ(text(name), "GetTotalBytesReceivedResponse");
    ASSERT_EQ(out.count(), 2);
    // The namespace declaration arrives as an out-argument of its own, before the elements.
    EXPECT_EQ(text(out[0].name), "u");
    EXPECT_EQ(text(out[0].value), commonConfig);
    EXPECT_EQ(text(out[1].name), "NewTotalBytesReceived");
    EXPECT_EQ(text(out[1].value), "42");
}

TEST(SoapResponse, AttributesAndEntitiesOfOutArguments) {
    String name;
    StringMap out;
    SoapClient::readResponse("<Envelope><Body><p:ActResponse extra='x &amp; y'>"
                             "<p:NewA>1 &amp; 2</p:NewA><NewB/></p:ActResponse></Body></Envelope>",
                             name, out);
    EXPECT_EQ(text(name), "ActResponse");
    ASSERT_EQ(out.count(), 3);
    EXPECT_EQ(text(out[0].name), "extra");
    EXPECT_EQ(text(out[0].value), "x & y");
    EXPECT_EQ(text(out[1].name), "NewA"); // the prefix is dropped from argument names
    EXPECT_EQ(text(out[1].value), "1 & 2");
    EXPECT_EQ(text(out[2].name), "NewB");
    EXPECT_TRUE(out[2].value.isEmpty());
}

TEST(SoapResponse, AnyEnvelopePrefixIsAccepted) {
    for (const char* document :
         {"<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
          "<SOAP-ENV:Body><m:GetTotalBytesSentResponse xmlns:m=\"t\"><NewTotalBytesSent>7"
          "</NewTotalBytesSent></m:GetTotalBytesSentResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>",
          "<?xml version=\"1.0\"?>\r\n<Envelope><Header/><Body><GetTotalBytesSentResponse>"
          "<NewTotalBytesSent>7</NewTotalBytesSent></GetTotalBytesSentResponse></Body></"
          "Envelope>"}) {
        String name;
        StringMap out;
        SoapClient::readResponse(document, name, out);
        EXPECT_EQ(text(name), "GetTotalBytesSentResponse");
        EXPECT_EQ(text(out.entry("newtotalbytessent").value), "7");
    }
}

// A megabyte of empty arguments, the most an HTTP body holds, must read in linear time (the
// bound is generous, for sanitizers and Wine).
TEST(SoapResponse, HugeArgumentListReadsInBoundedTime) {
    std::string document = "<s:Envelope><s:Body><u:R>";
    constexpr int arguments = 250000;
    for (int i = 0; i < arguments; ++i) {
        document += "<a/>";
    }
    String name;
    StringMap out;
    const auto start = std::chrono::steady_clock::now();
    SoapClient::readResponse(document.c_str(), name, out);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(out.count(), arguments);
    EXPECT_LT(elapsed, std::chrono::seconds(20));
}

TEST(SoapResponse, ResponsesWithoutAnAnswerAreRejected) {
    for (const char* document : {
             "",
             "this is not XML at all",
             "<s:Envelope><s:body><R><A>1</A></R></s:body></s:Envelope>", // Body is case-sensitive
             "<s:Envelope><s:Body/></s:Envelope>",
             "<s:Envelope><s:Body></s:Body></s:Envelope>",
             "<s:Envelope><s:Header><s:Body><R/></s:Body></s:Header></s:Envelope>", // nested
             "<s:Envelope><s:Body><s:Fault><faultcode>s:Client</faultcode>"
             "<faultstring>UPnPError</faultstring><detail><UPnPError><errorCode>401</errorCode>"
             "</UPnPError></detail></s:Fault></s:Body></s:Envelope>",
         }) {
        String name;
        StringMap out;
        EXPECT_THROW(SoapClient::readResponse(document, name, out), SoapClient::ParsingException)
            << document;
        EXPECT_EQ(out.count(), 0) << document;
    }
}

class SoapExchange : public ::testing::Test {
protected:
    void SetUp() override {
        startSockets();
        gateway.setCounters(123456789, 42);
        gateway.start();
    }
    void TearDown() override {
        gateway.stop();
        stopSockets();
    }
    String controlUrl() const {
        return String("http://127.0.0.1:") + String::fromInt(gateway.port()) + "/ctl/CmnIfCfg";
    }

    FakeGateway gateway{""};
};

TEST_F(SoapExchange, CompleteRequestAndItsAnswer) {
    String name;
    StringMap out;
    counterClient(controlUrl(), "GetTotalBytesReceived")
        .call("GetTotalBytesReceived", StringMap(), name, out);

    const std::string envelope = text(counterClient(controlUrl(), "GetTotalBytesReceived")
                                          .composeEnvelope("GetTotalBytesReceived", StringMap()));
    const std::string expected =
        "POST /ctl/CmnIfCfg HTTP/1.0\r\n"
        "Content-Length: 273\r\n"
        "content-type: text/xml; charset=\"utf-8\"\r\n"
        "soapaction: \"urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1"
        "#GetTotalBytesReceived\"\r\n"
        "Host: 127.0.0.1:" +
        std::to_string(gateway.port()) + "\r\n\r\n" + envelope;
    ASSERT_EQ(gateway.requests().size(), 1u);
    EXPECT_EQ(gateway.requests()[0], expected);

    EXPECT_EQ(text(name), "GetTotalBytesReceivedResponse");
    EXPECT_EQ(text(out.entry("NewTotalBytesReceived").value), "123456789");
}

TEST_F(SoapExchange, FailuresLeaveNoOutArguments) {
    const struct {
        const char* what;
        FakeGateway::Behaviour behaviour;
        std::string reply;
        bool refusal;
    } cases[] = {
        {"a fault with status 500", FakeGateway::Behaviour::Fail, "", true},
        {"a fault with status 200", FakeGateway::Behaviour::Answer,
         soapFault("401", "Invalid Action"), true},
        {"status 500 without a fault", FakeGateway::Behaviour::ServerError, "", false},
        {"no SOAP at all", FakeGateway::Behaviour::Answer, "<html><body>Welcome</body></html>",
         false},
    };
    const SoapClient client = counterClient(controlUrl(), "GetTotalBytesSent");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gateway.setBehaviour(c.behaviour);
        gateway.setSoapReply(c.reply);
        StringMap out;
        out.add("stale", "1");
        String name;
        bool refused = false;
        bool failed = false;
        try {
            client.call("GetTotalBytesSent", StringMap(), name, out);
        } catch (const SoapClient::FaultException&) {
            refused = true;
        } catch (const Exception&) {
            failed = true;
        }
        EXPECT_EQ(refused, c.refusal);
        EXPECT_EQ(failed, !c.refusal);
        EXPECT_EQ(out.count(), 0);
    }

    gateway.setSoapReply("");
    gateway.setBehaviour(FakeGateway::Behaviour::ServerError);
    String name;
    StringMap out;
    EXPECT_THROW(client.call("GetTotalBytesSent", StringMap(), name, out),
                 HttpClient::BadResponseException);
    gateway.setBehaviour(FakeGateway::Behaviour::Garbage);
    EXPECT_THROW(client.call("GetTotalBytesSent", StringMap(), name, out), HttpException);
}

} // namespace
} // namespace kestrum::test
