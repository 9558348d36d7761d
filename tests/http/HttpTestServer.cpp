#include "tests/http/HttpTestServer.h"

namespace kestrum::test {

HttpTestServer::HttpTestServer(std::vector<ScriptedReply> replies)
    : ScriptedPeer(
          [replies](PeerConnection& connection) {
              connection.readRequest();
              const ScriptedReply& reply = replies[static_cast<std::size_t>(connection.index())];
              if (reply.pauseBetweenBytesMs > 0) {
                  if (!connection.trickle(reply.bytes, reply.pauseBetweenBytesMs)) {
                      return;
                  }
              } else {
                  connection.send(reply.bytes);
              }
              if (reply.holdMs > 0) {
                  connection.hold(reply.holdMs);
              }
          },
          {.connections = static_cast<int>(replies.size())}) {}

} // namespace kestrum::test
