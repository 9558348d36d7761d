#include "http/HttpMessage.h"
#include "tests/support/StringPrinter.h"

#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {
namespace {

struct UrlFields {
    std::string scheme;
    std::string host;
    int port;
    std::string path;
    bool absoluteForm;
};

UrlFields fieldsOf(const char* url) {
    HttpRequest request;
    request.setUrl(url);
    return {request.scheme.c_str(), request.host.c_str(), request.port, request.path.c_str(),
            request.absoluteForm};
}

void expectFields(const char* url, const UrlFields& expected) {
    SCOPED_TRACE(url);
    const UrlFields actual = fieldsOf(url);
    EXPECT_EQ(actual.scheme, expected.scheme);
    EXPECT_EQ(actual.host, expected.host);
    EXPECT_EQ(actual.port, expected.port);
    EXPECT_EQ(actual.path, expected.path);
    EXPECT_EQ(actual.absoluteForm, expected.absoluteForm);
}

TEST(UrlTest, SetUrlSplitsIntoFields) {
    expectFields("http://192.168.0.1:80/x?y=1", {"http", "192.168.0.1", 80, "/x?y=1", true});
    expectFields("  http://gw  ", {"http", "gw", 80, "/", true});
    expectFields("desc.xml", {"http", "", 80, "desc.xml", false});
    expectFields("://h/p", {"http", "h", 80, "/p", true});
    expectFields("https://h:8443/p", {"https", "h", 8443, "/p", true});
    expectFields("http://host:", {"http", "host", 0, "/", true});
    expectFields("", {"http", "", 80, "/", false});
    // Nothing is escaped or unescaped; the query and fragment stay in the path.
    expectFields("http://h/a%20b/c d?q=%41&r=<x>#frag",
                 {"http", "h", 80, "/a%20b/c d?q=%41&r=<x>#frag", true});
    // The search for the separator is case-sensitive and the scheme is kept as written.
    expectFields("HTTP://h/p", {"HTTP", "h", 80, "/p", true});
}

TEST(UrlTest, SetUrlReplacesEveryField) {
    HttpRequest request;
    request.setUrl("http://host:8080");
    EXPECT_EQ(request.port, 8080);
    EXPECT_EQ(request.path, "/");
    request.setUrl("http://other/");
    EXPECT_EQ(request.host, "other");
    EXPECT_EQ(request.port, 80);
    request.setUrl("relative/path");
    EXPECT_TRUE(request.host.isEmpty());
    EXPECT_FALSE(request.absoluteForm);
}

TEST(UrlTest, SetHostTakesPortAfterFirstColon) {
    HttpRequest request;
    request.setHost("h:1:2");
    EXPECT_EQ(request.host, "h");
    EXPECT_EQ(request.port, 1);
    request.setHost("plain");
    EXPECT_EQ(request.host, "plain");
    EXPECT_EQ(request.port, 1); // no colon: the port stays
    request.setHost("h:70000");
    EXPECT_EQ(request.port, 70000 % 65536);
    request.setHost(String());
    EXPECT_TRUE(request.host.isEmpty());
}

TEST(UrlTest, GetUrlOmitsDefaultAndZeroPort) {
    HttpRequest request;
    request.setUrl("http://10.0.0.1:5431/ctl");
    EXPECT_EQ(request.getUrl(), "http://10.0.0.1:5431/ctl");
    request.setUrl("http://host:");
    EXPECT_EQ(request.getUrl(), "http://host/");
    request.setUrl("http://host:80/a");
    EXPECT_EQ(request.getUrl(), "http://host/a");
}

TEST(UrlTest, GetHostFallsBackToHostHeader) {
    HttpRequest empty;
    EXPECT_TRUE(empty.getHost().isEmpty());
    ASSERT_EQ(empty.headers.count(), 1);
    EXPECT_EQ(empty.headers[0].name, "Host");
    EXPECT_TRUE(empty.headers[0].value.isEmpty());

    HttpRequest withHeader;
    withHeader.headers.add("host", "gw.local:5000");
    EXPECT_EQ(withHeader.getHost(), "gw.local");
    EXPECT_EQ(withHeader.port, 5000);
    EXPECT_EQ(withHeader.headers.count(), 1);

    HttpRequest withField;
    withField.setUrl("http://a:1/");
    withField.headers.add("Host", "b:2");
    EXPECT_EQ(withField.getHost(), "a");
    EXPECT_EQ(withField.port, 1);
}

TEST(UrlTest, ResolveLocationAgainstRequest) {
    HttpRequest request;
    request.setUrl("http://10.0.0.1:5431/a/b.xml");
    EXPECT_EQ(resolveLocation("/c.xml", request), "http://10.0.0.1:5431/c.xml");
    EXPECT_EQ(resolveLocation("c.xml", request), "http://10.0.0.1:5431/a/c.xml");
    EXPECT_EQ(resolveLocation("http://other/x", request), "http://other/x");
    EXPECT_EQ(resolveLocation("see http://other/x", request), "see http://other/x");
    EXPECT_EQ(resolveLocation("HTTP://other/x", request), "http://10.0.0.1:5431/a/HTTP://other/x");
    EXPECT_TRUE(resolveLocation(String(), request).isEmpty());

    HttpRequest defaultPort;
    defaultPort.setUrl("http://gw/desc.xml");
    EXPECT_EQ(resolveLocation("other.xml", defaultPort), "http://gw/other.xml");
}

TEST(UrlTest, ResolveLocationTakesHostFromHeaderWhenFieldEmpty) {
    HttpRequest request;
    request.setUrl("/dir/page");
    request.headers.add("Host", "gw:8000");
    EXPECT_EQ(resolveLocation("next", request), "http://gw:8000/dir/next");
}

} // namespace
} // namespace kestrum::test
