#pragma once

#include "net/Exception.h"

#include <cstdint>
#include <span>

namespace kestrum {

// The platform's socket number. 0 means "no socket"; the platform's invalid value is all bits set
// on both platforms.
using SocketHandle = std::uintptr_t;
constexpr SocketHandle invalidSocket = ~SocketHandle(0);

// Wait times are milliseconds; -1 waits without limit. Other negative waits count as 0: a
// deadline that has already passed does not wait. On a worker thread every wait of the layer
// notices a stop request within about a tenth of a second and ends with ThreadStopException.
constexpr int waitForever = -1;

// An IPv4 socket address in the platform's 16-byte layout: family, port and address in network
// byte order, 8 zero bytes.
class SocketAddress {
public:
    SocketAddress();
    // A null host gives the any address; a negative port leaves the port unchanged.
    void set(const char* host, int port);

    std::uint16_t family() const { return family_; }
    std::uint16_t portNetworkOrder() const { return port_; }
    std::uint32_t addressNetworkOrder() const { return address_; }
    int port() const; // host byte order
    void setPortNetworkOrder(std::uint16_t port) { port_ = port; }
    void setAddressNetworkOrder(std::uint32_t address) { address_ = address; }

private:
    std::uint16_t family_;
    std::uint16_t port_;
    std::uint32_t address_;
    unsigned char zero_[8];
};
static_assert(sizeof(SocketAddress) == 16);

void startSockets();
void stopSockets();

// The socket layer for one thread's body: started on construction (failure: SocketException),
// released on the way out, where a failure has no one left to tell and is not thrown.
class ThreadSockets {
public:
    ThreadSockets() { startSockets(); }
    ThreadSockets(const ThreadSockets&) = delete;
    ThreadSockets& operator=(const ThreadSockets&) = delete;
    ~ThreadSockets();
};
// The socket is non-blocking: the operations below wait themselves, within their limits.
SocketHandle createSocket(bool stream);
void closeSocket(SocketHandle handle);
// Accepts host names and dotted quads (read without a lookup); returns the first IPv4 address in
// network order. A null or empty name throws UnknownHostException.
std::uint32_t resolveHost(const char* name);
// Four decimal numbers of 0 ... 255 without leading zeros and nothing else; false for anything
// else (names, octal or hexadecimal parts, fewer parts).
bool parseDottedQuad(const char* text, std::uint32_t& addressNetworkOrder);
// A socket switched to blocking makes the operations below block in the system, where no stop
// request and no limit reaches them.
void setBlocking(SocketHandle handle, bool blocking);
// Both are also true when the socket has an error pending (the next call on it reports the error).
bool waitWritable(SocketHandle handle, int waitMilliseconds);
bool waitReadable(SocketHandle handle, int waitMilliseconds);
// The index of one of at most eight sockets that can be read, or -1 when the wait ran out.
int waitReadableAny(std::span<const SocketHandle> handles, int waitMilliseconds);
// A length of 0 or less sends nothing and returns 0. The wait bounds the whole send: a peer that
// does not read it all within the wait makes it throw TimeoutException.
int sendAll(SocketHandle handle, const void* data, int length, int waitMilliseconds = waitForever);
int sendAllTo(SocketHandle handle, const SocketAddress& to, const void* data, int length);
// Data already there is taken without a wait. 0 means the wait ran out (or size was not
// positive); a closed connection throws NoConnectionException.
int receive(SocketHandle handle, void* buffer, int size, int waitMilliseconds);
// A datagram larger than size is cut to size bytes on every platform; the rest is lost.
int receiveFrom(SocketHandle handle, SocketAddress& from, void* buffer, int size,
                int waitMilliseconds);
// With a finite wait, a connect that fails within it is reported as its error (refused:
// ConnectException), one that neither completes nor fails as TimeoutException.
void connectSocket(SocketHandle handle, const SocketAddress& to, int waitMilliseconds);
// Wall-clock milliseconds since 1970.
std::int64_t nowMilliseconds();
// Milliseconds of a clock that never goes back, for time-outs and deadlines: a wall clock set
// back by an hour must not stretch a wait by an hour.
std::int64_t steadyMilliseconds();

// TCP socket holder; not copied, closed by its owner or its destructor.
class StreamSocket {
public:
    StreamSocket() = default;
    StreamSocket(const StreamSocket&) = delete;
    StreamSocket& operator=(const StreamSocket&) = delete;
    ~StreamSocket() { close(); }

    // A handle still open is closed first, so reopening does not leak it.
    void open() {
        close();
        handle = createSocket(true);
    }
    void close();

    SocketHandle handle = 0;
    int waitMilliseconds = 1000;
};

// UDP socket holder; opening (which closes a handle still open) sets a multicast time-to-live
// of 3.
class DatagramSocket {
public:
    DatagramSocket() = default;
    DatagramSocket(const DatagramSocket&) = delete;
    DatagramSocket& operator=(const DatagramSocket&) = delete;
    ~DatagramSocket() { close(); }

    void open();
    void setMulticastTtl(int ttl);
    // Multicast leaves through the interface with this IPv4 address (network order).
    void setMulticastInterface(std::uint32_t interfaceAddress);
    // Binds to port on every local address, sharing it with the sockets that allow sharing.
    // A port held without sharing throws BindException (or SocketException).
    void bindShared(int port);
    // Receives the group's datagrams arriving on the interface with this address (0: the one the
    // system's routes choose).
    void joinGroup(std::uint32_t group, std::uint32_t interfaceAddress);
    void close();

    SocketHandle handle = 0;
    int waitMilliseconds = 1000;
};

} // namespace kestrum
