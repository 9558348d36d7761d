#include "http/HttpMessage.h"

#include "net/Exception.h"
#include "tests/support/StringPrinter.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrum::test {
namespace {

using State = HttpMessage::ParseState;

struct Parsed {
    State state;
    int status;
    std::string reason;
    std::vector<std::string> headers; // "name=value"
    std::string body;

    bool operator==(const Parsed&) const = default;
};

Parsed summary(const HttpResponse& response) {
    Parsed parsed{response.parseState(), response.status(), response.reason().c_str(), {}, {}};
    for (const StringPair& pair : response.headers) {
        parsed.headers.push_back(std::string(pair.name.c_str()) + "=" + pair.value.c_str());
    }
    parsed.body.assign(response.body.data() != nullptr ? response.body.data() : "",
                       static_cast<size_t>(response.body.length()));
    return parsed;
}

// Feeds the bytes in pieces that start at each of the given cut positions.
Parsed parseWithCuts(const std::string& bytes, const std::vector<size_t>& cuts) {
    HttpResponse response;
    size_t start = 0;
    for (size_t cut : cuts) {
        response.feed(bytes.data() + start, static_cast<int>(cut - start));
        start = cut;
    }
    response.feed(bytes.data() + start, static_cast<int>(bytes.size() - start));
    return summary(response);
}

// Every split into two pieces and one byte at a time must parse as the whole does.
Parsed parseEverySplit(const std::string& bytes) {
    const Parsed whole = parseWithCuts(bytes, {});
    for (size_t cut = 1; cut < bytes.size(); ++cut) {
        EXPECT_EQ(parseWithCuts(bytes, {cut}), whole) << "split at " << cut;
    }
    std::vector<size_t> everyByte;
    for (size_t cut = 1; cut < bytes.size(); ++cut) {
        everyByte.push_back(cut);
    }
    EXPECT_EQ(parseWithCuts(bytes, everyByte), whole) << "one byte at a time";
    return whole;
}

HttpResponse parsed(const std::string& bytes) {
    HttpResponse response;
    response.feed(bytes.data(), static_cast<int>(bytes.size()));
    return response;
}

void expectMalformed(const std::string& bytes) {
    SCOPED_TRACE(bytes);
    HttpResponse whole;
    EXPECT_THROW(whole.feed(bytes.data(), static_cast<int>(bytes.size())), HttpException);
    HttpResponse byteWise;
    EXPECT_THROW(
        for (char byte
             : bytes) { byteWise.feed(&byte, 1); },
        HttpException);
}

TEST(HttpMessageTest, DeclaredLengthCutsBodyInAnySplit) {
    const Parsed result = parseEverySplit("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabcdef");
    EXPECT_EQ(result.state, State::Complete);
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.reason, "OK");
    EXPECT_EQ(result.headers, std::vector<std::string>{"content-length=3"});
    EXPECT_EQ(result.body, "abc");
}

TEST(HttpMessageTest, MixedLineEndsInAnySplit) {
    const Parsed result = parseEverySplit("HTTP/1.1 302 Moved Temporarily\nLocation: /x\r\n"
                                          "X-A:\n\rSet-Cookie: a=1\r\nSet-Cookie: b=2\r\n"
                                          "Content-Length: 5\r\n\r\n12345");
    EXPECT_EQ(result.state, State::Complete);
    EXPECT_EQ(result.status, 302);
    EXPECT_EQ(result.reason, "Moved Temporarily");
    const std::vector<std::string> headers{"location=/x", "x-a=", "set-cookie=a=1",
                                           "set-cookie=b=2", "content-length=5"};
    EXPECT_EQ(result.headers, headers);
    EXPECT_EQ(result.body, "12345");
}

TEST(HttpMessageTest, BodyWithoutLengthAccumulatesUntilClose) {
    const Parsed result = parseEverySplit("HTTP/1.0 200 OK\r\nServer: x\r\n\r\nline one\r\n");
    EXPECT_EQ(result.state, State::Body);
    EXPECT_EQ(result.body, "line one\r\n");

    HttpResponse response = parsed("HTTP/1.0 200 OK\r\n\r\nab");
    response.feed("cd\r\nX: y\r\n", 10);
    EXPECT_EQ(std::string(response.body.data(), 12), "abcd\r\nX: y\r\n");
    EXPECT_EQ(response.headers.count(), 0);
    EXPECT_TRUE(response.completeAtClose());
    EXPECT_EQ(response.parseState(), State::Complete);
}

