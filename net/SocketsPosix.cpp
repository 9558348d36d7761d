#include "net/SocketPlatform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrum::socketPlatform {

static_assert(AF_INET == 2 && sizeof(sockaddr_in) == sizeof(SocketAddress));

namespace {

int fd(SocketHandle handle) {
    return static_cast<int>(handle);
}

constexpr ErrorCode codes[] = {
    {ETIMEDOUT, SocketError::TimedOut},
    {EHOSTUNREACH, SocketError::HostUnreachable},
    {EADDRINUSE, SocketError::AddressInUse},
    {EADDRNOTAVAIL, SocketError::AddressNotAvailable},
    {ECONNREFUSED, SocketError::ConnectionRefused},
    {EINPROGRESS, SocketError::WouldBlock},
    {EAGAIN, SocketError::WouldBlock},
    {EWOULDBLOCK, SocketError::WouldBlock},
};

} // namespace

const std::span<const ErrorCode> errorCodes = codes;

bool startup() {
    return true;
}

bool cleanup() {
    return true;
}

SocketHandle open(bool stream) {
    int created =
        ::socket(AF_INET, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (created == 0) {
        // 0 means "no socket" to the holders; this happens when standard input is closed. The
        // duplicate shares the open file, and with it the non-blocking flag.
        int moved = ::fcntl(created, F_DUPFD_CLOEXEC, 1);
        int saved = errno;
        ::close(created);
        errno = saved;
        created = moved;
    }
    return created < 0 ? invalidSocket : static_cast<SocketHandle>(created);
}

void close(SocketHandle handle) {
    ::close(fd(handle));
}

bool lookupHost(const char* name, std::uint32_t& addressNetworkOrder) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    sockaddr_in first{};
    std::memcpy(&first, found->ai_addr, sizeof first);
    ::freeaddrinfo(found);
    addressNetworkOrder = first.sin_addr.s_addr;
    return true;
}

bool setNonBlocking(SocketHandle handle, bool nonBlocking) {
    int flag = nonBlocking ? 1 : 0;
    return ::ioctl(fd(handle), FIONBIO, &flag) == 0;
}

namespace {

// poll, resumed after a signal with what is left of the wait: the count ready, 0 when the wait
// ran out, -1 on failure.
int pollResumed(pollfd* entries, nfds_t count, int waitMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMilliseconds);
    int timeout = waitMilliseconds;
    for (;;) {
        const int ready = ::poll(entries, count, timeout);
        if (ready >= 0 || errno != EINTR) {
            return ready;
        }
        if (waitMilliseconds >= 0) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
    }
}

} // namespace

WaitResult waitFor(SocketHandle handle, bool write, int waitMilliseconds) {
    pollfd entry{};
    entry.fd = fd(handle);
    // Errors and hang-ups are always reported and count as ready: the next call reports them.
    entry.events = write ? POLLOUT : POLLIN;
    const int ready = pollResumed(&entry, 1, waitMilliseconds);
    if (ready < 0 || (ready > 0 && (entry.revents & POLLNVAL) != 0)) {
        return WaitResult::Failed;
    }
    if (ready == 0) {
        return WaitResult::TimedOut;
    }
    const bool broken = (entry.revents & (POLLERR | POLLHUP)) != 0;
    return write && broken ? WaitResult::ErrorPending : WaitResult::Ready;
}

WaitResult waitForAnyReadable(std::span<const SocketHandle> handles, int waitMilliseconds,
                              int& ready) {
    pollfd entries[maxWaitedSockets]{};
    if (handles.size() > maxWaitedSockets) {
        return WaitResult::Failed;
    }
    for (std::size_t i = 0; i < handles.size(); ++i) {
        entries[i].fd = fd(handles[i]);
        entries[i].events = POLLIN;
    }
    const int count = pollResumed(entries, handles.size(), waitMilliseconds);
    if (count < 0) {
        return WaitResult::Failed;
    }
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if ((entries[i].revents & POLLNVAL) != 0) {
            return WaitResult::Failed;
        }
        if (entries[i].revents != 0) {
            ready = static_cast<int>(i);
            return WaitResult::Ready;
        }
    }
    return WaitResult::TimedOut;
}

int sendSome(SocketHandle handle, const void* data, int length, const SocketAddress* to) {
    const auto size = static_cast<std::size_t>(length);
    for (;;) {
        ssize_t sent;
        if (to == nullptr) {
            sent = ::send(fd(handle), data, size, MSG_NOSIGNAL);
        } else {
            const auto native = toNative<sockaddr_in>(*to);
            sent = ::sendto(fd(handle), data, size, MSG_NOSIGNAL,
                            reinterpret_cast<const sockaddr*>(&native), sizeof native);
        }
        if (sent >= 0 || errno != EINTR) {
            return static_cast<int>(sent);
        }
    }
}

int receiveSome(SocketHandle handle, void* buffer, int size, SocketAddress* from) {
    const auto capacity = static_cast<std::size_t>(size);
    for (;;) {
        sockaddr_in native{};
        socklen_t nativeLength = sizeof native;
        ssize_t received = from == nullptr
                               ? ::recv(fd(handle), buffer, capacity, 0)
                               : ::recvfrom(fd(handle), buffer, capacity, 0,
                                            reinterpret_cast<sockaddr*>(&native), &nativeLength);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received >= 0 && from != nullptr) {
            fromNative(native, *from);
        }
        return static_cast<int>(received);
    }
}

bool connect(SocketHandle handle, const SocketAddress& to) {
    const auto native = toNative<sockaddr_in>(to);
    if (::connect(fd(handle), reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0) {
        return true;
    }
    // An interrupted connect goes on in the background, as one in progress does.
    if (errno == EINTR) {
        errno = EINPROGRESS;
    }
    return false;
}

bool setMulticastTtl(SocketHandle handle, int ttl) {
    return ::setsockopt(fd(handle), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0;
}

bool setMulticastInterface(SocketHandle handle, std::uint32_t interfaceAddress) {
    in_addr address{};
    address.s_addr = interfaceAddress;
    return ::setsockopt(fd(handle), IPPROTO_IP, IP_MULTICAST_IF, &address, sizeof address) == 0;
}

bool joinMulticastGroup(SocketHandle handle, std::uint32_t group, std::uint32_t interfaceAddress) {
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = group;
    membership.imr_interface.s_addr = interfaceAddress;
    return ::setsockopt(fd(handle), IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership,
                        sizeof membership) == 0;
}

bool setReuseAddress(SocketHandle handle) {
    const int on = 1;
    return ::setsockopt(fd(handle), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool bind(SocketHandle handle, const SocketAddress& address) {
    const auto native = toNative<sockaddr_in>(address);
    return ::bind(fd(handle), reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0;
}

int lastErrorCode() {
    return errno;
}

int pendingErrorCode(SocketHandle handle) {
    int pending = 0;
    socklen_t pendingLength = sizeof pending;
    if (::getsockopt(fd(handle), SOL_SOCKET, SO_ERROR, &pending, &pendingLength) != 0) {
        return -1;
    }
    return pending;
}

} // namespace kestrum::socketPlatform
