#include "net/Sockets.h"

#include "net/SocketPlatform.h"
#include "net/ThreadWait.h"

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

// A worker asked to stop must not sit out a long wait: waits go in slices of this length, and a
// stop seen between them ends the wait with ThreadStopException. An answer that is there ends a
// slice at once, so a prompt peer never sees the slices.
constexpr int stopSliceMilliseconds = 100;

// waitSlice(milliseconds) is one wait of the platform, -1 meaning no limit.
template <typename Wait>
sp::WaitResult waitWatchingStop(int waitMilliseconds, const Wait& waitSlice) {
    const bool bounded = waitMilliseconds != waitForever;
    const std::int64_t deadline = steadyMilliseconds() + effectiveWait(waitMilliseconds);
    for (;;) {
        if (stopRequestedOnThisThread()) {
            throw ThreadStopException();
        }
        int slice = stopSliceMilliseconds;
        bool last = false;
        if (bounded) {
            const std::int64_t left = deadline - steadyMilliseconds();
            last = left <= stopSliceMilliseconds;
            slice = last ? static_cast<int>(left > 0 ? left : 0) : stopSliceMilliseconds;
        }
        const sp::WaitResult result = waitSlice(slice);
        if (result != sp::WaitResult::TimedOut || last) {
            return result;
        }
    }
}

sp::WaitResult waitWatchingStop(SocketHandle handle, bool write, int waitMilliseconds) {
    return waitWatchingStop(
        waitMilliseconds, [handle, write](int slice) { return sp::waitFor(handle, write, slice); });
}

// Ready and ErrorPending: the next call on the socket tells which.
bool waitReady(SocketHandle handle, bool write, int waitMilliseconds) {
    switch (waitWatchingStop(handle, write, waitMilliseconds)) {
    case sp::WaitResult::Ready:
    case sp::WaitResult::ErrorPending:
        return true;
    case sp::WaitResult::TimedOut:
        return false;
    case sp::WaitResult::Failed:
        break;
    }
    throw SocketException();
}

// Sends the whole buffer, each piece to `to` when it is set, within the wait. The sockets are
// non-blocking: a send is tried first and waits for room only when there is none.
int sendWhole(SocketHandle handle, const SocketAddress* to, const void* data, int length,
              int waitMilliseconds) {
    if (length <= 0) {
        return 0;
    }
    const bool bounded = waitMilliseconds != waitForever;
    const std::int64_t deadline = steadyMilliseconds() + effectiveWait(waitMilliseconds);
    const char* bytes = static_cast<const char*>(data);
    int total = 0;
    while (total < length) {
        int sent = sp::sendSome(handle, bytes + total, length - total, to);
        if (sent >= 0) {
            total += sent;
            continue;
        }
        const SocketError error = lastError();
        if (error != SocketError::WouldBlock) {
            throwSendFailure(error);
        }
        int wait = waitForever;
        if (bounded) {
            const std::int64_t left = deadline - steadyMilliseconds();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        if (!waitReady(handle, true, wait)) {
            throw TimeoutException();
        }
    }
    return total;
}

// Tries the receive first: data already there needs no wait before it.
int receiveOnce(SocketHandle handle, SocketAddress* from, void* buffer, int size,
                int waitMilliseconds) {
    if (size <= 0) {
        return 0;
    }
    int received = sp::receiveSome(handle, buffer, size, from);
    if (received < 0 && lastError() == SocketError::WouldBlock) {
        if (!waitReady(handle, false, waitMilliseconds)) {
            return 0;
        }
        received = sp::receiveSome(handle, buffer, size, from);
    }
    if (received < 0) {
        const SocketError error = lastError();
        // Readable yet nothing to read: a datagram dropped for its checksum, for one.
        if (error == SocketError::WouldBlock) {
            return 0;
        }
        throwReceiveFailure(error);
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

bool parseDottedQuad(const char* text, std::uint32_t& addressNetworkOrder) {
    unsigned char parts[4];
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *p++ != '.') {
            return false;
        }
        const char* first = p;
        unsigned value = 0;
        while (*p >= '0' && *p <= '9' && p - first < 3) {
            value = value * 10 + static_cast<unsigned>(*p++ - '0');
        }
        const auto digits = p - first;
        if (digits == 0 || value > 255 || (digits > 1 && *first == '0')) {
            return false;
        }
        parts[part] = static_cast<unsigned char>(value);
    }
    if (*p != '\0') {
        return false;
    }
    std::memcpy(&addressNetworkOrder, parts, sizeof parts);
    return true;
}

std::uint32_t resolveHost(const char* name) {
    std::uint32_t address = 0;
    if (name == nullptr || *name == '\0') {
        throw UnknownHostException();
    }
    // A numeric address, the usual case of a gateway's URLs, needs no lookup.
    if (parseDottedQuad(name, address)) {
        return address;
    }
    if (!sp::lookupHost(name, address)) {
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
    return waitReady(handle, true, waitMilliseconds);
}

bool waitReadable(SocketHandle handle, int waitMilliseconds) {
    return waitReady(handle, false, waitMilliseconds);
}

int waitReadableAny(std::span<const SocketHandle> handles, int waitMilliseconds) {
    int ready = -1;
    const sp::WaitResult result = waitWatchingStop(
        waitMilliseconds, [&](int slice) { return sp::waitForAnyReadable(handles, slice, ready); });
    if (result == sp::WaitResult::Failed) {
        throw SocketException();
    }
    return result == sp::WaitResult::TimedOut ? -1 : ready;
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
    if (sp::connect(handle, to)) {
        return;
    }
    const SocketError error = lastError();
    if (error != SocketError::WouldBlock) {
        throwConnectFailure(error);
    }
    // Without a limit the wait lasts until the system gives up on the connect, which then shows
    // as the socket's error.
    switch (waitWatchingStop(handle, true, waitMilliseconds)) {
    case sp::WaitResult::Ready:
        return;
    case sp::WaitResult::TimedOut:
        throw TimeoutException();
    case sp::WaitResult::Failed:
        throw SocketException();
    case sp::WaitResult::ErrorPending:
        break;
    }
    const int pending = sp::pendingErrorCode(handle);
    if (pending == 0) {
        return;
    }
    throwConnectFailure(pending < 0 ? SocketError::Other : reasonOf(pending));
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

void DatagramSocket::setMulticastInterface(std::uint32_t interfaceAddress) {
    if (!sp::setMulticastInterface(handle, interfaceAddress)) {
        throw SocketException();
    }
}

void DatagramSocket::bindShared(int port) {
    SocketAddress any;
    any.set(nullptr, port);
    if (!sp::setReuseAddress(handle)) {
        throw SocketException();
    }
    if (!sp::bind(handle, any)) {
        if (lastError() == SocketError::AddressInUse) {
            throw BindException();
        }
        throw SocketException();
    }
}

void DatagramSocket::joinGroup(std::uint32_t group, std::uint32_t interfaceAddress) {
    if (!sp::joinMulticastGroup(handle, group, interfaceAddress)) {
        throw SocketException();
    }
}

void DatagramSocket::close() {
    closeSocket(handle);
    handle = 0;
}

} // namespace kestrum
