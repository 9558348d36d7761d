#include "http/HttpMessage.h"

#include "net/Exception.h"
#include "net/TextView.h"

#include <algorithm>
#include <cstring>

namespace kestrum {

namespace {

constexpr int initialBufferRoom = 500;
constexpr int bufferGrowthStep = 1000;

void makeFresh(ByteBuffer& buffer) {
    buffer = ByteBuffer();
    buffer.setGrowthStep(bufferGrowthStep);
    buffer.setCapacity(initialBufferRoom);
}

// The decimal value as toInt reads it; a negative length or one beyond the size bound is
// malformed, and so is a value too long to hold.
int declaredLength(const String& text) {
    const char* p = TextView(text).trimmedLeft().data();
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > HttpMessage::maximumSize) {
            throw HttpException();
        }
    }
    if (negative && value != 0) {
        throw HttpException();
    }
    return static_cast<int>(value);
}

// Three digits at most and no sign: a longer code would wrap onto another one (4294967496 onto
// 200).
std::uint16_t statusCode(const String& text) {
    const char* p = text.c_str();
    if (*p == '-' || *p == '+') {
        throw HttpException();
    }
    int value = 0;
    for (int digits = 1; *p >= '0' && *p <= '9'; ++p, ++digits) {
        if (digits > 3) {
            throw HttpException();
        }
        value = value * 10 + (*p - '0');
    }
    return static_cast<std::uint16_t>(value);
}

bool hasLineBreak(const String& text) {
    return text.findFirstOf("\r\n") >= 0;
}

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

} // namespace

HttpMessage::HttpMessage() {
    reset();
}

void HttpMessage::reset() {
    headers = StringMap();
    makeFresh(body);
    makeFresh(receiveBuffer_);
    firstLine_ = String();
    readPosition_ = 0;
    scanPosition_ = 0;
    parseState_ = ParseState::FirstLine;
    contentLength_ = -1;
    hasContentLength_ = -1;
    chunked_ = false;
    chunkPart_ = ChunkPart::SizeLine;
    chunkLeft_ = 0;
    trailerLines_ = 0;
}

void HttpMessage::feed(const void* bytes, int n) {
    if (bytes == nullptr || n < 1) {
        return;
    }
    if (n > maximumSize - receiveBuffer_.length()) {
        throw HttpException();
    }
    // Geometric growth: a message arriving in small pieces is not copied over and over.
    receiveBuffer_.ensureCapacity(receiveBuffer_.length() + n);
    receiveBuffer_.append(bytes, n);
    if (parseState_ == ParseState::Body) {
        if (chunked_) {
            decodeChunks();
        } else {
            appendBody(static_cast<const char*>(bytes), n);
        }
        return;
    }
    String line;
    while (readLine(line)) {
        switch (parseState_) {
        case ParseState::FirstLine:
            firstLine_ = line;
            parseState_ = ParseState::Headers;
            parseFirstLine();
            break;
        case ParseState::Headers:
            if (line.isEmpty()) {
                endHeaders();
                return;
            }
            parseHeaderLine(line);
            break;
        default:
            // A line after the message was complete.
            throw HttpException();
        }
    }
}

bool HttpMessage::completeAtClose() {
    // A connection closed without a byte is an empty response (with no status of its own).
    const bool inHead = parseState_ == ParseState::FirstLine || parseState_ == ParseState::Headers;
    if (inHead && receiveBuffer_.length() > 0 && !endHeadAtClose()) {
        return false;
    }
    if (parseState_ == ParseState::Complete) {
        return true;
    }
    if (hasContentLength_ == -1) {
        hasContentLength_ = headers.find("Content-Length") >= 0 ? 1 : 0;
    }
    if (hasContentLength_ == 1) {
        return false;
    }
    // A chunked body is whole once its last chunk came; a trailer line cut short is not.
    if (chunked_ &&
        (chunkPart_ != ChunkPart::Trailer || readPosition_ != receiveBuffer_.length())) {
        return false;
    }
    parseState_ = ParseState::Complete;
    return true;
}

// The last byte received is not read as a line end while more may follow; at the close it is
// one. A head that it does not end was cut off, and so was one still in its first line.
bool HttpMessage::endHeadAtClose() {
    const int unread = receiveBuffer_.length() - readPosition_;
    const char last = unread == 1 ? receiveBuffer_.data()[readPosition_] : '\0';
    if (parseState_ != ParseState::Headers || (last != '\r' && last != '\n')) {
        return false;
    }
    readPosition_ += 1;
    scanPosition_ = readPosition_;
    endHeaders();
    return true;
}

