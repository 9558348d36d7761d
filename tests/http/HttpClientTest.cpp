#include "http/HttpClient.h"

#include "net/Sockets.h"
#include "tests/http/HttpTestServer.h"
#include "tests/support/RawSocket.h"
#include "tests/support/StringPrinter.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

std::string text(const ByteBuffer& buffer) {
    return std::string(buffer.data() != nullptr ? buffer.data() : "",
                       static_cast<size_t>(buffer.length()));
}

std::string firstLine(const std::string& request) {
    return request.substr(0, request.find('\r'));
}

ScriptedReply reply(std::string bytes) {
    return ScriptedReply{std::move(bytes), 0, 0};
}

ScriptedReply redirectTo(const std::string& location) {
    return reply("HTTP/1.0 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n");
}

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override { startSockets(); }
    void TearDown() override { stopSockets(); }

    HttpClient client;
    ByteBuffer body;
};

TEST_F(HttpClientTest, GetReadsBodyEndedByCloseAndSendsExactRequest) {
    HttpTestServer server({reply("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<root/>\n")});
    client.get(String(server.url("/desc.xml").c_str()), body);
    EXPECT_EQ(text(body), "<root/>\n");
    EXPECT_EQ(client.response().status(), 200);
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    EXPECT_EQ(server.requests(),
              std::vector<std::string>{"GET /desc.xml HTTP/1.0\r\nHost: " + host + "\r\n\r\n"});
}

TEST_F(HttpClientTest, PostSendsSoapRequestByteForByte) {
    const std::string envelope =
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
        "<m:GetTotalBytesReceived xmlns:m=\"urn:schemas-upnp-org:service:"
        "WANCommonInterfaceConfig:1\"></m:GetTotalBytesReceived></s:Body></s:Envelope>\r\n";
    ASSERT_EQ(envelope.size(), 273u);
    const std::string answer = "<s:Envelope><s:Body><u:R><N>42</N></u:R></s:Body></s:Envelope>";
    HttpTestServer server({reply("HTTP/1.1 200 OK\r\nCONTENT-LENGTH: " +
                                 std::to_string(answer.size()) + "\r\n\r\n" + answer + "junk")});
    client.setHeader("Content-Type", "text/xml; charset=\"utf-8\"");
    client.setHeader("SOAPAction", "\"urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1"
                                   "#GetTotalBytesReceived\"");
    ByteBuffer content;
    content.append(envelope.data(), static_cast<int>(envelope.size()));

    client.post(String(server.url("/ctl/CmnIfCfg").c_str()), content, body);

    EXPECT_EQ(text(body), answer);
    const std::string expected =
        "POST /ctl/CmnIfCfg HTTP/1.0\r\n"
        "Content-Length: 273\r\n"
        "content-type: text/xml; charset=\"utf-8\"\r\n"
        "soapaction: \"urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1"
        "#GetTotalBytesReceived\"\r\n"
        "Host: 127.0.0.1:" +
        std::to_string(server.port()) + "\r\n\r\n" + envelope;
    EXPECT_EQ(server.requests(), std::vector<std::string>{expected});
}

TEST_F(HttpClientTest, DefaultHeadersReplaceInPlaceAndEmptyValueRemoves) {
    client.setHeader("A", "1");
    client.setHeader("SOAPAction", "x");
    client.setHeader("a", "2");
    client.setHeader(String(), "ignored");
    ASSERT_EQ(client.defaultHeaders.count(), 2);
    EXPECT_EQ(client.defaultHeaders[0].value, "2");
    client.setHeader("soapaction", String());
    ASSERT_EQ(client.defaultHeaders.count(), 1);
    EXPECT_EQ(client.defaultHeaders[0].name, "A");
}

TEST_F(HttpClientTest, BadStatusThrowsWithBodyInCallersBuffer) {
    HttpTestServer server({reply("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!")});
    body.append("previous", 8);
    EXPECT_THROW(client.get(String(server.url("/missing").c_str()), body),
                 HttpClient::BadResponseException);
    EXPECT_EQ(text(body), "not here!");
}

