#include "tests/http/HttpTestServer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kestrum {

namespace {

#ifdef _WIN32
using RawSocket = SOCKET;
const RawSocket noSocket = INVALID_SOCKET;
void closeRaw(RawSocket s) {
    closesocket(s);
}
bool readable(RawSocket s, int waitMs) {
    WSAPOLLFD entry{};
    entry.fd = s;
    entry.events = POLLRDNORM;
    return WSAPoll(&entry, 1, waitMs) > 0;
}
constexpr int sendFlags = 0;
using IoLength = int;
#else
using RawSocket = int;
const RawSocket noSocket = -1;
void closeRaw(RawSocket s) {
    ::close(s);
}
bool readable(RawSocket s, int waitMs) {
    pollfd entry{};
    entry.fd = s;
    entry.events = POLLIN;
    return ::poll(&entry, 1, waitMs) > 0;
}
// A client that gave up must not kill the test program with SIGPIPE.
constexpr int sendFlags = MSG_NOSIGNAL;
using IoLength = size_t;
#endif

constexpr int acceptWaitMs = 20000;
constexpr int requestWaitMs = 5000;
constexpr int pollStepMs = 20;

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Binds a listening socket to 127.0.0.1 and an ephemeral port.
RawSocket listenOnLoopback(int& port) {
    const RawSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == noSocket) {
        throw std::runtime_error("socket");
    }
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(s, 8) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        closeRaw(s);
        throw std::runtime_error("bind");
    }
    port = ntohs(address.sin_port);
    return s;
}

// The Content-Length a raw request head announces, 0 without one.
size_t announcedLength(const std::string& head) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const size_t at = lower.find("\ncontent-length:");
    if (at == std::string::npos) {
        return 0;
    }
    return static_cast<size_t>(std::strtoul(lower.c_str() + at + 16, nullptr, 10));
}

} // namespace

struct HttpTestServer::State {
    std::vector<ScriptedReply> replies;
    RawSocket listener = noSocket;
    int port = 0;
    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stop = false;
    std::vector<std::string> requests;
    std::thread thread;

    // Waits up to ms unless the server is stopping; false when it is.
    bool pause(int ms) {
        std::unique_lock lock(mutex);
        return !stopped.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop; });
    }

    bool stopping() {
        std::lock_guard lock(mutex);
        return stop;
    }

    bool waitReadable(RawSocket s, int totalMs) {
        for (int waited = 0; waited < totalMs && !stopping(); waited += pollStepMs) {
            if (readable(s, pollStepMs)) {
                return true;
            }
        }
        return false;
    }

    std::string readRequest(RawSocket s) {
        std::string bytes;
        char buffer[4096];
        while (waitReadable(s, requestWaitMs)) {
            const auto n = ::recv(s, buffer, static_cast<IoLength>(sizeof buffer), 0);
            if (n <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<size_t>(n));
            const size_t headEnd = bytes.find("\r\n\r\n");
            if (headEnd != std::string::npos &&
                bytes.size() >= headEnd + 4 + announcedLength(bytes.substr(0, headEnd + 2))) {
                break;
            }
        }
        return bytes;
    }

    bool sendBytes(RawSocket s, const char* data, size_t size) {
        while (size > 0) {
            const auto n = ::send(s, data, static_cast<IoLength>(size), sendFlags);
            if (n <= 0) {
                return false;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    void answer(RawSocket s, const ScriptedReply& reply) {
        if (reply.pauseBetweenBytesMs <= 0) {
            sendBytes(s, reply.bytes.data(), reply.bytes.size());
        } else {
            for (size_t i = 0; i < reply.bytes.size(); ++i) {
                if (!sendBytes(s, &reply.bytes[i], 1) || !pause(reply.pauseBetweenBytesMs)) {
                    return;
                }
            }
        }
        if (reply.holdMs > 0) {
            pause(reply.holdMs);
        }
    }

    void serve() {
        for (const ScriptedReply& reply : replies) {
            if (!waitReadable(listener, acceptWaitMs)) {
                return;
            }
            const RawSocket connection = ::accept(listener, nullptr, nullptr);
            if (connection == noSocket) {
                return;
            }
            std::string request = readRequest(connection);
            {
                std::lock_guard lock(mutex);
                requests.push_back(std::move(request));
            }
            answer(connection, reply);
            closeRaw(connection);
        }
    }
};

HttpTestServer::HttpTestServer(std::vector<ScriptedReply> replies)
    : state_(std::make_unique<State>()) {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    state_->replies = std::move(replies);
    state_->listener = listenOnLoopback(state_->port);
    state_->thread = std::thread([state = state_.get()] { state->serve(); });
}

HttpTestServer::~HttpTestServer() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stop = true;
    }
    state_->stopped.notify_all();
    state_->thread.join();
    closeRaw(state_->listener);
#ifdef _WIN32
    WSACleanup();
#endif
}

int HttpTestServer::port() const {
    return state_->port;
}

std::string HttpTestServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(state_->port) + path;
}

std::vector<std::string> HttpTestServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

int HttpTestServer::unusedPort() {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    int port = 0;
    closeRaw(listenOnLoopback(port));
#ifdef _WIN32
    WSACleanup();
#endif
    return port;
}

} // namespace kestrum
