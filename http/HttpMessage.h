#pragma once

#include "net/ByteBuffer.h"
#include "net/StringList.h"
#include "net/TextView.h"

#include <cstdint>

namespace kestrum {

// An HTTP/1.0 message: headers, body and an incremental parser that accepts the received bytes
// in any split. No keep-alive, no header folding: a body ends at its Content-Length or, without
// one, when the connection closes. Gateways answer HTTP/1.0 requests with HTTP/1.1 responses
// in the chunked transfer coding too, so that one is decoded (and overrides a Content-Length).
class HttpMessage {
public:
    enum class ParseState : std::uint8_t { FirstLine = 0, Headers = 1, Body = 2, Complete = 3 };

    // Gateways send a few kilobytes; anything larger is treated as malformed.
    static constexpr int maximumSize = 1024 * 1024;
    // Devices send a dozen headers; the bound keeps a flood of tiny header lines cheap.
    static constexpr int maximumHeaders = 100;

    // Clears headers, body, the received bytes and the parser; the first-line fields stay.
    void reset();
    // Throws HttpException on malformed input, on more than maximumSize bytes in all, on more
    // than maximumHeaders header lines (or trailer lines) and on a transfer coding other than
    // chunked.
    void feed(const void* bytes, int n);
    // The peer closed the connection: a body without a declared length is complete now.
    // False when a declared length was cut short, or when the first line or the headers were
    // (a head is complete at the close only when one line end is all that is left unread).
    // Throws HttpException when the head it ends is malformed, as feed does.
    bool completeAtClose();

    // First line, headers and the blank line, each ended by CR LF.
    String composeHead();
    void serialize(ByteBuffer& out);

    ParseState parseState() const { return parseState_; }
    const String& firstLine() const { return firstLine_; }
    // -1 until known, and for a chunked body.
    int contentLength() const { return contentLength_; }
    bool chunked() const { return chunked_; }

    // Names as received or set; lookups ignore letter case.
    StringMap headers;
    ByteBuffer body;

protected:
    HttpMessage();
    HttpMessage(const HttpMessage&) = default;
    HttpMessage& operator=(const HttpMessage&) = default;
    ~HttpMessage() = default;

    virtual void parseFirstLine() = 0;
    virtual void composeFirstLine() = 0;

    String firstLine_;

private:
    bool readLine(String& line);
    bool endHeadAtClose();
    void parseHeaderLine(String& line);
    void endHeaders();
    void determineLength();
    void appendBody(const char* bytes, int n);
    bool readsChunked() const;
    void decodeChunks();
    bool readChunkLine(TextView& line);
    void startChunk(TextView sizeLine);
    bool endChunkData();
    void readTrailerLine(TextView line);

    ByteBuffer receiveBuffer_;
    int readPosition_ = 0;
    // Where the next search for a line end starts, so that bytes arriving one at a time do not
    // rescan a long pending line.
    int scanPosition_ = 0;
    ParseState parseState_ = ParseState::FirstLine;
    int contentLength_ = -1;
    int hasContentLength_ = -1;

    enum class ChunkPart : std::uint8_t { SizeLine, Data, DataEnd, Trailer };
    bool chunked_ = false;
    ChunkPart chunkPart_ = ChunkPart::SizeLine;
    int chunkLeft_ = 0;
    int trailerLines_ = 0;
};

// A request; its target is kept as separate URL fields.
class HttpRequest final : public HttpMessage {
public:
    void setMethod(const String& text) { method = text; }
    void setVersion(const String& text) { version = text; }

    // Replaces scheme, host, port, path and absoluteForm from "http://host:port/path" or a bare
    // path. Nothing is escaped or unescaped; a query stays in the path.
    void setUrl(const String& url);
    // "host" or "host:port"; without a colon the port stays.
    void setHost(const String& hostAndPort);
    // The host field, or else the Host header's value (which may also set the port).
    String getHost();
    // scheme://host[:port]path, the port omitted when 80 or 0.
    String getUrl() const;

    String method;
    String scheme;
    String host;
    std::uint16_t port = 80;
    String path;
    // The request line carries the absolute URL instead of the path.
    bool absoluteForm = false;
    String version;

protected:
    void parseFirstLine() override;
    void composeFirstLine() override;
};

// A response: the status line's version, status and reason.
class HttpResponse final : public HttpMessage {
public:
    const String& version() const { return version_; }
    int status() const { return status_; }
    const String& reason() const { return reason_; }

protected:
    void parseFirstLine() override;
    void composeFirstLine() override;

private:
    String version_ = "HTTP/1.0";
    std::uint16_t status_ = 0;
    String reason_;
};

// The absolute URL a redirect to location leads to from request; empty when there is none.
String resolveLocation(const String& location, HttpRequest& request);

} // namespace kestrum