TEST_F(HttpClientTest, CloseBeforeDeclaredLengthThrows) {
    HttpTestServer server({reply("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n12345")});
    EXPECT_THROW(client.get(String(server.url("/").c_str()), body), NoConnectionException);
}

TEST_F(HttpClientTest, CloseInsideTheHeadThrowsAndAWholeLfHeadIsComplete) {
    HttpTestServer cut({reply("HTTP/1.0 200 OK\r\nContent-Ty")});
    EXPECT_THROW(client.get(String(cut.url("/").c_str()), body), NoConnectionException);

    HttpTestServer lf({reply("HTTP/1.0 200 OK\nContent-Length: 0\n\n")});
    body.append("previous", 8);
    client.get(String(lf.url("/").c_str()), body);
    EXPECT_EQ(body.length(), 0);
}

// HTTP/1.1 gateways answer HTTP/1.0 requests in chunks: the body arrives decoded, and one cut
// short is no success.
TEST_F(HttpClientTest, ChunkedAnswersArriveDecoded) {
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    HttpTestServer server({reply(head + "4;x=y\r\n<New\r\n2\r\n/>\r\n0\r\nT: 1\r\n\r\n"),
                           reply(head + "4\r\n<Ne\r\n"), reply(head + "4\r\n<New/>\r\n")});
    client.get(String(server.url("/a").c_str()), body);
    EXPECT_EQ(text(body), "<New/>");
    EXPECT_THROW(client.get(String(server.url("/b").c_str()), body), NoConnectionException);
    EXPECT_THROW(client.get(String(server.url("/c").c_str()), body), HttpException);
}

TEST_F(HttpClientTest, CloseWithoutAnswerIsNoSuccess) {
    HttpTestServer fresh({reply("")});
    EXPECT_THROW(client.get(String(fresh.url("/").c_str()), body),
                 HttpClient::BadResponseException);

    // Also after an earlier exchange of the same client ended with status 200.
    HttpTestServer server({reply("HTTP/1.0 200 OK\r\n\r\nfirst"), reply("")});
    client.get(String(server.url("/a").c_str()), body);
    EXPECT_EQ(text(body), "first");
    EXPECT_THROW(client.get(String(server.url("/b").c_str()), body),
                 HttpClient::BadResponseException);
}

TEST_F(HttpClientTest, FollowsRelativeRootedAndAbsoluteRedirects) {
    HttpTestServer target({reply("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\ndone")});
    HttpTestServer server(
        {redirectTo("other.xml"), redirectTo("/rooted.xml"), redirectTo(target.url("/final.xml"))});
    client.get(String(server.url("/dir/desc.xml").c_str()), body);
    EXPECT_EQ(text(body), "done");
    std::vector<std::string> lines;
    for (const std::string& request : server.requests()) {
        lines.push_back(firstLine(request));
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{"GET /dir/desc.xml HTTP/1.0", "GET /dir/other.xml HTTP/1.0",
                                        "GET /rooted.xml HTTP/1.0"}));
    ASSERT_EQ(target.requests().size(), 1u);
    EXPECT_EQ(target.requests()[0], "GET /final.xml HTTP/1.0\r\nHost: 127.0.0.1:" +
                                        std::to_string(target.port()) + "\r\n\r\n");
}

TEST_F(HttpClientTest, RedirectedPostIsRepeatedAsGetWithoutBody) {
    HttpTestServer server(
        {redirectTo("/next"), reply("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok")});
    client.setHeader("SOAPAction", "\"a#b\"");
    ByteBuffer content;
    content.append("payload", 7);
    client.post(String(server.url("/ctl").c_str()), content, body);
    EXPECT_EQ(text(body), "ok");
    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1], "GET /next HTTP/1.0\r\nsoapaction: \"a#b\"\r\nHost: 127.0.0.1:" +
                               std::to_string(server.port()) + "\r\n\r\n");
}

