#include "tests/support/RawSocket.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kestrum::test {

namespace {

#ifdef _WIN32
using Native = SOCKET;
using AddressLength = int;
using IoLength = int;
int lastError() {
    return WSAGetLastError();
}
void closeNative(Native socket) {
    closesocket(socket);
}
int pollOne(pollfd* entry, int timeout) {
    return WSAPoll(entry, 1, timeout);
}
constexpr int sendFlags = 0;
constexpr int shutdownSending = SD_SEND;

// Every test program starts Winsock once for its peers, apart from the code under test.
void startOnce() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started)
        throw std::runtime_error("WSAStartup failed");
}
#else
using Native = int;
using AddressLength = socklen_t;
using IoLength = std::size_t;
int lastError() {
    return errno;
}
void closeNative(Native socket) {
    ::close(socket);
}
int pollOne(pollfd* entry, int timeout) {
    return ::poll(entry, 1, timeout);
}
constexpr int sendFlags = MSG_NOSIGNAL;
constexpr int shutdownSending = SHUT_WR;
void startOnce() {}
#endif

Native native(std::uintptr_t handle) {
    return static_cast<Native>(handle);
}

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(lastError()));
}

std::uintptr_t openNative(int type) {
    startOnce();
    Native created = ::socket(AF_INET, type, 0);
#ifdef _WIN32
    if (created == INVALID_SOCKET)
        fail("socket");
#else
    if (created < 0)
        fail("socket");
#endif
    return static_cast<std::uintptr_t>(created);
}

constexpr std::int64_t interruptStep = 20;

std::int64_t steadyNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

RawSocket::RawSocket(RawSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, invalid)), pending_(std::move(other.pending_)),
      interrupt_(other.interrupt_) {}

RawSocket& RawSocket::operator=(RawSocket&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, invalid);
        pending_ = std::move(other.pending_);
        interrupt_ = other.interrupt_;
    }
    return *this;
}

RawSocket RawSocket::bindTcp() {
    RawSocket socket(openNative(SOCK_STREAM));
    sockaddr_in address = loopback(0);
    if (::bind(native(socket.handle_), reinterpret_cast<const sockaddr*>(&address),
               sizeof address) != 0)
        fail("bind");
    return socket;
}

RawSocket RawSocket::listenTcp(int backlog) {
    RawSocket listener = bindTcp();
    if (::listen(native(listener.handle_), backlog) != 0)
        fail("listen");
    return listener;
}

RawSocket RawSocket::connectTcp(int port) {
    RawSocket connection(openNative(SOCK_STREAM));
    sockaddr_in address = loopback(port);
    if (::connect(native(connection.handle_), reinterpret_cast<const sockaddr*>(&address),
                  sizeof address) != 0)
        fail("connect");
    return connection;
}

RawSocket RawSocket::openUdp(int port) {
    RawSocket socket(openNative(SOCK_DGRAM));
    sockaddr_in address = loopback(port);
    if (::bind(native(socket.handle_), reinterpret_cast<const sockaddr*>(&address),
               sizeof address) != 0)
        fail("bind");
    return socket;
}

RawSocket RawSocket::joinMulticastGroup(const char* group, int port) {
    RawSocket socket(openNative(SOCK_DGRAM));
    const int reuse = 1;
    if (::setsockopt(native(socket.handle_), SOL_SOCKET, SO_REUSEADDR,
                     reinterpret_cast<const char*>(&reuse), sizeof reuse) != 0)
        fail("setsockopt SO_REUSEADDR");
    sockaddr_in address = loopback(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(native(socket.handle_), reinterpret_cast<const sockaddr*>(&address),
               sizeof address) != 0)
        fail("bind");
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = inet_addr(group);
    membership.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
    if (::setsockopt(native(socket.handle_), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                     reinterpret_cast<const char*>(&membership), sizeof membership) != 0)
        fail("setsockopt IP_ADD_MEMBERSHIP");
    return socket;
}

bool RawSocket::isOpen() const {
    return handle_ != invalid;
}

