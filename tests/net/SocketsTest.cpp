#include "net/Sockets.h"

#include "net/ThreadWait.h"
#include "tests/support/RawSocket.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kestrum::test {
namespace {

// Fails locally: the space makes it no valid host name, so no resolver is asked.
constexpr const char* unresolvableName = "no such host.invalid";

std::int64_t elapsedSince(std::chrono::steady_clock::time_point start) {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

SocketAddress loopback(int port) {
    SocketAddress address;
    address.set("127.0.0.1", port);
    return address;
}

class SocketsTest : public testing::Test {
protected:
    void SetUp() override { startSockets(); }
    void TearDown() override { stopSockets(); }

    // A StreamSocket connected to `peer`, the accepted end of a loopback listener.
    void connectPair(StreamSocket& socket, RawSocket& peer, int waitMilliseconds = waitForever) {
        RawSocket listener = RawSocket::listenTcp();
        socket.open();
        connectSocket(socket.handle, loopback(listener.localPort()), waitMilliseconds);
        peer = listener.accept();
        ASSERT_TRUE(peer.isOpen());
    }
};

// A worker's way out releases the socket layer; a release that fails (under Windows, one too
// many) must not throw there.
TEST_F(SocketsTest, ThreadSocketsNeverThrowsOnTheWayOut) {
    EXPECT_NO_THROW({
        ThreadSockets sockets;
        stopSockets();
        stopSockets();
    });
    startSockets(); // for the fixture's own release
}

TEST_F(SocketsTest, AddressHasThePlatformLayoutAndNetworkByteOrder) {
    SocketAddress address;
    unsigned char bytes[16];
    std::memcpy(bytes, &address, sizeof bytes);
    const unsigned char fresh[16] = {2, 0};
    EXPECT_EQ(0, std::memcmp(bytes, fresh, sizeof bytes)); // family 2 (little end), rest zero

    address.set("127.0.0.1", 8080);
    std::memcpy(bytes, &address, sizeof bytes);
    const unsigned char set[16] = {2, 0, 0x1f, 0x90, 127, 0, 0, 1};
    EXPECT_EQ(0, std::memcmp(bytes, set, sizeof bytes));
    EXPECT_EQ(8080, address.port());
}

TEST_F(SocketsTest, NullHostGivesAnyAddressAndNegativePortKeepsThePort) {
    SocketAddress address;
    address.set("127.0.0.1", 1900);
    address.set(nullptr, -1);
    EXPECT_EQ(0u, address.addressNetworkOrder());
    EXPECT_EQ(1900, address.port());
    address.set(nullptr, 0);
    EXPECT_EQ(0, address.port());
    address.set(nullptr, 65535);
    EXPECT_EQ(65535, address.port());
}

TEST_F(SocketsTest, ResolvesDottedQuadsAndLocalNames) {
    const std::uint32_t expected = loopback(0).addressNetworkOrder();
    unsigned char bytes[4];
    std::memcpy(bytes, &expected, sizeof bytes);
    EXPECT_EQ(127, bytes[0]);
    EXPECT_EQ(1, bytes[3]);
    EXPECT_EQ(expected, resolveHost("localhost"));
}

TEST_F(SocketsTest, DottedQuadsAreReadAsTheyStand) {
    const struct {
        const char* text;
        unsigned char bytes[4];
    } quads[] = {
        {"192.168.77.1", {192, 168, 77, 1}},
        {"0.0.0.0", {0, 0, 0, 0}},
        {"255.255.255.255", {255, 255, 255, 255}},
        {"10.0.200.9", {10, 0, 200, 9}},
    };
    for (const auto& quad : quads) {
        std::uint32_t expected = 0;
        std::memcpy(&expected, quad.bytes, sizeof expected);
        EXPECT_EQ(expected, resolveHost(quad.text)) << quad.text;
    }
}

TEST_F(SocketsTest, NamesThatCannotResolveThrowUnknownHost) {
    EXPECT_THROW(resolveHost(unresolvableName), UnknownHostException);
    EXPECT_THROW(resolveHost(""), UnknownHostException);
    EXPECT_THROW(resolveHost(nullptr), UnknownHostException);
    SocketAddress address;
    address.set("127.0.0.1", 80);
    EXPECT_THROW(address.set(unresolvableName, 81), UnknownHostException);
}

TEST_F(SocketsTest, ClosingNothingDoesNothing) {
#ifndef _WIN32
    const bool inputOpen = ::fcntl(0, F_GETFD) != -1;
#endif
    closeSocket(0);
    closeSocket(invalidSocket);
    { StreamSocket never; }
    { DatagramSocket never; }
#ifndef _WIN32
    EXPECT_EQ(inputOpen, ::fcntl(0, F_GETFD) != -1);
#endif
}

#ifndef _WIN32
TEST_F(SocketsTest, NeverHandsOutDescriptorZero) {
    // With standard input closed the system offers descriptor 0, which holders read as none.
    const int savedInput = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
    ::close(0);
    SocketHandle handle = 0;
    EXPECT_NO_THROW(handle = createSocket(true));
    EXPECT_NE(0u, handle);
    EXPECT_EQ(-1, ::fcntl(0, F_GETFD));
    closeSocket(handle);
    if (savedInput >= 0) {
        ::dup2(savedInput, 0);
        ::close(savedInput);
    }
}
#endif

TEST_F(SocketsTest, StreamSocketCarriesBytesBothWaysAndClosesOnDestruction) {
    RawSocket peer;
    {
        StreamSocket socket;
        EXPECT_EQ(1000, socket.waitMilliseconds);
        ASSERT_NO_FATAL_FAILURE(connectPair(socket, peer));
        EXPECT_NE(0u, socket.handle);
        EXPECT_EQ(5, sendAll(socket.handle, "hello", 5));
        EXPECT_EQ("hello", peer.receiveExactly(5));

        ASSERT_TRUE(peer.sendAll("0123456789"));
        char buffer[16] = {};
        // One receive never takes more than its buffer holds.
        EXPECT_EQ(4, receive(socket.handle, buffer, 4, 5000));
        EXPECT_EQ(0, std::memcmp(buffer, "0123", 4));
        std::string rest;
        while (rest.size() < 6) {
            int count = receive(socket.handle, buffer, sizeof buffer, 5000);
            ASSERT_GT(count, 0);
            rest.append(buffer, static_cast<std::size_t>(count));
        }
        EXPECT_EQ("456789", rest);
    }
    char byte;
    EXPECT_EQ(0, peer.receive(&byte, 1, 5000)); // the holder's destructor closed it
}

TEST_F(SocketsTest, ReceiveReportsAnEmptyWaitAsZeroAndStaysUsable) {
    StreamSocket socket;
    RawSocket peer;
    ASSERT_NO_FATAL_FAILURE(connectPair(socket, peer));
    char buffer[8];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, receive(socket.handle, buffer, sizeof buffer, 0));
    EXPECT_EQ(0, receive(socket.handle, buffer, sizeof buffer, -5)); // a passed deadline
    EXPECT_LT(elapsedSince(start), 1000);
    EXPECT_EQ(0, receive(socket.handle, buffer, sizeof buffer, 100));

    ASSERT_TRUE(peer.sendAll("x"));
    EXPECT_EQ(0, receive(socket.handle, buffer, 0, 1000)); // no room: nothing taken
    EXPECT_EQ(1, receive(socket.handle, buffer, sizeof buffer, waitForever));
    EXPECT_EQ('x', buffer[0]);
}

TEST_F(SocketsTest, BlockingReceiveWaitsForDataThatComesLater) {
    StreamSocket socket;
    RawSocket peer;
    ASSERT_NO_FATAL_FAILURE(connectPair(socket, peer));
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        peer.sendAll("late");
    });
    char buffer[8];
    int count = receive(socket.handle, buffer, sizeof buffer, waitForever);
    late.join();
    ASSERT_GT(count, 0);
    EXPECT_EQ('l', buffer[0]);
}

