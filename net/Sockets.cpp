#include "net/Sockets.h"

#include "net/SocketPlatform.h"

#include <chrono>
#include <cstring>

namespace kestrum {

namespace sp = socketPlatform;
using sp::SocketError;

namespace {

constexpr std::uint16_t familyInet = 2;

SocketError reasonOf(int code) {
    if (code == 0) {
        return SocketError::None;
    }
    for (const sp::ErrorCode& known : sp::errorCodes) {
        if (known.code == code) {
            return known.error;
        }
    }
    return SocketError::Other;
}

SocketError lastError() {
    return reasonOf(sp::lastErrorCode());
}

int effectiveWait(int waitMilliseconds) {
    return waitMilliseconds < 0 && waitMilliseconds != waitForever ? 0 : waitMilliseconds;
}

[[noreturn]] void throwSendFailure(SocketError error) {
    if (error == SocketError::TimedOut || error == SocketError::HostUnreachable) {
        throw NoRouteToHostException();
    }
    throw SocketException();
}

[[noreturn]] void throwReceiveFailure(SocketError error) {
    if (error == SocketError::TimedOut) {
        throw NoRouteToHostException();
    }
    throw SocketException();
}

[[noreturn]] void throwConnectFailure(SocketError error) {
    switch (error) {
    case SocketError::AddressInUse:
        throw BindException();
    case SocketError::AddressNotAvailable:
    case SocketError::ConnectionRefused:
        throw ConnectException();
    case SocketError::TimedOut:
        throw NoRouteToHostException();
    default:
        throw SocketException();
    }
}

// A blocking send waits until its whole piece is queued, however long the peer takes to read;
// a send with a limit therefore runs non-blocking and waits for room itself.
class NonBlockingScope {
public:
    NonBlockingScope(SocketHandle handle, bool active) : handle_(handle), active_(active) {
        if (active_) {
            setBlocking(handle_, false);
        }
    }
    NonBlockingScope(const NonBlockingScope&) = delete;
    NonBlockingScope& operator=(const NonBlockingScope&) = delete;
    ~NonBlockingScope() {
        if (active_) {
            sp::setNonBlocking(handle_, false);
        }
    }

private:
    SocketHandle handle_;
    bool active_;
};

// Sends the whole buffer, each piece to `to` when it is set, within the wait.
int sendWhole(SocketHandle handle, const SocketAddress* to, const void* data, int length,
              int waitMilliseconds) {
    if (length <= 0) {
        return 0;
    }
    const bool bounded = waitMilliseconds != waitForever;
    const std::int64_t deadline = steadyMilliseconds() + effectiveWait(waitMilliseconds);
    const NonBlockingScope scope(handle, bounded);
    const char* bytes = static_cast<const char*>(data);
    int total = 0;
    while (total < length) {
        int wait = waitForever;
        if (bounded) {
            const std::int64_t left = deadline - steadyMilliseconds();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        if (!waitWritable(handle, wait)) {
            throw TimeoutException();
        }
        int sent = sp::sendSome(handle, bytes + total, length - total, to);
        if (sent < 0) {
            const SocketError error = lastError();
            if (bounded && error == SocketError::WouldBlock) {
                continue;
            }
            throwSendFailure(error);
        }
        total += sent;
    }
    return total;
}

int receiveOnce(SocketHandle handle, SocketAddress* from, void* buffer, int size,
                int waitMilliseconds) {
    if (size <= 0) {
        return 0;
    }
    if (waitMilliseconds != waitForever) {
        switch (sp::waitFor(handle, false, effectiveWait(waitMilliseconds))) {
        case sp::WaitResult::Failed:
            throw SocketException();
        case sp::WaitResult::TimedOut:
            return 0;
        case sp::WaitResult::Ready:
            break;
        }
    }
    int received = sp::receiveSome(handle, buffer, size, from);
    if (received < 0) {
        throwReceiveFailure(lastError());
    }
    if (received == 0) {
        throw NoConnectionException();
    }
    return received;
}

} // namespace

SocketAddress::SocketAddress() : family_(familyInet), port_(0), address_(0) {
    std::memset(zero_, 0, sizeof zero_);
}

void SocketAddress::set(const char* host, int port) {
    address_ = host == nullptr ? 0 : resolveHost(host);
    if (port >= 0) {
        port_ = static_cast<std::uint16_t>(((port & 0xff) << 8) | ((port >> 8) & 0xff));
    }
}

int SocketAddress::port() const {
    return ((port_ & 0xff) << 8) | (port_ >> 8);
}

void startSockets() {
    if (!sp::startup()) {
        throw SocketException();
    }
}

void stopSockets() {
    if (!sp::cleanup()) {
        throw SocketException();
    }
}

ThreadSockets::~ThreadSockets() {
    sp::cleanup();
}

SocketHandle createSocket(bool stream) {
    SocketHandle handle = sp::open(stream);
    if (handle == invalidSocket) {
        throw SocketException();
    }
    return handle;
}

void closeSocket(SocketHandle handle) {
    if (handle != 0 && handle != invalidSocket) {
        sp::close(handle);
    }
}

std::uint32_t resolveHost(const char* name) {
    std::uint32_t address = 0;
    if (name == nullptr || *name == '\0' || !sp::lookupHost(name, address)) {
        throw UnknownHostException();
    }
    return address;
}

void setBlocking(SocketHandle handle, bool blocking) {
    if (!sp::setNonBlocking(handle, !blocking)) {
        throw SocketException();
    }
}

bool waitWritable(SocketHandle handle, int waitMilliseconds) {
    switch (sp::waitFor(handle, true, effectiveWait(waitMilliseconds))) {
    case sp::WaitResult::Ready:
        return true;
    case sp::WaitResult::TimedOut:
        return false;
    case sp::WaitResult::Failed:
        break;
    }
    throw SocketException();
}

int sendAll(SocketHandle handle, const void* data, int length, int waitMilliseconds) {
    return sendWhole(handle, nullptr, data, length, waitMilliseconds);
}

int sendAllTo(SocketHandle handle, const SocketAddress& to, const void* data, int length) {
    return sendWhole(handle, &to, data, length, waitForever);
}

int receive(SocketHandle handle, void* buffer, int size, int waitMilliseconds) {
    return receiveOnce(handle, nullptr, buffer, size, waitMilliseconds);
}

int receiveFrom(SocketHandle handle, SocketAddress& from, void* buffer, int size,
                int waitMilliseconds) {
    return receiveOnce(handle, &from, buffer, size, waitMilliseconds);
}

void connectSocket(SocketHandle handle, const SocketAddress& to, int waitMilliseconds) {
    if (waitMilliseconds == waitForever) {
        if (!sp::connect(handle, to)) {
            throwConnectFailure(lastError());
        }
        return;
    }
    setBlocking(handle, false);
    bool connected = sp::connect(handle, to);
    SocketError error = connected ? SocketError::None : lastError();
    setBlocking(handle, true);
    if (connected) {
        return;
    }
    if (error != SocketError::WouldBlock) {
        throwConnectFailure(error);
    }
    if (!waitWritable(handle, waitMilliseconds)) {
        throw TimeoutException();
    }
    // Writable also means "failed": the outcome is the error the attempt left behind.
    error = reasonOf(sp::pendingErrorCode(handle));
    if (error != SocketError::None) {
        throwConnectFailure(error);
    }
}

std::int64_t nowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t steadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void StreamSocket::close() {
    closeSocket(handle);
    handle = 0;
}

void DatagramSocket::open() {
    close();
    handle = createSocket(false);
    setMulticastTtl(3);
}

void DatagramSocket::setMulticastTtl(int ttl) {
    if (!sp::setMulticastTtl(handle, ttl)) {
        throw SocketException();
    }
}

void DatagramSocket::close() {
    closeSocket(handle);
    handle = 0;
}

} // namespace kestrum
