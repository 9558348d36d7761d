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

WaitResult waitFor(SocketHandle handle, bool write, int waitMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMilliseconds);
    pollfd entry{};
    entry.fd = fd(handle);
    // Errors and hang-ups are always reported and count as ready: the next call reports them.
    entry.events = write ? POLLOUT : POLLIN;
    int timeout = waitMilliseconds;
    for (;;) {
        int ready = ::poll(&entry, 1, timeout);
        if (ready > 0) {
            if ((entry.revents & POLLNVAL) != 0) {
                return WaitResult::Failed;
            }
            const bool broken = (entry.revents & (POLLERR | POLLHUP)) != 0;
            return write && broken ? WaitResult::ErrorPending : WaitResult::Ready;
        }
        if (ready == 0) {
            return WaitResult::TimedOut;
        }
        if (errno != EINTR) {
            return WaitResult::Failed;
        }
        if (waitMilliseconds >= 0) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
    }
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