TEST_F(SocketsTest, PeerCloseThrowsNoConnectionWithAndWithoutWait) {
    for (int wait : {1000, waitForever}) {
        StreamSocket socket;
        RawSocket peer;
        ASSERT_NO_FATAL_FAILURE(connectPair(socket, peer));
        ASSERT_TRUE(peer.sendAll("last"));
        peer.close();
        char buffer[16];
        // Data sent before the close still arrives; only then the end shows.
        EXPECT_EQ(4, receive(socket.handle, buffer, sizeof buffer, wait));
        EXPECT_THROW(receive(socket.handle, buffer, sizeof buffer, wait), NoConnectionException);
    }
}

TEST_F(SocketsTest, SendingNothingDoesNotTouchTheSocket) {
    EXPECT_EQ(0, sendAll(invalidSocket, nullptr, 0));
    EXPECT_EQ(0, sendAll(invalidSocket, "abc", -3));
    EXPECT_EQ(0, sendAllTo(invalidSocket, loopback(9), nullptr, 0));
}

TEST_F(SocketsTest, SendAllDeliversALargeBufferWholeToASlowReader) {
    StreamSocket socket;
    RawSocket peer;
    ASSERT_NO_FATAL_FAILURE(connectPair(socket, peer));
    std::string data(4 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 4096);
    std::string arrived;
    std::thread reader([&] { arrived = peer.receiveExactly(data.size(), 30000); });
    EXPECT_EQ(static_cast<int>(data.size()),
              sendAll(socket.handle, data.data(), static_cast<int>(data.size())));
    reader.join();
    EXPECT_TRUE(arrived == data);
}

