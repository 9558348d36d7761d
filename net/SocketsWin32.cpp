#include "net/SocketPlatform.h"

#include <cstring>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace kestrum::socketPlatform {

static_assert(AF_INET == 2 && sizeof(sockaddr_in) == sizeof(SocketAddress));
static_assert(INVALID_SOCKET == invalidSocket);

namespace {

SOCKET native(SocketHandle handle) {
    return static_cast<SOCKET>(handle);
}

constexpr ErrorCode codes[] = {
    {WSAETIMEDOUT, SocketError::TimedOut},
    {WSAEHOSTUNREACH, SocketError::HostUnreachable},
    {WSAEADDRINUSE, SocketError::AddressInUse},
    {WSAEADDRNOTAVAIL, SocketError::AddressNotAvailable},
    {WSAECONNREFUSED, SocketError::ConnectionRefused},
    {WSAEWOULDBLOCK, SocketError::WouldBlock},
};

void setOnly(fd_set& set, SocketHandle handle) {
    set.fd_count = 1;
    set.fd_array[0] = native(handle);
}

// A datagram larger than the buffer fills it and fails with WSAEMSGSIZE; elsewhere the cut
// datagram is simply the result, and so it is here.
int cutToBuffer(int received, int size) {
    return received == SOCKET_ERROR && ::WSAGetLastError() == WSAEMSGSIZE ? size : received;
}

} // namespace

const std::span<const ErrorCode> errorCodes = codes;

bool startup() {
    // Winsock 2.2, which every supported Windows has; a system that offers less is not used.
    constexpr WORD version = MAKEWORD(2, 2);
    WSADATA data;
    if (::WSAStartup(version, &data) != 0) {
        return false;
    }
    if (data.wVersion != version) {
        ::WSACleanup();
        return false;
    }
    return true;
}

bool cleanup() {
    return ::WSACleanup() != SOCKET_ERROR;
}

SocketHandle open(bool stream) {
    SOCKET created = ::socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (created != INVALID_SOCKET && !setNonBlocking(created, true)) {
        const int error = ::WSAGetLastError();
        ::closesocket(created);
        ::WSASetLastError(error);
        return invalidSocket;
    }
    return static_cast<SocketHandle>(created);
}

void close(SocketHandle handle) {
    ::closesocket(native(handle));
}

bool lookupHost(const char* name, std::uint32_t& addressNetworkOrder) {
    const hostent* found = ::gethostbyname(name);
    if (found == nullptr || found->h_addrtype != AF_INET || found->h_length != 4 ||
        found->h_addr_list == nullptr || found->h_addr_list[0] == nullptr) {
        return false;
    }
    std::memcpy(&addressNetworkOrder, found->h_addr_list[0], 4);
    return true;
}

bool setNonBlocking(SocketHandle handle, bool nonBlocking) {
    u_long flag = nonBlocking ? 1 : 0;
    // FIONBIO is unsigned in the headers while ioctlsocket takes a long.
    return ::ioctlsocket(native(handle), static_cast<long>(FIONBIO), &flag) == 0;
}

WaitResult waitFor(SocketHandle handle, bool write, int waitMilliseconds) {
    fd_set wanted;
    setOnly(wanted, handle);
    // A failed non-blocking connect shows in the exception set, never as writable.
    fd_set failed;
    setOnly(failed, handle);
    timeval limit{};
    limit.tv_sec = waitMilliseconds / 1000;
    limit.tv_usec = (waitMilliseconds % 1000) * 1000;
    int ready = ::select(0, write ? nullptr : &wanted, write ? &wanted : nullptr,
                         write ? &failed : nullptr, waitMilliseconds < 0 ? nullptr : &limit);
    if (ready == SOCKET_ERROR) {
        return WaitResult::Failed;
    }
    if (ready == 0) {
        return WaitResult::TimedOut;
    }
    return write && failed.fd_count != 0 ? WaitResult::ErrorPending : WaitResult::Ready;
}

