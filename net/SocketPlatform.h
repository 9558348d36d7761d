#pragma once

// The operating system's side of the socket layer: one set of primitive operations, implemented
// by SocketsPosix.cpp and SocketsWin32.cpp. They report failure by their result and leave the
// reason to lastError; the portable layer turns reasons into exception classes.

#include "net/Sockets.h"

#include <cstdint>

namespace kestrum::socketPlatform {

// The error codes the layer tells apart: the Winsock codes on Windows, their POSIX twins
// elsewhere. Everything else is Other.
enum class SocketError {
    None,
    TimedOut,            // WSAETIMEDOUT, ETIMEDOUT
    HostUnreachable,     // WSAEHOSTUNREACH, EHOSTUNREACH
    AddressInUse,        // WSAEADDRINUSE, EADDRINUSE
    AddressNotAvailable, // WSAEADDRNOTAVAIL, EADDRNOTAVAIL
    ConnectionRefused,   // WSAECONNREFUSED, ECONNREFUSED
    WouldBlock,          // WSAEWOULDBLOCK, EINPROGRESS, EWOULDBLOCK, EAGAIN
    Other,
};

enum class WaitResult { Ready, TimedOut, Failed };

bool startup();
bool cleanup();
// invalidSocket on failure; never 0.
SocketHandle open(bool stream);
void close(SocketHandle handle);
bool lookupHost(const char* name, std::uint32_t& addressNetworkOrder);
bool setNonBlocking(SocketHandle handle, bool nonBlocking);
// waitMilliseconds is -1 (no limit) or 0 and more. A write wait also ends when the socket has an
// error pending, so that a failed connect is noticed rather than waited out.
WaitResult waitFor(SocketHandle handle, bool write, int waitMilliseconds);
// -1 on failure, otherwise the count sent; `to` is null on a connected socket.
int sendSome(SocketHandle handle, const void* data, int length, const SocketAddress* to);
// -1 on failure, otherwise the count received; `from` is null on a connected socket.
int receiveSome(SocketHandle handle, void* buffer, int size, SocketAddress* from);
bool connect(SocketHandle handle, const SocketAddress& to);
bool setMulticastTtl(SocketHandle handle, int ttl);
// The reason of the last failed call on this thread.
SocketError lastError();
// The error a non-blocking connect left on the socket (None when it succeeded).
SocketError pendingError(SocketHandle handle);

} // namespace kestrum::socketPlatform