TEST(HttpMessageTest, CloseBeforeDeclaredLengthIsIncomplete) {
    HttpResponse response = parsed("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n12345");
    EXPECT_EQ(response.parseState(), State::Body);
    EXPECT_FALSE(response.completeAtClose());
    EXPECT_EQ(response.parseState(), State::Body);
}

TEST(HttpMessageTest, LfLfHeaderEndWaitsForOneMoreByte) {
    HttpResponse response = parsed("HTTP/1.0 200 OK\nContent-Length: 0\n\n");
    EXPECT_EQ(response.parseState(), State::Headers);
    response.feed("x", 1);
    EXPECT_EQ(response.parseState(), State::Complete);
    EXPECT_EQ(response.body.length(), 0);

    // The final CR LF of a CR LF block is a pair, so that block ends at once.
    EXPECT_EQ(parsed("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n").parseState(), State::Complete);
}

TEST(HttpMessageTest, HeaderNamesLowerCasedAndFoundInAnyCase) {
    HttpResponse response =
        parsed("HTTP/1.0 200 OK\r\nContent-Type: x\r\n\tST :  urn:a  \r\nX-A:\r\n\r\n");
    ASSERT_EQ(response.headers.count(), 3);
    EXPECT_EQ(response.headers[0].name, "content-type");
    EXPECT_EQ(response.headers.find("Content-Type"), 0);
    EXPECT_EQ(response.headers.entry("st").value, "urn:a");
    EXPECT_EQ(response.headers[2].name, "x-a");
    EXPECT_TRUE(response.headers[2].value.isEmpty());
}

TEST(HttpMessageTest, StatusLineForms) {
    HttpResponse short404 = parsed("HTTP/1.0 404\r\n");
    EXPECT_EQ(short404.status(), 404);
    EXPECT_TRUE(short404.reason().isEmpty());
    HttpResponse spaced = parsed("  HTTP/1.1   500   Internal Server Error \r\n");
    EXPECT_EQ(spaced.version(), "HTTP/1.1");
    EXPECT_EQ(spaced.status(), 500);
    EXPECT_EQ(spaced.reason(), "Internal Server Error");
    EXPECT_EQ(spaced.firstLine(), "HTTP/1.1   500   Internal Server Error");
}

TEST(HttpMessageTest, MalformedInputThrows) {
    expectMalformed("HTTP/1.0\r\n\r\n");                        // status line without space
    expectMalformed("HTTP/1.0 200 OK\r\nNoColon\r\n\r\n");      // header without ':'
    expectMalformed("HTTP/1.0 200 OK\r\n: empty name\r\n\r\n"); // empty name
    expectMalformed("HTTP/1.0 200 OK\r\n  indented\r\n\r\n");   // trimmed, still no ':'
    expectMalformed("HTTP/1.0 65736 OK\r\n\r\n");               // status beyond 16 bits
    expectMalformed("HTTP/1.0 -200 OK\r\n\r\n");
    expectMalformed("HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n");
    expectMalformed("HTTP/1.0 200 OK\r\nContent-Length: 99999999999\r\n\r\n");
    expectMalformed("HTTP/1.0 200 OK\r\nContent-Length: 1048577\r\n\r\n");
}

// The code is three digits at most, without a sign: longer ones once wrapped onto 200.
TEST(HttpMessageTest, StatusCodeTable) {
    const struct {
        const char* code;
        int status; // -1: malformed
    } cases[] = {
        {"200", 200},
        {"0", 0},
        {"999", 999},
        {"404x", 404},
        {"OK", 0},
        {"1000", -1},
        {"0200", -1},
        {"2147483848", -1},
        {"4294967496", -1},
        {"4294967295", -1},
        {"18446744073709551816", -1},
        {"-200", -1},
        {"-4294967096", -1},
        {"+200", -1},
        {"-0", -1},
    };
    for (const auto& [code, status] : cases) {
        const std::string bytes = "HTTP/1.0 " + std::string(code) + " OK\r\n\r\n";
        if (status < 0) {
            expectMalformed(bytes);
        } else {
            EXPECT_EQ(parsed(bytes).status(), status) << code;
        }
    }
}