// More than any loopback connection buffers, so that only a reader lets the send end.
const std::string& unbufferedAmount() {
    static const std::string data(48 * 1024 * 1024, 'u');
    return data;
}

TEST_F(SocketsTest, SendWithAWaitDeliversToAReaderAndGivesUpOnAPeerThatNeverReads) {
    const std::string& data = unbufferedAmount();
    const int length = static_cast<int>(data.size());
    {
        StreamSocket socket;
        RawSocket peer;
        ASSERT_NO_FATAL_FAILURE(connectPair(socket, peer));
        std::string arrived;
        std::thread reader([&] { arrived = peer.receiveExactly(data.size(), 120000); });
        EXPECT_EQ(length, sendAll(socket.handle, data.data(), length, 120000));
        reader.join();
        EXPECT_TRUE(arrived == data);
    }
    StreamSocket socket;
    RawSocket silent;
    ASSERT_NO_FATAL_FAILURE(connectPair(socket, silent));
    EXPECT_THROW(sendAll(socket.handle, data.data(), length, 300), TimeoutException);
    // The socket stays usable: a receive without limit waits for what comes.
    char byte;
    ASSERT_TRUE(silent.sendAll("x"));
    EXPECT_EQ(1, receive(socket.handle, &byte, 1, waitForever));
}