// The last byte received is never taken as a line end: it may be the CR of a CR LF pair.
bool HttpMessage::readLine(String& line) {
    const int length = receiveBuffer_.length();
    if (readPosition_ >= length - 1) {
        return false;
    }
    const char* data = receiveBuffer_.data();
    for (int i = std::max(readPosition_, scanPosition_); i <= length - 2; ++i) {
        const char byte = data[i];
        if (byte != '\r' && byte != '\n') {
            continue;
        }
        const char next = data[i + 1];
        const bool pair = (byte == '\r' && next == '\n') || (byte == '\n' && next == '\r');
        line.assign(data + readPosition_, i - readPosition_);
        line.trim();
        readPosition_ = i + (pair ? 2 : 1);
        scanPosition_ = readPosition_;
        return true;
    }
    scanPosition_ = length - 1;
    return false;
}

void HttpMessage::parseHeaderLine(String& line) {
    const int colon = line.find(":");
    if (colon <= 0 || headers.count() == maximumHeaders) {
        throw HttpException();
    }
    String name = line.substring(0, colon);
    String value = line.substring(colon + 1);
    name.trim();
    value.trim();
    toLower(name);
    headers.add(name, value);
    if (name == "content-length") {
        contentLength_ = declaredLength(headers[headers.find("content-length")].value);
    }
}

void HttpMessage::endHeaders() {
    parseState_ = ParseState::Body;
    if (readsChunked()) {
        chunked_ = true;
        contentLength_ = -1;
        hasContentLength_ = 0;
        decodeChunks();
        return;
    }
    determineLength();
    int available = receiveBuffer_.length() - readPosition_;
    if (hasContentLength_ == 1 && contentLength_ < available) {
        available = contentLength_;
    }
    appendBody(receiveBuffer_.data() + readPosition_, available);
}

void HttpMessage::determineLength() {
    const int index = headers.find("Content-Length");
    if (contentLength_ == -1) {
        contentLength_ = index >= 0 ? declaredLength(headers[index].value) : 0;
    }
    if (hasContentLength_ == -1) {
        hasContentLength_ = index >= 0 ? 1 : 0;
    }
}

void HttpMessage::appendBody(const char* bytes, int n) {
    if (bytes == nullptr || n < 0) {
        return;
    }
    determineLength();
    int count = n;
    if (hasContentLength_ == 1) {
        count = std::min(n, contentLength_ - body.length());
    }
    if (count > 0) {
        body.ensureCapacity(body.length() + count);
        body.append(bytes, count);
        readPosition_ += count;
    }
    if (hasContentLength_ == 1 && body.length() >= contentLength_) {
        body.setLength(contentLength_);
        parseState_ = ParseState::Complete;
    }
}

// Whether the body comes in chunks. Identity is no coding at all; any other (gzip, or chunked
// applied twice) is one this client cannot undo, and its bytes read as they are would be garbage.
bool HttpMessage::readsChunked() const {
    int codings = 0;
    bool chunkedLast = false;
    for (const StringPair& pair : headers) {
        if (pair.name != "transfer-encoding") {
            continue;
        }
        TextView rest(pair.value);
        for (;;) {
            const int comma = rest.find(',');
            const TextView coding = (comma < 0 ? rest : rest.substring(0, comma)).trimmed();
            if (!coding.isEmpty() && !coding.equalsIgnoringCase("identity")) {
                ++codings;
                chunkedLast = coding.equalsIgnoringCase("chunked");
            }
            if (comma < 0) {
                break;
            }
            rest = rest.substring(comma + 1);
        }
    }
    if (codings == 0) {
        return false;
    }
    if (codings == 1 && chunkedLast) {
        return true;
    }
    throw HttpException();
}

void HttpMessage::decodeChunks() {
    TextView line;
    for (;;) {
        switch (chunkPart_) {
        case ChunkPart::SizeLine:
            if (!readChunkLine(line)) {
                return;
            }
            startChunk(line);
            break;
        case ChunkPart::Data: {
            const int take = std::min(chunkLeft_, receiveBuffer_.length() - readPosition_);
            if (take == 0) {
                return;
            }
            body.ensureCapacity(body.length() + take);
            body.append(receiveBuffer_.data() + readPosition_, take);
            readPosition_ += take;
            scanPosition_ = readPosition_;
            chunkLeft_ -= take;
            if (chunkLeft_ == 0) {
                chunkPart_ = ChunkPart::DataEnd;
            }
            break;
        }
        case ChunkPart::DataEnd:
            if (!endChunkData()) {
                return;
            }
            chunkPart_ = ChunkPart::SizeLine;
            break;
        case ChunkPart::Trailer:
            if (!readChunkLine(line)) {
                return;
            }
            if (line.isEmpty()) {
                parseState_ = ParseState::Complete;
                return;
            }
            readTrailerLine(line);
            break;
        }
    }
}

