#include "tests/http/ProxyPeers.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kestrum {

namespace {

#ifdef _WIN32
using RawSocket = SOCKET;
constexpr RawSocket noSocket = INVALID_SOCKET;
void closeRaw(RawSocket s) {
    closesocket(s);
}
using Length = int;
int recvRaw(RawSocket s, char* buffer, int size) {
    return recv(s, buffer, size, 0);
}
int sendSome(RawSocket s, const char* data, int length) {
    return ::send(s, data, length, 0);
}

// Winsock counts its users; every peer is one.
struct SocketLibrary {
    SocketLibrary() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~SocketLibrary() { WSACleanup(); }
};
#else
using RawSocket = int;
constexpr RawSocket noSocket = -1;
void closeRaw(RawSocket s) {
    ::close(s);
}
using Length = socklen_t;
int recvRaw(RawSocket s, char* buffer, int size) {
    return static_cast<int>(recv(s, buffer, static_cast<std::size_t>(size), 0));
}
int sendSome(RawSocket s, const char* data, int length) {
    return static_cast<int>(::send(s, data, static_cast<std::size_t>(length), MSG_NOSIGNAL));
}

struct SocketLibrary {};
#endif

RawSocket raw(std::uintptr_t handle) {
    return static_cast<RawSocket>(handle);
}
std::uintptr_t held(RawSocket s) {
    return static_cast<std::uintptr_t>(s);
}

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool waitReadable(RawSocket s, int milliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(static_cast<int>(s) + 1, &readable, nullptr, nullptr, &wait) > 0;
}

// One receive after a bounded wait: the count, 0 when the client closed or stayed silent.
int receiveSome(RawSocket s, char* buffer, int size) {
    if (!waitReadable(s, PeerConnection::waitMilliseconds)) {
        return 0;
    }
    const int n = recvRaw(s, buffer, size);
    return n > 0 ? n : 0;
}

bool sendRaw(RawSocket s, const char* data, int length) {
    while (length > 0) {
        const int n = sendSome(s, data, length);
        if (n <= 0) {
            return false;
        }
        data += n;
        length -= n;
    }
    return true;
}

RawSocket listenOnLoopback(int& port) {
    const RawSocket s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    Length length = sizeof address;
    if (s == noSocket || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(s, 4) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("test peer cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return s;
}

} // namespace

PeerConnection::~PeerConnection() {
    closeRaw(raw(handle_));
}

std::string PeerConnection::read(std::size_t n) {
    std::string data;
    while (data.size() < n) {
        char buffer[512];
        const std::size_t want = std::min(sizeof buffer, n - data.size());
        const int got = receiveSome(raw(handle_), buffer, static_cast<int>(want));
        if (got == 0) {
            break;
        }
        data.append(buffer, static_cast<std::size_t>(got));
    }
    received_ += data;
    return data;
}

std::string PeerConnection::readUntil(const std::string& end) {
    // One byte at a time, so that nothing after the marker is taken from the stream.
    std::string data;
    while (data.size() < end.size() || data.compare(data.size() - end.size(), end.size(), end)) {
        char byte = 0;
        if (receiveSome(raw(handle_), &byte, 1) == 0) {
            break;
        }
        data += byte;
    }
    received_ += data;
    return data;
}

void PeerConnection::waitForClose() {
    char buffer[512];
    int got = 0;
    while ((got = receiveSome(raw(handle_), buffer, sizeof buffer)) > 0) {
        received_.append(buffer, static_cast<std::size_t>(got));
    }
}

void PeerConnection::send(const std::string& data) {
    sendRaw(raw(handle_), data.data(), static_cast<int>(data.size()));
}

void PeerConnection::relayTo(int port) {
    const RawSocket destination = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    if (destination == noSocket ||
        connect(destination, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        closeRaw(destination);
        return;
    }
    const RawSocket client = raw(handle_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        FD_SET(destination, &readable);
        timeval wait{0, 100 * 1000};
        const int highest = static_cast<int>(client > destination ? client : destination);
        if (select(highest + 1, &readable, nullptr, nullptr, &wait) <= 0) {
            continue;
        }
        const RawSocket from = FD_ISSET(client, &readable) ? client : destination;
        const RawSocket to = from == client ? destination : client;
        char buffer[4096];
        const int n = recvRaw(from, buffer, sizeof buffer);
        if (n <= 0 || !sendRaw(to, buffer, n)) {
            break;
        }
    }
    closeRaw(destination);
}

void PeerConnection::echo() {
    char buffer[512];
    int got = 0;
    while ((got = receiveSome(raw(handle_), buffer, sizeof buffer)) > 0) {
        send(std::string(buffer, static_cast<std::size_t>(got)));
    }
}

struct TestPeer::State {
    [[maybe_unused]] SocketLibrary library;
    RawSocket listener = noSocket;
    int port = 0;
    std::string received;
    std::thread thread;
};

TestPeer::TestPeer(Script script) : state_(std::make_unique<State>()) {
    state_->listener = listenOnLoopback(state_->port);
    state_->thread = std::thread([state = state_.get(), script = std::move(script)] {
        if (!waitReadable(state->listener, 10000)) {
            return;
        }
        const RawSocket accepted = accept(state->listener, nullptr, nullptr);
        if (accepted == noSocket) {
            return;
        }
        PeerConnection connection(held(accepted));
        script(connection);
        state->received = connection.received();
    });
}

TestPeer::~TestPeer() {
    if (state_->thread.joinable()) {
        state_->thread.join();
    }
    closeRaw(state_->listener);
}

int TestPeer::port() const {
    return state_->port;
}

std::string TestPeer::received() {
    if (state_->thread.joinable()) {
        state_->thread.join();
    }
    return state_->received;
}

int closedPort() {
    [[maybe_unused]] SocketLibrary library;
    int port = 0;
    closeRaw(listenOnLoopback(port));
    return port;
}

std::string httpResponse(const std::string& statusLine, const std::string& extraHeaders,
                         const std::string& body) {
    return statusLine + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
           extraHeaders + "\r\n" + body;
}

TestPeer::Script httpResponder(std::string response) {
    return [response = std::move(response)](PeerConnection& connection) {
        connection.readUntil("\r\n\r\n");
        connection.send(response);
    };
}

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (const int value : values) {
        text += static_cast<char>(value);
    }
    return text;
}

} // namespace kestrum
