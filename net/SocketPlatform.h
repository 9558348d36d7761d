#pragma once

// The operating system's side of the socket layer: one set of primitive operations, implemented
// by SocketsPosix.cpp and SocketsWin32.cpp. They report failure by their result and leave the
// platform's error code to lastErrorCode; the portable layer turns codes into exception classes.

#include "net/Sockets.h"

#include <cstdint>
#include <cstring>
#include <span>

namespace kestrum::socketPlatform {

// The reasons of failure the layer tells apart; code 0 is None, every unlisted code Other.
enum class SocketError {
    None,
    TimedOut,
    HostUnreachable,
    AddressInUse,
    AddressNotAvailable,
    ConnectionRefused,
    WouldBlock,
    Other,
};

struct ErrorCode {
    int code;
    SocketError error;
};

// Each platform's own codes for the reasons: the Winsock codes on Windows, their POSIX twins
// elsewhere.
extern const std::span<const ErrorCode> errorCodes;

// The platform's sockaddr_in for an address, which has the same fields. The IPv4 address is
// copied whole: its member name is a macro on some platforms.
template <typename Native> Native toNative(const SocketAddress& address) {
    Native native{};
    native.sin_family = static_cast<decltype(native.sin_family)>(address.family());
    native.sin_port = address.portNetworkOrder();
    const std::uint32_t ipv4 = address.addressNetworkOrder();
    static_assert(sizeof native.sin_addr == sizeof ipv4);
    std::memcpy(&native.sin_addr, &ipv4, sizeof ipv4);
    return native;
}

template <typename Native> void fromNative(const Native& native, SocketAddress& address) {
    std::uint32_t ipv4 = 0;
    std::memcpy(&ipv4, &native.sin_addr, sizeof ipv4);
    address.setPortNetworkOrder(native.sin_port);
    address.setAddressNetworkOrder(ipv4);
}

// ErrorPending: a write wait ended because the socket has an error pending, such as a refused
// connect. A read wait reports it as Ready, since the receive then reports the error itself.
enum class WaitResult { Ready, ErrorPending, TimedOut, Failed };

bool startup();
bool cleanup();
// A non-blocking socket (the layer waits itself, where it can notice a stop); invalidSocket on
// failure, never 0.
SocketHandle open(bool stream);
void close(SocketHandle handle);
bool lookupHost(const char* name, std::uint32_t& addressNetworkOrder);
bool setNonBlocking(SocketHandle handle, bool nonBlocking);
// waitMilliseconds is -1 (no limit) or 0 and more. A write wait also ends when the socket has an
// error pending, so that a failed connect is noticed rather than waited out.
WaitResult waitFor(SocketHandle handle, bool write, int waitMilliseconds);
// The same read wait on up to maxWaitedSockets sockets; ready becomes the index of one that is
// ready.
constexpr int maxWaitedSockets = 8;
WaitResult waitForAnyReadable(std::span<const SocketHandle> handles, int waitMilliseconds,
                              int& ready);
// -1 on failure, otherwise the count sent; `to` is null on a connected socket.
int sendSome(SocketHandle handle, const void* data, int length, const SocketAddress* to);
// -1 on failure, otherwise the count received; `from` is null on a connected socket.
int receiveSome(SocketHandle handle, void* buffer, int size, SocketAddress* from);
bool connect(SocketHandle handle, const SocketAddress& to);
bool setMulticastTtl(SocketHandle handle, int ttl);
// Addresses in network order; an interface is named by its IPv4 address, 0 for the system's
// choice.
bool setMulticastInterface(SocketHandle handle, std::uint32_t interfaceAddress);
bool joinMulticastGroup(SocketHandle handle, std::uint32_t group, std::uint32_t interfaceAddress);
bool setReuseAddress(SocketHandle handle);
bool bind(SocketHandle handle, const SocketAddress& address);
// The code of the last failed call on this thread.
int lastErrorCode();
// The code a non-blocking connect left on the socket: 0 when it succeeded, -1 when it cannot be
// read.
int pendingErrorCode(SocketHandle handle);

} // namespace kestrum::socketPlatform
