#pragma once

#include "tests/support/ScriptedPeer.h"

#include <string>
#include <vector>

namespace kestrum::test {

// One connection's answer: what the server sends after it has read the request, and how.
struct ScriptedReply {
    std::string bytes;
    // Above 0: the bytes go out one at a time with this pause between them.
    int pauseBetweenBytesMs = 0;
    // Keep the connection open and silent this long after sending, then close it.
    int holdMs = 0;
};

// An HTTP server that accepts one connection per scripted reply, in order; for each it reads and
// records the request, sends the reply and closes.
class HttpTestServer : public ScriptedPeer {
public:
    explicit HttpTestServer(std::vector<ScriptedReply> replies);
};

} // namespace kestrum::test
