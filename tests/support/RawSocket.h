#pragma once

// Loopback sockets for test peers, written straight on the platform's socket calls and never on
// the project's own network classes, so that a fault in those cannot hide on both sides of a test.
//
// Setting up (listen, connect, bind) throws std::runtime_error; sending and receiving report by
// their result, so that peers can run on their own threads.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrum::test {

class RawSocket {
public:
    RawSocket() = default;
    RawSocket(RawSocket&& other) noexcept;
    RawSocket& operator=(RawSocket&& other) noexcept;
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;
    ~RawSocket() { close(); }

    // A TCP socket bound to 127.0.0.1 at a port the system chooses (see localPort) that never
    // listens: connections to that port are refused for as long as it stays open.
    static RawSocket bindTcp();
    // A TCP socket listening on 127.0.0.1 at a port the system chooses.
    static RawSocket listenTcp(int backlog = 16);
    // A blocking TCP connection to 127.0.0.1:port.
    static RawSocket connectTcp(int port);
    // A UDP socket bound to 127.0.0.1; port 0 lets the system choose.
    static RawSocket openUdp(int port = 0);
    // A UDP socket on port of every local address, member of the multicast group on the
    // loopback interface. Only for tests inside a network namespace of their own.
    static RawSocket joinMulticastGroup(const char* group, int port);

    bool isOpen() const;
    int localPort() const;
    std::uintptr_t handle() const { return handle_; }
    // Every later wait of this socket ends as a time-out once flag is set.
    void interruptWhen(const std::atomic<bool>& flag) { interrupt_ = &flag; }

    // The next connection within the wait, or a closed RawSocket when none came.
    RawSocket accept(int waitMilliseconds = 5000);

    bool sendAll(std::string_view bytes);
    // One datagram to 127.0.0.1:port.
    bool sendTo(int port, std::string_view bytes);
    // One datagram to a multicast group (only inside a test's own network namespace).
    bool sendToGroup(const char* group, int port, std::string_view bytes);

    // Bytes already read past a marker are returned first by every receive below.

    // At most size bytes: the count (> 0), 0 when the connection ended (closed or failed), -1 on
    // time-out.
    int receive(void* buffer, int size, int waitMilliseconds);
    // Everything up to and including marker; less when the peer closed or the wait ran out.
    std::string receiveUntil(std::string_view marker, int waitMilliseconds = 5000);
    // Exactly count bytes; less when the peer closed or the wait ran out.
    std::string receiveExactly(std::size_t count, int waitMilliseconds = 5000);
    // Everything until the peer closes, or until the wait runs out.
    std::string receiveUntilClosed(int waitMilliseconds = 5000);
    // One datagram (empty when none came within the wait); the sender's port goes to fromPort.
    std::string receiveDatagram(int waitMilliseconds = 5000, int* fromPort = nullptr);

    // Ends our direction of a TCP connection: the peer reads the end of the stream.
    void shutdownSend();
    // Closes a TCP connection with a reset instead of an orderly end.
    void resetConnection();
    void close();

private:
    explicit RawSocket(std::uintptr_t handle) : handle_(handle) {}
    // Waits for readability within what is left until the deadline (steady milliseconds).
    bool readableBefore(std::int64_t deadline);
    // Appends what one receive brings to pending_; false when closed, failed or timed out.
    bool fillPending(std::int64_t deadline);
    std::string takePending(std::size_t count);

    static constexpr std::uintptr_t invalid = ~std::uintptr_t(0);
    std::uintptr_t handle_ = invalid;
    std::string pending_;
    const std::atomic<bool>* interrupt_ = nullptr;
};

// A port on 127.0.0.1 on which nothing listens: one the system just handed out and took back.
int closedPort();

} // namespace kestrum::test