TEST_F(HttpClientTest, RedirectWithoutLocationOrNotFollowedReturnsItsBody) {
    HttpTestServer server({reply("HTTP/1.0 302 Found\r\n\r\nmoved body"),
                           reply("HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\nnot followed")});
    client.get(String(server.url("/a").c_str()), body);
    EXPECT_EQ(text(body), "moved body");
    EXPECT_EQ(client.response().status(), 302);
    client.followRedirects = false;
    client.get(String(server.url("/b").c_str()), body);
    EXPECT_EQ(text(body), "not followed");
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(HttpClientTest, FollowsFiveRedirectsInARowButNotSix) {
    std::vector<ScriptedReply> five(5, redirectTo("/again"));
    five.push_back(reply("HTTP/1.0 200 OK\r\n\r\nend"));
    HttpTestServer fine(five);
    client.get(String(fine.url("/").c_str()), body);
    EXPECT_EQ(text(body), "end");
    EXPECT_EQ(fine.requests().size(), 6u);

    HttpTestServer endless(std::vector<ScriptedReply>(7, redirectTo("/again")));
    EXPECT_THROW(client.get(String(endless.url("/").c_str()), body),
                 HttpClient::BadResponseException);
    EXPECT_EQ(endless.requests().size(), 6u);
}

TEST_F(HttpClientTest, TrickledResponseIsReadWhole) {
    HttpTestServer server(
        {ScriptedReply{"HTTP/1.0 200 OK\nContent-Length: 6\n\nabcdefEXTRA", 2, 0}});
    client.get(String(server.url("/").c_str()), body);
    EXPECT_EQ(text(body), "abcdef");
}

// Only a client that gives up can end these exchanges before the server closes with a complete
// answer, so the outcome alone shows the limit at work.
TEST_F(HttpClientTest, SilenceLongerThanIdleLimitTimesOut) {
    HttpTestServer server({ScriptedReply{"HTTP/1.0 200 OK\r\n", 0, 10000}});
    client.idleTimeout = 1;
    EXPECT_THROW(client.get(String(server.url("/").c_str()), body), TimeoutException);
}

TEST_F(HttpClientTest, TricklingServerHitsExchangeLimit) {
    HttpTestServer server({ScriptedReply{
        "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(100, 'x'), 100, 0}});
    client.exchangeTimeout = 1;
    EXPECT_THROW(client.get(String(server.url("/").c_str()), body), TimeoutException);
}

TEST_F(HttpClientTest, ExchangeLimitCoversEveryRedirectOfACall) {
    // Each hop alone ends well within the limit; only the whole call exceeds it.
    const ScriptedReply slowRedirect{
        "HTTP/1.0 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n", 20, 0};
    HttpTestServer server({slowRedirect, slowRedirect, slowRedirect,
                           reply("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok")});
    client.exchangeTimeout = 2;
    EXPECT_THROW(client.get(String(server.url("/").c_str()), body), TimeoutException);
}

TEST_F(HttpClientTest, ExchangeLimitCoversSendingToAPeerThatNeverReads) {
    // The connection is made by the listener's backlog; nobody ever reads from it.
    RawSocket listener = RawSocket::listenTcp();
    ByteBuffer content;
    const std::string large(48 * 1024 * 1024, 'p');
    content.append(large.data(), static_cast<int>(large.size()));
    client.exchangeTimeout = 1;
    const String url = ("http://127.0.0.1:" + std::to_string(listener.localPort()) + "/").c_str();
    EXPECT_THROW(client.post(url, content, body), TimeoutException);
}

TEST_F(HttpClientTest, OversizedResponseIsMalformed) {
    HttpTestServer server(
        {reply("HTTP/1.0 200 OK\r\n\r\n" + std::string(HttpMessage::maximumSize, 'x'))});
    EXPECT_THROW(client.get(String(server.url("/").c_str()), body), HttpException);
}

TEST_F(HttpClientTest, ConnectionFailures) {
    const String refused =
        ("http://127.0.0.1:" + std::to_string(closedPort()) + "/desc.xml").c_str();
    EXPECT_THROW(client.get(refused, body), ConnectException);
    // A URL without a host names no server at all.
    EXPECT_THROW(client.get("desc.xml", body), UnknownHostException);
}

} // namespace
} // namespace kestrum::test
