// Feeds an arbitrary response to the incremental parser in pieces, the way a connection hands
// it over, and checks that the pieces make no difference to the outcome.
//
// Input: one byte n, then (n % 8) + 1 bytes that give the piece sizes (each 1 to 64, used in
// turn), then the response bytes.

#include "http/HttpMessage.h"
#include "net/Exception.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using kestrum::HttpException;
using kestrum::HttpMessage;
using kestrum::HttpResponse;

struct Outcome {
    HttpResponse response;
    bool malformed = false;
    bool completeAtClose = false;
};

// The client stops feeding once the response is complete, and takes a closed connection as the
// end of a body without a declared length. A head that the close ends may still be malformed.
void finish(Outcome& outcome) {
    if (outcome.malformed) {
        return;
    }
    try {
        outcome.completeAtClose = outcome.response.completeAtClose();
    } catch (const HttpException&) {
        outcome.malformed = true;
    }
}

void feedWhole(Outcome& outcome, const char* bytes, int length) {
    try {
        outcome.response.feed(bytes, length);
    } catch (const HttpException&) {
        outcome.malformed = true;
    }
    finish(outcome);
}

void feedInPieces(Outcome& outcome, const char* bytes, int length, const std::uint8_t* sizes,
                  int sizeCount) {
    try {
        for (int at = 0, turn = 0;
             at < length && outcome.response.parseState() != HttpMessage::ParseState::Complete;
             ++turn) {
            const int piece = sizes[turn % sizeCount] % 64 + 1;
            const int n = piece < length - at ? piece : length - at;
            outcome.response.feed(bytes + at, n);
            at += n;
        }
    } catch (const HttpException&) {
        outcome.malformed = true;
    }
    finish(outcome);
}

bool same(const Outcome& left, const Outcome& right) {
    const HttpResponse& a = left.response;
    const HttpResponse& b = right.response;
    if (left.malformed != right.malformed || left.completeAtClose != right.completeAtClose ||
        a.parseState() != b.parseState() || a.firstLine() != b.firstLine() ||
        a.version() != b.version() || a.status() != b.status() || a.reason() != b.reason() ||
        a.contentLength() != b.contentLength() || a.headers.count() != b.headers.count() ||
        a.body.length() != b.body.length()) {
        return false;
    }
    for (int i = 0; i < a.headers.count(); ++i) {
        if (a.headers[i].name != b.headers[i].name || a.headers[i].value != b.headers[i].value) {
            return false;
        }
    }
    return a.body.length() == 0 || std::memcmp(a.body.data(), b.body.data(),
                                               static_cast<std::size_t>(a.body.length())) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const int sizeCount = data[0] % 8 + 1;
    if (size < static_cast<std::size_t>(sizeCount) + 1) {
        return 0;
    }
    const std::uint8_t* sizes = data + 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1 + sizeCount);
    const int length = static_cast<int>(size) - 1 - sizeCount;

    Outcome whole;
    feedWhole(whole, bytes, length);
    Outcome pieces;
    feedInPieces(pieces, bytes, length, sizes, sizeCount);
    if (!same(whole, pieces)) {
        std::abort();
    }
    // A complete body never exceeds its declared length.
    const HttpResponse& response = whole.response;
    if (response.parseState() == HttpMessage::ParseState::Complete &&
        response.contentLength() >= 0 && response.headers.find("Content-Length") >= 0 &&
        response.body.length() != response.contentLength()) {
        std::abort();
    }
    return 0;
}