// At the close a head is complete only when all that is left unread is its final line end.
TEST(HttpMessageTest, CloseCompletesOnlyAWholeHeadAndDeclaredBody) {
    const struct {
        const char* bytes;
        bool complete;
        const char* body;
    } cases[] = {
        {"", true, ""}, // nothing at all: an empty response without a status
        {"\n", false, ""},
        {"HTTP/1.0 200 OK", false, ""},
        {"HTTP/1.0 200 OK\n", false, ""},
        {"HTTP/1.0 200 OK\r\n", false, ""},
        {"HTTP/1.0 200 OK\r\nContent-Ty", false, ""},
        {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n", false, ""},
        {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r", true, ""},
        {"HTTP/1.0 200 OK\nContent-Length: 0\n\n", true, ""},
        {"HTTP/1.0 200 OK\nServer: x\n\n", true, ""},
        {"HTTP/1.0 200 OK\nContent-Length: 2\n\n", false, ""},
        {"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nbo", false, "bo"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nbo", true, "bo"},
        {"HTTP/1.0 200 OK\r\n\r\nbody", true, "body"},
    };
    for (const auto& [bytes, complete, body] : cases) {
        SCOPED_TRACE(bytes);
        const std::string text = bytes;
        HttpResponse whole = parsed(text);
        HttpResponse byteWise;
        for (char byte : text) {
            byteWise.feed(&byte, 1);
        }
        for (HttpResponse* response : {&whole, &byteWise}) {
            EXPECT_EQ(response->completeAtClose(), complete);
            EXPECT_EQ(response->parseState() == State::Complete, complete);
            EXPECT_EQ(summary(*response).body, body);
        }
    }
}

// A chunked body decodes to the same bytes in any split: sizes in either letter case with
// leading zeros, extensions, bare LF line ends, trailers; a Content-Length beside it is ignored.
TEST(HttpMessageTest, ChunkedBodiesDecodeInAnySplit) {
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";
    const struct {
        std::string bytes;
        const char* body;
    } cases[] = {
        {head + "\r\n5\r\nhello\r\n7\r\n, world\r\n0\r\n\r\n", "hello, world"},
        {head + "\r\n0000000003;name=\"a;b\"\r\n109\r\n1 ;x\r\n7\r\n0\r\n\r\n", "1097"},
        {head + "\r\na\r\n0123456789\r\nA\r\nabcdefghij\r\n0\r\n\r\n", "0123456789abcdefghij"},
        {head + "\r\n3\n172\n0\n\n", "172"},
        {head + "\r\n2\r\n\r\n\r\n0\r\nX-Checksum: 1\r\nX-Other: 2\r\n\r\n", "\r\n"},
        {head + "Content-Length: 3\r\n\r\n5\r\nhello\r\n0\r\n\r\n", "hello"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: identity, Chunked\r\n\r\n1\r\nx\r\n0\r\n\r\n", "x"},
        {head + "\r\n0\r\n\r\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const Parsed result = parseEverySplit(c.bytes);
        EXPECT_EQ(result.state, State::Complete);
        EXPECT_EQ(result.body, c.body);
        EXPECT_EQ(parsed(c.bytes).contentLength(), -1);
    }
}

// A chunk that does not parse is an error, never bytes of the body; so is a coding that this
// client cannot undo.
TEST(HttpMessageTest, MalformedChunksThrow) {
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (const std::string& chunks : {
             std::string("\r\n"),
             std::string("zz\r\n"),
             std::string("-5\r\nhello\r\n"),
             std::string("+5\r\nhello\r\n"),
             std::string("0x5\r\nhello\r\n"),
             std::string(" 5\r\nhello\r\n"),
             std::string("5 x\r\nhello\r\n"),
             std::string("100001\r\n"),            // beyond the message bound
             std::string("FFFFFFFFFFFFFFFFF\r\n"), // beyond any integer
             std::string("5\r\nhelloXX\r\n"),
             std::string("5\r\nhello\rX"),
             std::string("5\r\nhello\r\n0\r\nno colon here\r\n\r\n"),
             std::string("5\r\nhello\r\n0\r\n: empty name\r\n\r\n"),
         }) {
        expectMalformed(head + chunks);
    }
    for (const char* coding : {"gzip", "gzip, chunked", "chunked, chunked", "chunked, gzip"}) {
        expectMalformed(std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: ") + coding +
                        "\r\n\r\n1\r\nx\r\n0\r\n\r\n");
    }
    std::string flood = head + "0\r\n";
    for (int i = 0; i <= HttpMessage::maximumHeaders; ++i) {
        flood += "t:\n";
    }
    expectMalformed(flood + "\r\n");
}

// At the close a chunked body is whole once its last chunk came, also without the blank line
// that ends the trailer; cut anywhere before, it is not.
TEST(HttpMessageTest, CloseCompletesAChunkedBodyOnlyAfterItsLastChunk) {
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const struct {
        const char* chunks;
        bool complete;
    } cases[] = {
        {"", false},
        {"5", false},
        {"5\r\nhel", false},
        {"5\r\nhello", false},
        {"5\r\nhello\r\n", false},
        {"5\r\nhello\r\n0", false},
        {"5\r\nhello\r\n0\r\n", true},
        {"5\r\nhello\r\n0\r\nX-T: 1", false},
        {"5\r\nhello\r\n0\r\nX-T: 1\r\n", true},
        {"5\r\nhello\r\n0\r\n\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chunks);
        HttpResponse response = parsed(head + c.chunks);
        EXPECT_EQ(response.completeAtClose(), c.complete);
        EXPECT_EQ(response.parseState() == State::Complete, c.complete);
    }
}

TEST(HttpMessageTest, LineAfterCompleteMessageThrows) {
    HttpResponse response = parsed("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nab");
    EXPECT_EQ(response.parseState(), State::Complete);
    EXPECT_THROW(response.feed("\r\nc", 3), HttpException);
}

TEST(HttpMessageTest, LengthAtTheBoundIsAccepted) {
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 1048500\r\n\r\n";
    const std::string body(1048500, 'b');
    HttpResponse response = parsed(head + body);
    EXPECT_EQ(response.parseState(), State::Complete);
    EXPECT_EQ(response.body.length(), 1048500);
    EXPECT_EQ(response.contentLength(), 1048500);
}

TEST(HttpMessageTest, MoreThanOneMebibyteThrows) {
    HttpResponse response = parsed("HTTP/1.0 200 OK\r\n\r\n");
    const std::string chunk(64 * 1024, 'z');
    int fed = 19;
    while (fed + static_cast<int>(chunk.size()) <= HttpMessage::maximumSize) {
        response.feed(chunk.data(), static_cast<int>(chunk.size()));
        fed += static_cast<int>(chunk.size());
    }
    EXPECT_THROW(response.feed(chunk.data(), static_cast<int>(chunk.size())), HttpException);
    EXPECT_LE(response.body.length(), HttpMessage::maximumSize);
}

// A megabyte of tiny header lines ("a:" LF, over and over) must stop at the header limit.
TEST(HttpMessageTest, HeaderFloodIsMalformed) {
    std::string head = "HTTP/1.0 200 OK\r\n";
    for (int i = 1; i < HttpMessage::maximumHeaders; ++i) {
        head += "a:\n";
    }
    const HttpResponse bounded = parsed(head + "Content-Length: 0\r\n\r\n");
    EXPECT_EQ(bounded.parseState(), State::Complete);
    EXPECT_EQ(bounded.headers.count(), HttpMessage::maximumHeaders);
    expectMalformed(head + "a:\nContent-Length: 0\r\n\r\n");

    std::string flood = head;
    while (flood.size() < 1000000) {
        flood += "a:\n";
    }
    expectMalformed(flood);
}

// A long header line arriving byte by byte must not be rescanned from its start each time.
TEST(HttpMessageTest, LongLineByteByByteCompletes) {
    const std::string bytes = "HTTP/1.0 200 OK\r\nX-Long: " + std::string(1000000, 'a') +
                              "\r\nContent-Length: 2\r\n\r\nok";
    HttpResponse response;
    for (char byte : bytes) {
        response.feed(&byte, 1);
    }
    EXPECT_EQ(response.parseState(), State::Complete);
    EXPECT_EQ(response.headers.entry("x-long").value.length(), 1000000);
    EXPECT_EQ(std::string(response.body.data(), 2), "ok");
}

TEST(HttpMessageTest, ResetClearsMessageButKeepsStatus) {
    HttpResponse response = parsed("HTTP/1.0 404 Not Found\r\nContent-Length: 1\r\n\r\nx");
    response.reset();
    EXPECT_EQ(response.parseState(), State::FirstLine);
    EXPECT_EQ(response.headers.count(), 0);
    EXPECT_EQ(response.body.length(), 0);
    EXPECT_TRUE(response.firstLine().isEmpty());
    EXPECT_EQ(response.contentLength(), -1);
    EXPECT_EQ(response.status(), 404);
    response.feed("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", 38);
    EXPECT_EQ(response.parseState(), State::Complete);
}

std::string serialized(HttpMessage& message) {
    ByteBuffer out;
    message.serialize(out);
    return std::string(out.data(), static_cast<size_t>(out.length()));
}

TEST(HttpMessageTest, SerializedGetRequest) {
    HttpRequest request;
    request.setUrl("http://10.0.0.1:5431/desc.xml");
    request.setMethod("GET");
    request.setVersion("HTTP/1.0");
    request.absoluteForm = false;
    EXPECT_EQ(serialized(request), "GET /desc.xml HTTP/1.0\r\nHost: 10.0.0.1:5431\r\n\r\n");

    request.absoluteForm = true;
    request.body.append("xy", 2);
    // The Host header keeps its place; the body follows the head unchanged.
    EXPECT_EQ(serialized(request),
              "GET http://10.0.0.1:5431/desc.xml HTTP/1.0\r\nHost: 10.0.0.1:5431\r\n\r\nxy");
}

TEST(HttpMessageTest, ExistingHostHeaderKeepsItsPlace) {
    HttpRequest request;
    request.headers.add("Host", "old");
    request.headers.add("Accept", "*/*");
    request.setUrl("http://gw/");
    request.absoluteForm = false;
    request.setMethod("GET");
    request.setVersion("HTTP/1.0");
    EXPECT_EQ(serialized(request), "GET / HTTP/1.0\r\nHost: gw\r\nAccept: */*\r\n\r\n");
}

TEST(HttpMessageTest, LineBreakInFieldRefusesToCompose) {
    HttpRequest request;
    request.setUrl("http://gw/ctl");
    request.setMethod("POST");
    request.setVersion("HTTP/1.0");
    request.headers.add("soapaction", "\"x\"\r\nInjected: yes");
    ByteBuffer out;
    EXPECT_THROW(request.serialize(out), HttpException);

    HttpRequest badPath;
    badPath.setUrl("http://gw/a\nb");
    EXPECT_THROW(badPath.composeHead(), HttpException);
}

TEST(HttpMessageTest, RequestLineParsing) {
    HttpRequest absolute;
    const std::string get = "GET http://h:8080/p?q HTTP/1.0\r\n\r\n";
    absolute.feed(get.data(), static_cast<int>(get.size()));
    EXPECT_EQ(absolute.method, "GET");
    EXPECT_EQ(absolute.host, "h");
    EXPECT_EQ(absolute.port, 8080);
    EXPECT_EQ(absolute.path, "/p?q");
    EXPECT_EQ(absolute.version, "HTTP/1.0");
    EXPECT_TRUE(absolute.absoluteForm);
    EXPECT_EQ(absolute.parseState(), State::Body);

    HttpRequest origin;
    origin.feed("GET /x HTTP/1.0\r\n", 17);
    EXPECT_EQ(origin.path, "/x");
    EXPECT_FALSE(origin.absoluteForm);

    HttpRequest tunnel;
    tunnel.feed("CONNECT http://gw:443 HTTP/1.0\r\n", 32);
    EXPECT_EQ(tunnel.host, "gw");
    EXPECT_EQ(tunnel.port, 443);
    EXPECT_TRUE(tunnel.absoluteForm);

    HttpRequest noVersion;
    EXPECT_THROW(noVersion.feed("GET /x\r\n\r\n", 10), HttpException);
}

} // namespace
} // namespace kestrum::test