int RawSocket::localPort() const {
    sockaddr_in address{};
    AddressLength length = sizeof address;
    if (::getsockname(native(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        fail("getsockname");
    return ntohs(address.sin_port);
}

RawSocket RawSocket::accept(int waitMilliseconds) {
    if (!readableBefore(steadyNow() + waitMilliseconds))
        return RawSocket();
    Native accepted = ::accept(native(handle_), nullptr, nullptr);
#ifdef _WIN32
    if (accepted == INVALID_SOCKET)
        return RawSocket();
#else
    if (accepted < 0)
        return RawSocket();
#endif
    return RawSocket(static_cast<std::uintptr_t>(accepted));
}

bool RawSocket::sendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        auto sent =
            ::send(native(handle_), bytes.data(), static_cast<IoLength>(bytes.size()), sendFlags);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool RawSocket::sendTo(int port, std::string_view bytes) {
    sockaddr_in address = loopback(port);
    auto sent = ::sendto(native(handle_), bytes.data(), static_cast<IoLength>(bytes.size()),
                         sendFlags, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == static_cast<decltype(sent)>(bytes.size());
}

bool RawSocket::sendToGroup(const char* group, int port, std::string_view bytes) {
    sockaddr_in address = loopback(port);
    address.sin_addr.s_addr = inet_addr(group);
    auto sent = ::sendto(native(handle_), bytes.data(), static_cast<IoLength>(bytes.size()),
                         sendFlags, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == static_cast<decltype(sent)>(bytes.size());
}

bool RawSocket::readableBefore(std::int64_t deadline) {
    if (!isOpen())
        return false;
    for (;;) {
        if (interrupt_ != nullptr && interrupt_->load())
            return false;
        const std::int64_t left = deadline - steadyNow();
        // Short steps while an interruption may come, so that it is seen soon.
        const std::int64_t step = interrupt_ != nullptr ? std::min(left, interruptStep) : left;
        pollfd entry{};
        entry.fd = native(handle_);
        entry.events = POLLIN;
        const int ready = pollOne(&entry, step > 0 ? static_cast<int>(step) : 0);
        if (ready > 0)
            return true;
#ifndef _WIN32
        if (ready < 0 && errno == EINTR)
            continue;
#endif
        if (ready < 0 || step >= left)
            return false;
    }
}

bool RawSocket::fillPending(std::int64_t deadline) {
    if (!readableBefore(deadline))
        return false;
    char chunk[4096];
    auto received = ::recv(native(handle_), chunk, static_cast<IoLength>(sizeof chunk), 0);
    if (received <= 0)
        return false;
    pending_.append(chunk, static_cast<std::size_t>(received));
    return true;
}

std::string RawSocket::takePending(std::size_t count) {
    count = std::min(count, pending_.size());
    std::string taken = pending_.substr(0, count);
    pending_.erase(0, count);
    return taken;
}

int RawSocket::receive(void* buffer, int size, int waitMilliseconds) {
    if (size <= 0)
        return -1;
    if (pending_.empty()) {
        if (!readableBefore(steadyNow() + waitMilliseconds))
            return -1;
        auto received =
            ::recv(native(handle_), static_cast<char*>(buffer), static_cast<IoLength>(size), 0);
        return received < 0 ? 0 : static_cast<int>(received);
    }
    std::string taken = takePending(static_cast<std::size_t>(size));
    std::memcpy(buffer, taken.data(), taken.size());
    return static_cast<int>(taken.size());
}

std::string RawSocket::receiveUntil(std::string_view marker, int waitMilliseconds) {
    const std::int64_t deadline = steadyNow() + waitMilliseconds;
    for (;;) {
        std::size_t found = pending_.find(marker);
        if (found != std::string::npos)
            return takePending(found + marker.size());
        if (!fillPending(deadline))
            return takePending(pending_.size());
    }
}

std::string RawSocket::receiveExactly(std::size_t count, int waitMilliseconds) {
    const std::int64_t deadline = steadyNow() + waitMilliseconds;
    while (pending_.size() < count && fillPending(deadline)) {
    }
    return takePending(count);
}

std::string RawSocket::receiveUntilClosed(int waitMilliseconds) {
    const std::int64_t deadline = steadyNow() + waitMilliseconds;
    while (fillPending(deadline)) {
    }
    return takePending(pending_.size());
}

std::string RawSocket::receiveDatagram(int waitMilliseconds, int* fromPort) {
    if (!readableBefore(steadyNow() + waitMilliseconds))
        return {};
    static constexpr int largest = 65535;
    std::string datagram(largest, '\0');
    sockaddr_in from{};
    AddressLength fromLength = sizeof from;
    auto received = ::recvfrom(native(handle_), datagram.data(), static_cast<IoLength>(largest), 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0)
        return {};
    datagram.resize(static_cast<std::size_t>(received));
    if (fromPort != nullptr)
        *fromPort = ntohs(from.sin_port);
    return datagram;
}

void RawSocket::shutdownSend() {
    if (isOpen())
        ::shutdown(native(handle_), shutdownSending);
}

void RawSocket::resetConnection() {
    if (!isOpen())
        return;
    linger immediately{};
    immediately.l_onoff = 1;
    immediately.l_linger = 0;
    ::setsockopt(native(handle_), SOL_SOCKET, SO_LINGER,
                 reinterpret_cast<const char*>(&immediately), sizeof immediately);
    close();
}

void RawSocket::close() {
    if (isOpen())
        closeNative(native(handle_));
    handle_ = invalid;
    pending_.clear();
}

int closedPort() {
    return RawSocket::listenTcp().localPort();
}

} // namespace kestrum::test
