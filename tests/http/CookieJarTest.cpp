#include "http/CookieJar.h"

#include "http/HttpClient.h"
#include "http/HttpMessage.h"
#include "net/Sockets.h"
#include "tests/http/HttpTestServer.h"
#include "tests/support/StringPrinter.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

HttpResponse responseWithHead(const char* head) {
    HttpResponse response;
    response.feed(head, static_cast<int>(std::strlen(head)));
    return response;
}

// Stores the Set-Cookie headers of a response to a request for url.
void store(CookieJar& jar, const char* url, const char* head) {
    HttpRequest request;
    request.setUrl(url);
    jar.storeCookies(request, responseWithHead(head));
}

TEST(CookieJarTest, PrefixesMatchByteWiseAndAreStoredLowerCased) {
    CookieJar jar;
    jar.set("HTTP://Host/X", "a", "1");

    EXPECT_EQ(jar.headerFor("http://host/x"), "a=1");
    EXPECT_EQ(jar.headerFor("http://host/x/y?q=1"), "a=1");
    EXPECT_EQ(jar.headerFor("http://host/xyz"), "a=1"); // a plain prefix, not a path segment
    // The url is not lower-cased, so only its lower-case spelling matches.
    EXPECT_EQ(jar.headerFor("HTTP://Host/X"), "");
    EXPECT_EQ(jar.headerFor("http://host/"), "");
    EXPECT_EQ(jar.headerFor(""), "");
}

TEST(CookieJarTest, HeaderJoinsCookiesOfEveryMatchingEntryInOrder) {
    CookieJar jar;
    jar.set("http://h/", "a", "1");
    jar.set("http://h/", "b", "2");
    jar.set("http://other/", "x", "9");
    jar.set("http://h/p", "c", "3");

    EXPECT_EQ(jar.headerFor("http://h/p/q"), "a=1;b=2;c=3");
    EXPECT_EQ(jar.headerFor("http://h/q"), "a=1;b=2");
}

TEST(CookieJarTest, SettingAKnownNameReplacesItsValueWhateverItsCase) {
    CookieJar jar;
    jar.set("http://h/", "Session", "1");
    jar.set("http://h/", "other", "x");
    jar.set("http://h/", "SESSION", "2");
    jar.set("http://h/", "session", "3");

    // One cookie, in its place, spelled as first received.
    EXPECT_EQ(jar.headerFor("http://h/"), "Session=3;other=x");
}

TEST(CookieJarTest, AnEmptyNameIsNotStored) {
    CookieJar jar;
    jar.set("http://h/", "", "1");
    EXPECT_EQ(jar.headerFor("http://h/"), "");
}

TEST(CookieJarTest, StoresUnderHostPortAndPathSkippingPathAndExpires) {
    CookieJar jar;
    store(jar, "http://10.0.0.1:5431/x/desc.xml",
          "HTTP/1.0 200 OK\r\n"
          "Set-Cookie: id=7; path=/x; expires=Wed, 01-Jan-2010 00:00:00 GMT\r\n\r\n");

    EXPECT_EQ(jar.headerFor("http://10.0.0.1:5431/x/y"), "id=7");
    EXPECT_EQ(jar.headerFor("http://10.0.0.1:5431/y"), "");
    EXPECT_EQ(jar.headerFor("http://10.0.0.1/x/y"), "");
}

TEST(CookieJarTest, WithoutPathTheCookieBelongsToTheWholeHostAndPort80IsNotWritten) {
    CookieJar jar;
    store(jar, "http://gw/a/b", "HTTP/1.0 200 OK\r\nSet-Cookie: k=v\r\n\r\n");

    EXPECT_EQ(jar.headerFor("http://gw/anything"), "k=v");
    EXPECT_EQ(jar.headerFor("http://gw"), "k=v"); // the prefix is exactly "http://gw"
    EXPECT_EQ(jar.headerFor("http://g"), "");
}