WaitResult waitForAnyReadable(std::span<const SocketHandle> handles, int waitMilliseconds,
                              int& ready) {
    if (handles.size() > maxWaitedSockets) {
        return WaitResult::Failed;
    }
    fd_set readable;
    readable.fd_count = 0;
    for (const SocketHandle handle : handles) {
        readable.fd_array[readable.fd_count++] = native(handle);
    }
    timeval limit{};
    limit.tv_sec = waitMilliseconds / 1000;
    limit.tv_usec = (waitMilliseconds % 1000) * 1000;
    const int count =
        ::select(0, &readable, nullptr, nullptr, waitMilliseconds < 0 ? nullptr : &limit);
    if (count == SOCKET_ERROR) {
        return WaitResult::Failed;
    }
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if (count > 0 && FD_ISSET(native(handles[i]), &readable)) {
            ready = static_cast<int>(i);
            return WaitResult::Ready;
        }
    }
    return WaitResult::TimedOut;
}

int sendSome(SocketHandle handle, const void* data, int length, const SocketAddress* to) {
    const char* bytes = static_cast<const char*>(data);
    if (to == nullptr) {
        return ::send(native(handle), bytes, length, 0);
    }
    const auto address = toNative<sockaddr_in>(*to);
    return ::sendto(native(handle), bytes, length, 0, reinterpret_cast<const sockaddr*>(&address),
                    sizeof address);
}

int receiveSome(SocketHandle handle, void* buffer, int size, SocketAddress* from) {
    char* bytes = static_cast<char*>(buffer);
    if (from == nullptr) {
        return cutToBuffer(::recv(native(handle), bytes, size, 0), size);
    }
    sockaddr_in address{};
    int addressLength = sizeof address;
    int received = cutToBuffer(::recvfrom(native(handle), bytes, size, 0,
                                          reinterpret_cast<sockaddr*>(&address), &addressLength),
                               size);
    if (received >= 0) {
        fromNative(address, *from);
    }
    return received;
}

bool connect(SocketHandle handle, const SocketAddress& to) {
    const auto address = toNative<sockaddr_in>(to);
    return ::connect(native(handle), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
           0;
}

bool setMulticastTtl(SocketHandle handle, int ttl) {
    return ::setsockopt(native(handle), IPPROTO_IP, IP_MULTICAST_TTL,
                        reinterpret_cast<const char*>(&ttl), sizeof ttl) == 0;
}

bool setMulticastInterface(SocketHandle handle, std::uint32_t interfaceAddress) {
    // A DWORD holding the address in network order, as the Winsock documentation describes it.
    const DWORD address = interfaceAddress;
    return ::setsockopt(native(handle), IPPROTO_IP, IP_MULTICAST_IF,
                        reinterpret_cast<const char*>(&address), sizeof address) == 0;
}

bool joinMulticastGroup(SocketHandle handle, std::uint32_t group, std::uint32_t interfaceAddress) {
    ip_mreq membership{};
    std::memcpy(&membership.imr_multiaddr, &group, sizeof group);
    std::memcpy(&membership.imr_interface, &interfaceAddress, sizeof interfaceAddress);
    return ::setsockopt(native(handle), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                        reinterpret_cast<const char*>(&membership), sizeof membership) == 0;
}

// Windows lets a socket with SO_REUSEADDR share a port with sockets that allow it. A socket bound
// with SO_EXCLUSIVEADDRUSE, or (since Windows Server 2003) one of another account that did not
// allow sharing, makes the bind fail (WSAEACCES or WSAEADDRINUSE): the port is not ours to share.
bool setReuseAddress(SocketHandle handle) {
    const BOOL on = TRUE;
    return ::setsockopt(native(handle), SOL_SOCKET, SO_REUSEADDR,
                        reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool bind(SocketHandle handle, const SocketAddress& address) {
    const auto bound = toNative<sockaddr_in>(address);
    return ::bind(native(handle), reinterpret_cast<const sockaddr*>(&bound), sizeof bound) == 0;
}

int lastErrorCode() {
    return ::WSAGetLastError();
}

int pendingErrorCode(SocketHandle handle) {
    int pending = 0;
    int pendingLength = sizeof pending;
    if (::getsockopt(native(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending),
                     &pendingLength) != 0) {
        return -1;
    }
    return pending;
}

} // namespace kestrum::socketPlatform