TEST_F(SocketsTest, SendingToAResetConnectionThrowsInsteadOfKillingTheProcess) {
    StreamSocket socket;
    RawSocket peer;
    ASSERT_NO_FATAL_FAILURE(connectPair(socket, peer));
    peer.resetConnection();
    std::string chunk(64 * 1024, 'r');
    bool thrown = false;
    for (int attempt = 0; attempt < 50 && !thrown; ++attempt) {
        try {
            sendAll(socket.handle, chunk.data(), static_cast<int>(chunk.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } catch (const SocketException&) {
            thrown = true;
        }
    }
    EXPECT_TRUE(thrown);
}

TEST_F(SocketsTest, ConnectWithAndWithoutTimeOutSucceedsToAListener) {
    for (int wait : {waitForever, 0, 5000}) {
        StreamSocket socket;
        RawSocket peer;
        ASSERT_NO_FATAL_FAILURE(connectPair(socket, peer, wait));
        // A receive without limit waits for the data.
        ASSERT_TRUE(peer.sendAll("ok"));
        char buffer[2];
        EXPECT_EQ(2, receive(socket.handle, buffer, sizeof buffer, waitForever));
        EXPECT_TRUE(waitWritable(socket.handle, 0));
    }
}

TEST_F(SocketsTest, ConnectToAClosedPortIsRefusedPromptly) {
    const SocketAddress closed = loopback(closedPort());
    for (int wait : {waitForever, 10000}) {
        StreamSocket socket;
        socket.open();
        auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(connectSocket(socket.handle, closed, wait), ConnectException);
        EXPECT_LT(elapsedSince(start), 5000) << "wait " << wait;
    }
}

TEST_F(SocketsTest, ConnectThatIsNeitherMadeNorRefusedTimesOut) {
    // A listener that never accepts, with the smallest backlog: once its queue is full the
    // system drops further connection attempts without an answer.
    RawSocket listener = RawSocket::listenTcp(0);
    const SocketAddress address = loopback(listener.localPort());
    std::vector<StreamSocket> made(16);
    for (StreamSocket& socket : made) {
        socket.open();
        auto start = std::chrono::steady_clock::now();
        try {
            connectSocket(socket.handle, address, 300);
        } catch (const TimeoutException&) {
            EXPECT_GE(elapsedSince(start), 250);
            return;
        }
    }
    GTEST_SKIP() << "this platform completes every connection to a listener that never accepts";
}

// What a worker's runtime installs on its thread: a stop flag that the socket layer watches
// while it waits.
class StopFlag final : public ThreadWait {
public:
    StopFlag() { installThreadWait(this); }
    StopFlag(const StopFlag&) = delete;
    StopFlag& operator=(const StopFlag&) = delete;
    ~StopFlag() { installThreadWait(nullptr); }

    bool sleep(std::uint32_t milliseconds) override {
        sleepPlainly(milliseconds);
        return false;
    }
    bool stopRequested() override { return raised.load(); }

    std::atomic<bool> raised{false};
};

TEST_F(SocketsTest, AStopEndsEveryLongWaitPromptlyAndIsNoNetworkFailure) {
    StreamSocket socket;
    RawSocket silent;
    ASSERT_NO_FATAL_FAILURE(connectPair(socket, silent));
    const std::string& data = unbufferedAmount();
    // Connections to a listener that never accepts hang once its queue is full.
    RawSocket crowded = RawSocket::listenTcp(0);
    std::vector<StreamSocket> queued(16);
    bool queueFull = false;
    for (StreamSocket& waiting : queued) {
        waiting.open();
        try {
            connectSocket(waiting.handle, loopback(crowded.localPort()), 300);
        } catch (const TimeoutException&) {
            queueFull = true;
            break;
        }
    }
    StreamSocket hanging;
    hanging.open();
    char byte = 0;
    struct Wait {
        const char* name;
        std::function<void()> operation;
    };
    std::vector<Wait> waits = {
        {"receive without limit", [&] { receive(socket.handle, &byte, 1, waitForever); }},
        {"receive within a minute", [&] { receive(socket.handle, &byte, 1, 60000); }},
        {"send to a peer that never reads",
         [&] { sendAll(socket.handle, data.data(), static_cast<int>(data.size())); }},
    };
    // Some platforms complete every connection to such a listener.
    if (queueFull) {
        waits.push_back({"connect that is neither made nor refused", [&] {
                             connectSocket(hanging.handle, loopback(crowded.localPort()), 60000);
                         }});
    }
    for (const auto& wait : waits) {
        StopFlag stop;
        std::thread stopper([&stop] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            stop.raised = true;
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(wait.operation(), ThreadStopException) << wait.name;
        stopper.join();
        EXPECT_LT(elapsedSince(start), 2000) << wait.name;
    }
}

TEST_F(SocketsTest, DatagramsTravelBothWaysWithTheSenderAddress) {
    RawSocket peer = RawSocket::openUdp();
    DatagramSocket socket;
    socket.open();
    EXPECT_EQ(1000, socket.waitMilliseconds);
    socket.setMulticastTtl(4);
    const std::string request = "M-SEARCH * HTTP/1.1\r\n\r\n";
    EXPECT_EQ(static_cast<int>(request.size()),
              sendAllTo(socket.handle, loopback(peer.localPort()), request.data(),
                        static_cast<int>(request.size())));
    int replyPort = 0;
    EXPECT_EQ(request, peer.receiveDatagram(5000, &replyPort));

    SocketAddress from;
    char buffer[64];
    EXPECT_EQ(0, receiveFrom(socket.handle, from, buffer, sizeof buffer, 0));
    ASSERT_TRUE(peer.sendTo(replyPort, "HTTP/1.1 200 OK\r\n\r\n"));
    EXPECT_EQ(19, receiveFrom(socket.handle, from, buffer, sizeof buffer, 5000));
    EXPECT_EQ(peer.localPort(), from.port());
    EXPECT_EQ(loopback(0).addressNetworkOrder(), from.addressNetworkOrder());

    // A datagram larger than the buffer is cut to it on every platform; the rest is lost, and
    // the next datagram comes whole.
    ASSERT_TRUE(peer.sendTo(replyPort, std::string(100, 'L')));
    ASSERT_TRUE(peer.sendTo(replyPort, "next"));
    from = SocketAddress();
    char small[10] = {};
    EXPECT_EQ(10, receiveFrom(socket.handle, from, small, sizeof small, 5000));
    EXPECT_EQ(std::string(10, 'L'), std::string(small, sizeof small));
    EXPECT_EQ(peer.localPort(), from.port());
    EXPECT_EQ(4, receiveFrom(socket.handle, from, buffer, sizeof buffer, 5000));
    EXPECT_EQ("next", std::string(buffer, 4));

    socket.close();
    EXPECT_EQ(0u, socket.handle);
}

TEST_F(SocketsTest, FailedCallsOnABadHandleThrowSocketException) {
    StreamSocket socket;
    socket.open();
    const SocketHandle stale = socket.handle;
    socket.close();
    char buffer[4];
    EXPECT_THROW(receive(stale, buffer, sizeof buffer, 0), SocketException);
    EXPECT_THROW(setBlocking(stale, false), SocketException);
    EXPECT_THROW(waitWritable(stale, 0), SocketException);
    DatagramSocket datagram;
    datagram.handle = stale;
    EXPECT_THROW(datagram.setMulticastTtl(4), SocketException);
    datagram.handle = 0;
}

TEST(ClockTest, NowMillisecondsIsWallClockTime) {
    const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr)) * 1000;
    const std::int64_t now = nowMilliseconds();
    // time() may read a coarse clock that lags the precise one by a tick, across a second's edge.
    const std::int64_t after = static_cast<std::int64_t>(std::time(nullptr)) * 1000 + 2000;
    EXPECT_GE(now, before);
    EXPECT_LT(now, after);
}

} // namespace
} // namespace kestrum::test