TEST(CookieJarTest, AttributesOtherThanLowerCasePathAndExpiresBecomeCookies) {
    CookieJar jar;
    // The path lookup ignores case, the skip test does not.
    store(jar, "http://h:8080/", "HTTP/1.0 200 OK\r\nSet-Cookie: a=1; Path=/p\r\n\r\n");
    EXPECT_EQ(jar.headerFor("http://h:8080/p"), "a=1;Path=/p");
    EXPECT_EQ(jar.headerFor("http://h:8080/"), "");

    CookieJar secure;
    store(secure, "http://h/", "HTTP/1.0 200 OK\r\nSet-Cookie: a=1; secure\r\n\r\n");
    EXPECT_EQ(secure.headerFor("http://h/"), "a=1;secure=");
}

TEST(CookieJarTest, EverySetCookieHeaderOfAResponseIsStoredAndLaterOnesReplace) {
    CookieJar jar;
    store(jar, "http://h/",
          "HTTP/1.0 200 OK\r\n"
          "Set-Cookie: a=1\r\n"
          "Content-Type: text/xml\r\n"
          "set-cookie: b=2\r\n"
          "SET-COOKIE: A=3\r\n\r\n");
    EXPECT_EQ(jar.headerFor("http://h/"), "a=3;b=2");

    store(jar, "http://h/", "HTTP/1.0 200 OK\r\nSet-Cookie: b=4\r\n\r\n");
    EXPECT_EQ(jar.headerFor("http://h/"), "a=3;b=4");
}

TEST(CookieJarTest, ApplyAddsOneLowerCaseCookieHeaderOnlyWhenACookieApplies) {
    CookieJar jar;
    jar.set("http://h:81/p", "a", "1");
    jar.set("http://h:81/p", "b", "2");

    HttpRequest elsewhere;
    elsewhere.setUrl("http://h:81/q");
    jar.applyCookies(elsewhere);
    EXPECT_EQ(elsewhere.headers.count(), 0);

    HttpRequest request;
    request.setUrl("http://h:81/p/x");
    jar.applyCookies(request);
    ASSERT_EQ(request.headers.count(), 1);
    EXPECT_EQ(request.headers[0].name, "cookie");
    EXPECT_EQ(request.headers[0].value, "a=1;b=2");
}

class CookieRoundTripTest : public ::testing::Test {
protected:
    void SetUp() override { startSockets(); }
    void TearDown() override { stopSockets(); }

    HttpClient client;
    ByteBuffer body;
};

TEST_F(CookieRoundTripTest, ACookieSetByOneResponseGoesBackWithTheNextRequests) {
    HttpTestServer server({
        {"HTTP/1.0 302 Found\r\nSet-Cookie: id=7; path=/x\r\nLocation: /x/next\r\n"
         "Content-Length: 0\r\n\r\n"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"},
    });
    client.cookiesEnabled = true;
    client.get(server.url("/x/first").c_str(), body); // followed to /x/next
    client.get(server.url("/elsewhere").c_str(), body);

    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], "GET /x/first HTTP/1.0\r\n" + host + "\r\n");
    EXPECT_EQ(requests[1], "GET /x/next HTTP/1.0\r\ncookie: id=7\r\n" + host + "\r\n");
    EXPECT_EQ(requests[2], "GET /elsewhere HTTP/1.0\r\n" + host + "\r\n");
}

TEST_F(CookieRoundTripTest, WithCookiesOffNothingIsStoredOrSent) {
    HttpTestServer server({
        {"HTTP/1.0 200 OK\r\nSet-Cookie: id=7\r\nContent-Length: 0\r\n\r\n"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"},
    });
    client.get(server.url("/a").c_str(), body);
    client.get(server.url("/a").c_str(), body);

    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].find("cookie"), std::string::npos);
    EXPECT_EQ(client.cookies.headerFor(server.url("/a").c_str()), "");
}

} // namespace
} // namespace kestrum::test
