#include "upnp/Service.h"

#include "http/HttpClient.h"
#include "net/Sockets.h"
#include "soap/SoapClient.h"
#include "tests/support/FakeGateway.h"
#include "tests/upnp/UpnpTestEnvironment.h"
#include "upnp/Device.h"

#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {
namespace {

const char* const commonConfig = "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1";

std::string text(const String& value) {
    return value.c_str();
}

class ServiceInvoke : public ::testing::Test {
protected:
    void SetUp() override {
        startSockets();
        gateway.start();
    }
    void TearDown() override {
        gateway.stop();
        stopSockets();
    }
    // The request head of the last exchange, lower-cased header names as the client sends them.
    std::string lastRequest() const { return gateway.requests().back(); }

    FakeGateway gateway{testDocument("igd1.xml")};
};

TEST_F(ServiceInvoke, CountersOfALoadedGateway) {
    Device root;
    root.load(gateway.location().c_str());
    const Service* common =
        root.findDevice("urn:schemas-upnp-org:device:WANDevice:1")->findService(commonConfig);
    ASSERT_NE(common, nullptr);

    gateway.setCounters(4294967295u, 1000);
    String name;
    StringMap out;
    common->invoke("GetTotalBytesReceived", StringMap(), name, out);
    EXPECT_EQ(text(name), "GetTotalBytesReceivedResponse");
    EXPECT_EQ(text(out.entry("NewTotalBytesReceived").value), "4294967295");
    EXPECT_EQ(lastRequest().rfind("POST /ctl/CmnIfCfg HTTP/1.0\r\n", 0), 0u);

    common->invoke("GetTotalBytesSent", StringMap(), name, out);
    EXPECT_EQ(text(name), "GetTotalBytesSentResponse");
    EXPECT_EQ(toInt(out.entry("NewTotalBytesSent").value), 1000);
    EXPECT_NE(lastRequest().find("\r\nsoapaction: \"urn:schemas-upnp-org:service:"
                                 "WANCommonInterfaceConfig:1#GetTotalBytesSent\"\r\n"),
              std::string::npos);
}

TEST_F(ServiceInvoke, FieldsAreReadAtEachCall) {
    Service service(nullptr);
    service.serviceType = "urn:example:service:Other:3";
    service.controlURL = gateway.location().c_str();
    service.controlURL.replaceAll("/rootDesc.xml", "/first");
    String name;
    StringMap out;
    gateway.setSoapReply("<s:Envelope><s:Body><u:GetTotalBytesReceivedResponse>"
                         "<newtotalbytesreceived>17</newtotalbytesreceived>"
                         "</u:GetTotalBytesReceivedResponse></s:Body></s:Envelope>");
    service.invoke("GetTotalBytesReceived", StringMap(), name, out);
    EXPECT_EQ(lastRequest().rfind("POST /first HTTP/1.0\r\n", 0), 0u);
    // Argument names are looked up in any letter case.
    EXPECT_EQ(toInt(out.entry("NewTotalBytesReceived").value), 17);

    service.controlURL.replaceAll("/first", "/second");
    service.serviceType = "urn:example:service:Other:4";
    service.invoke("Act", StringMap(), name, out);
    EXPECT_EQ(lastRequest().rfind("POST /second HTTP/1.0\r\n", 0), 0u);
    EXPECT_NE(lastRequest().find("soapaction: \"urn:example:service:Other:4#Act\"\r\n"),
              std::string::npos);
    EXPECT_NE(lastRequest().find("<m:Act xmlns:m=\"urn:example:service:Other:4\"></m:Act>"),
              std::string::npos);
}

TEST_F(ServiceInvoke, FailuresReachTheCaller) {
    Service service(nullptr);
    service.serviceType = commonConfig;
    service.controlURL = gateway.location().c_str();
    String name;
    StringMap out;

    // An action the gateway does not know: a fault with status 500, which refuses it.
    EXPECT_THROW(service.invoke("GetNothing", StringMap(), name, out), SoapClient::FaultException);

    gateway.setSoapReply("<s:Envelope><s:Body/></s:Envelope>");
    EXPECT_THROW(service.invoke("GetTotalBytesSent", StringMap(), name, out),
                 SoapClient::ParsingException);

    // A gateway that went away and came back elsewhere.
    gateway.stop();
    EXPECT_THROW(service.invoke("GetTotalBytesSent", StringMap(), name, out), SocketException);
    const int oldPort = gateway.port();
    gateway.start();
    EXPECT_NE(gateway.port(), oldPort);
    EXPECT_EQ(out.count(), 0);
}

} // namespace
} // namespace kestrum::test