// A line of the chunked framing, ended by LF; a CR before the LF belongs to the line end.
bool HttpMessage::readChunkLine(TextView& line) {
    const char* data = receiveBuffer_.data();
    const int length = receiveBuffer_.length();
    const int start = std::max(readPosition_, scanPosition_);
    const void* found =
        start < length ? std::memchr(data + start, '\n', static_cast<std::size_t>(length - start))
                       : nullptr;
    if (found == nullptr) {
        scanPosition_ = length;
        return false;
    }
    const int end = static_cast<int>(static_cast<const char*>(found) - data);
    const int lineEnd = end > readPosition_ && data[end - 1] == '\r' ? end - 1 : end;
    line = TextView(data + readPosition_, lineEnd - readPosition_);
    readPosition_ = end + 1;
    scanPosition_ = readPosition_;
    return true;
}

// "1a3" or "1a3;name=value": the size in hexadecimal, then extensions, which carry nothing this
// client needs. A size beyond the message bound could never arrive.
void HttpMessage::startChunk(TextView sizeLine) {
    int at = 0;
    int size = 0;
    for (; hexValue(sizeLine[at]) >= 0; ++at) {
        size = size * 16 + hexValue(sizeLine[at]);
        if (size > maximumSize) {
            throw HttpException();
        }
    }
    if (at == 0) {
        throw HttpException();
    }
    while (sizeLine[at] == ' ' || sizeLine[at] == '\t') {
        ++at;
    }
    if (at < sizeLine.length() && sizeLine[at] != ';') {
        throw HttpException();
    }
    chunkLeft_ = size;
    chunkPart_ = size == 0 ? ChunkPart::Trailer : ChunkPart::Data;
}

// The line end after a chunk's data: CR LF, or a bare LF.
bool HttpMessage::endChunkData() {
    const int unread = receiveBuffer_.length() - readPosition_;
    const char* next = receiveBuffer_.data() + readPosition_;
    if (unread == 0 || (next[0] == '\r' && unread == 1)) {
        return false;
    }
    if (next[0] == '\n') {
        readPosition_ += 1;
    } else if (next[0] == '\r' && next[1] == '\n') {
        readPosition_ += 2;
    } else {
        throw HttpException();
    }
    scanPosition_ = readPosition_;
    return true;
}

// Trailer fields are read past, not kept: none carries what this client needs.
void HttpMessage::readTrailerLine(TextView line) {
    ++trailerLines_;
    if (trailerLines_ > maximumHeaders || line.find(':') <= 0) {
        throw HttpException();
    }
}

// A line break inside a field would smuggle extra header lines into the message.
String HttpMessage::composeHead() {
    composeFirstLine();
    if (hasLineBreak(firstLine_)) {
        throw HttpException();
    }
    String head = firstLine_;
    head.append("\r\n");
    for (const StringPair& pair : headers) {
        if (hasLineBreak(pair.name) || hasLineBreak(pair.value)) {
            throw HttpException();
        }
        head.append(pair.name);
        head.append(": ");
        head.append(pair.value);
        head.append("\r\n");
    }
    head.append("\r\n");
    return head;
}

void HttpMessage::serialize(ByteBuffer& out) {
    const String head = composeHead();
    out.setLength(0);
    out.write(0, head.data(), head.length());
    out.append(body.data(), body.length());
}

void HttpRequest::parseFirstLine() {
    String line = firstLine_;
    line.trim();
    const int first = line.find(" ");
    if (first < 0) {
        throw HttpException();
    }
    String rest = line.substring(first + 1);
    rest.trim();
    const int second = rest.find(" ");
    if (second < 0) {
        throw HttpException();
    }
    method = line.substring(0, first);
    method.trim();
    String target = rest.substring(0, second);
    version = rest.substring(second + 1);
    version.trim();
    if (method == "CONNECT") {
        const int schemeEnd = target.find("://");
        if (schemeEnd >= 0) {
            target = target.substring(schemeEnd + 3);
        }
        host = target;
        port = 80;
        const int colon = target.find(":");
        if (colon >= 0) {
            host = target.substring(0, colon);
            port = static_cast<std::uint16_t>(toInt(target.substring(colon + 1)));
        }
    } else {
        setUrl(target);
    }
    absoluteForm = !host.isEmpty();
}

void HttpRequest::composeFirstLine() {
    String hostText = host;
    if (port != 80) {
        hostText.append(":");
        hostText.append(String::fromInt(port));
    }
    if (!hostText.isEmpty()) {
        headers.entry("Host").value = hostText;
    }
    firstLine_ = method + " " + (absoluteForm ? getUrl() : path) + " " + version;
}

void HttpResponse::parseFirstLine() {
    String line = firstLine_;
    line.trim();
    const int space = line.find(" ");
    if (space < 0) {
        throw HttpException();
    }
    version_ = line.substring(0, space);
    String rest = line.substring(space + 1);
    rest.trim();
    int end = rest.find(" ");
    if (end < 0) {
        end = rest.length();
    }
    status_ = statusCode(rest.substring(0, end));
    reason_ = rest.substring(end);
    reason_.trim();
}

void HttpResponse::composeFirstLine() {
    firstLine_ = version_ + " " + String::fromInt(status_) + " " + reason_;
}

} // namespace kestrum
