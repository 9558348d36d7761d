#include "http/ProxyClient.h"

#include "http/HttpClient.h"
#include "tests/http/HttpTestServer.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/StringPrinter.h"

#include <chrono>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>
#include <thread>
#include <vector>

namespace kestrum::test {
namespace {

class RecordingListener : public ProxyListener {
public:
    void onConnecting() override { events += "connecting "; }
    void onConnected() override { events += "connected "; }
    void onNegotiating() override { events += "negotiating "; }
    void onEstablished() override { events += "established "; }

    std::string events;
};

// Binary message text: bytes({4, 1, 0, 80}).
std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (const int value : values) {
        text += static_cast<char>(value);
    }
    return text;
}

const std::string allEvents = "connecting connected negotiating established ";
const std::string allButEstablished = "connecting connected negotiating ";

// A SOCKS proxy's side of a handshake: read so many bytes, then answer with these.
struct Step {
    std::size_t read;
    std::string reply;
};

// Plays the steps, then relays to relayPort, or with relayPort 0 waits for the client to go.
ScriptedPeer::Script socksProxy(std::vector<Step> steps, int relayPort = 0) {
    return [steps = std::move(steps), relayPort](PeerConnection& connection) {
        for (const Step& step : steps) {
            if (connection.read(step.read).size() < step.read) {
                return;
            }
            connection.send(step.reply);
        }
        if (relayPort != 0) {
            connection.relayTo(relayPort);
        } else {
            connection.waitForClose();
        }
    };
}

// An HTTP proxy: reads the CONNECT head, sends the reply in pieces, then relays or waits.
ScriptedPeer::Script httpProxy(std::vector<std::string> replyPieces, int relayPort = 0) {
    return [pieces = std::move(replyPieces), relayPort](PeerConnection& connection) {
        connection.readUntil("\r\n\r\n");
        for (const std::string& piece : pieces) {
            connection.send(piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (relayPort != 0) {
            connection.relayTo(relayPort);
        } else {
            connection.waitForClose();
        }
    };
}

std::string portBytes(int port) {
    return bytes({port >> 8, port & 0xFF});
}

// A label longer than 63 bytes is refused by the resolver itself, so the name fails to resolve
// without a lookup ever leaving the machine.
const std::string unresolvableName = "gateway-" + std::string(60, 'x') + ".test";

class ProxyClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        startSockets();
        proxy.listener = &listener;
        socket.open();
        socket.waitMilliseconds = 3000;
    }
    void TearDown() override {
        socket.close();
        stopSockets();
    }

    ScriptedPeer& peer(ScriptedPeer::Script script) {
        peers_.push_back(std::make_unique<ScriptedPeer>(
            std::move(script), PeerOptions{.connections = 1, .acceptMilliseconds = 10000}));
        return *peers_.back();
    }
    ScriptedPeer& echoServer() {
        return peer([](PeerConnection& connection) { connection.echo(); });
    }

    // The class of what connect threw, or "established".
    std::string connect(int type, int proxyPort, const String& destination = "127.0.0.1",
                        int destinationPort = 5431) {
        try {
            proxy.connect(socket, destination, destinationPort, "127.0.0.1", proxyPort, type);
            return "established";
        } catch (const ProxyClient::ProxyException&) {
            return "ProxyException";
        } catch (const ProxyClient::HostException&) {
            return "HostException";
        } catch (const ConnectException&) {
            return "ConnectException";
        } catch (const Exception&) {
            return "other Exception";
        }
    }

    // What the peer read, once the client has gone.
    std::string receivedBy(ScriptedPeer& server) {
        socket.close();
        return server.received();
    }

    // The stream reaches the echo server and carries nothing but its bytes.
    void expectEchoStream() {
        const std::string ping = "ping through";
        sendAll(socket.handle, ping.data(), static_cast<int>(ping.size()));
        std::string echoed;
        char buffer[64];
        while (echoed.size() < ping.size()) {
            const int n = receive(socket.handle, buffer, sizeof buffer, 3000);
            ASSERT_GT(n, 0);
            echoed.append(buffer, static_cast<std::size_t>(n));
        }
        EXPECT_EQ(echoed, ping);
    }

    // Members are destroyed in reverse order: the client socket closes before the peers wait.
    std::vector<std::unique_ptr<ScriptedPeer>> peers_;
    RecordingListener listener;
    ProxyClient proxy;
    StreamSocket socket;
};

TEST_F(ProxyClientTest, DirectConnectsToTheDestinationAndReportsEveryStep) {
    ScriptedPeer& echo = echoServer();
    ASSERT_EQ(connect(ProxyClient::Direct, 0, "127.0.0.1", echo.port()), "established");
    EXPECT_EQ(listener.events, allEvents);
    EXPECT_EQ(proxy.lastError, "");
    expectEchoStream();
}

TEST_F(ProxyClientTest, DirectLetsSocketFailuresThroughUnchanged) {
    EXPECT_EQ(connect(ProxyClient::Direct, 0, "127.0.0.1", closedPort()), "ConnectException");
    EXPECT_EQ(listener.events, allButEstablished);
    EXPECT_EQ(proxy.lastError, "");
}

TEST_F(ProxyClientTest, ConnectKeepsItsArgumentsAndOnlyTheTypesLowByteCounts) {
    ScriptedPeer& echo = echoServer();
    ASSERT_EQ(connect(0x300, 4321, "127.0.0.1", echo.port()), "established"); // low byte 0
    EXPECT_EQ(proxy.type, 0x300);
    EXPECT_EQ(proxy.destHost, "127.0.0.1");
    EXPECT_EQ(proxy.destPort, echo.port());
    EXPECT_EQ(proxy.proxyHost, "127.0.0.1");
    EXPECT_EQ(proxy.proxyPort, 4321);
}

TEST_F(ProxyClientTest, WithoutAListenerNothingIsNotified) {
    ScriptedPeer& echo = echoServer();
    proxy.listener = nullptr;
    ASSERT_EQ(connect(ProxyClient::Direct, 0, "127.0.0.1", echo.port()), "established");
    EXPECT_EQ(listener.events, "");
}

TEST_F(ProxyClientTest, UnknownTypeIsRefusedWithoutTouchingTheNetwork) {
    EXPECT_EQ(connect(7, closedPort()), "ProxyException");
    EXPECT_EQ(proxy.lastError, "Failed: Unknown proxy type #7");
    EXPECT_EQ(connect(0x1FF, closedPort()), "ProxyException");
    EXPECT_EQ(proxy.lastError, "Failed: Unknown proxy type #255");
    EXPECT_EQ(listener.events, "");
}

TEST_F(ProxyClientTest, LastErrorIsEmptiedByTheNextConnect) {
    EXPECT_EQ(connect(9, closedPort()), "ProxyException");
    EXPECT_NE(proxy.lastError, "");
    ScriptedPeer& echo = echoServer();
    ASSERT_EQ(connect(ProxyClient::Direct, 0, "127.0.0.1", echo.port()), "established");
    EXPECT_EQ(proxy.lastError, "");
}

TEST_F(ProxyClientTest, HttpConnectSendsTheRequestAndHandsOverTheStream) {
    ScriptedPeer& echo = echoServer();
    ScriptedPeer& server =
        peer(httpProxy({"HTTP/1.0 200 Connection established\r\n\r\n"}, echo.port()));
    ASSERT_EQ(connect(ProxyClient::HttpConnect, server.port(), "127.0.0.1", echo.port()),
              "established");
    EXPECT_EQ(proxy.lastError, "Connection established");
    EXPECT_EQ(listener.events, allEvents);
    expectEchoStream();
    EXPECT_EQ(receivedBy(server),
              "CONNECT 127.0.0.1:" + std::to_string(echo.port()) + " HTTP/1.0\r\n\r\n");
}

TEST_F(ProxyClientTest, HttpConnectConsumesTheWholeReplyHeadEvenInPieces) {
    socket.waitMilliseconds = 20000; // the head is read a byte at a time; emulators are slow
    ScriptedPeer& echo = echoServer();
    ScriptedPeer& server = peer(httpProxy({"HTTP/1.1 200 OK\r\n", "Proxy-Agent: test\r\n",
                                           "X-Long: " + std::string(1500, 'a') + "\r", "\n\r\n"},
                                          echo.port()));
    ASSERT_EQ(connect(ProxyClient::HttpConnect, server.port()), "established");
    EXPECT_EQ(proxy.lastError, "OK");
    expectEchoStream();
}

TEST_F(ProxyClientTest, HttpConnectRefusalKeepsTheReasonPhrase) {
    ScriptedPeer& server = peer(httpProxy({"HTTP/1.0 407 Proxy Authentication Required\r\n"
                                           "Proxy-Authenticate: Basic realm=\"x\"\r\n\r\n"}));
    EXPECT_EQ(connect(ProxyClient::HttpConnect, server.port()), "ProxyException");
    EXPECT_EQ(proxy.lastError, "Proxy Authentication Required");
    EXPECT_EQ(listener.events, allButEstablished);
}

TEST_F(ProxyClientTest, HttpConnectUnreadableRepliesQuoteWhatArrived) {
    struct Case {
        std::string reply;
        std::string lastError;
    };
    const Case cases[] = {
        {"garbage\r\n\r\n", "Invalid response from HTTP Proxy :'garbage\r\n\r\n'"},
        {" 200 OK\r\n\r\n", "Invalid response from HTTP Proxy :' 200 OK\r\n\r\n'"},
        {"HTTP/1.0 200\r\n\r\n", "Invalid response from HTTP Proxy :'HTTP/1.0 200\r\n\r\n'"},
    };
    for (const Case& c : cases) {
        ScriptedPeer& server = peer(httpProxy({c.reply}));
        socket.close();
        socket.open();
        EXPECT_EQ(connect(ProxyClient::HttpConnect, server.port()), "ProxyException") << c.reply;
        EXPECT_STREQ(proxy.lastError.c_str(), c.lastError.c_str());
    }
}

TEST_F(ProxyClientTest, HttpConnectSilentProxyGivesAnEmptyInvalidReplyAfterTheWait) {
    socket.waitMilliseconds = 300;
    ScriptedPeer& server = peer(httpProxy({}));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connect(ProxyClient::HttpConnect, server.port()), "ProxyException");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(proxy.lastError, "Invalid response from HTTP Proxy :''");
}

TEST_F(ProxyClientTest, HttpConnectTransportFailuresLeaveLastErrorEmpty) {
    EXPECT_EQ(connect(ProxyClient::HttpConnect, closedPort()), "ProxyException");
    EXPECT_EQ(proxy.lastError, "");
    EXPECT_EQ(listener.events, "connecting ");

    ScriptedPeer& closing =
        peer([](PeerConnection& connection) { connection.readUntil("\r\n\r\n"); });
    socket.close();
    socket.open();
    EXPECT_EQ(connect(ProxyClient::HttpConnect, closing.port()), "ProxyException");
    EXPECT_EQ(proxy.lastError, "");
}

TEST_F(ProxyClientTest, HttpConnectRefusesADestinationThatWouldSplitTheRequestLine) {
    EXPECT_EQ(connect(ProxyClient::HttpConnect, closedPort(), "evil\r\nX-Injected: 1"),
              "ProxyException");
    EXPECT_EQ(proxy.lastError, "Failed: Invalid host name.");
    EXPECT_EQ(listener.events, "");
}

TEST_F(ProxyClientTest, Socks4SendsTheAddressAndUserIdAndHandsOverTheStream) {
    ScriptedPeer& echo = echoServer();
    proxy.userName = "me";
    const std::string request =
        bytes({4, 1}) + portBytes(echo.port()) + bytes({127, 0, 0, 1}) + "me" + bytes({0});
    ScriptedPeer& server =
        peer(socksProxy({{request.size(), bytes({0, 90, 0, 0, 0, 0, 0, 0})}}, echo.port()));
    ASSERT_EQ(connect(ProxyClient::Socks4, server.port(), "127.0.0.1", echo.port()), "established");
    EXPECT_EQ(listener.events, allEvents);
    EXPECT_EQ(proxy.lastError, "");
    expectEchoStream();
    EXPECT_EQ(receivedBy(server), request);
}

TEST_F(ProxyClientTest, Socks4aLetsTheProxyResolveAnUnknownName) {
    const std::string request =
        bytes({4, 1}) + portBytes(5431) + bytes({0, 0, 0, 255, 0}) + unresolvableName + bytes({0});
    ScriptedPeer& server = peer(socksProxy({{request.size(), bytes({0, 90, 1, 2, 3, 4, 5, 6})}}));
    EXPECT_EQ(connect(ProxyClient::Socks4, server.port(), unresolvableName.c_str()), "established");
    EXPECT_EQ(receivedBy(server), request);
}

TEST_F(ProxyClientTest, Socks4RefusalsNameTheReplyCode) {
    struct Case {
        int version;
        int code;
        std::string outcome;
        std::string lastError;
    };
    const Case cases[] = {
        {0, 91, "ProxyException", "Failed: Reply code: 91 - Request REJECTED or FAILED"},
        {0, 92, "HostException",
         "Failed: Reply code: 92 - Request REJECTED - SOCKS server can't connect to Identd on "
         "the client"},
        {0, 93, "ProxyException",
         "Failed: Reply code: 93 - Request REJECTED - Client and Identd report diff user-ID"},
        {0, 17, "ProxyException", "Failed: Reply code: 17 - Unknown Command"},
        {4, 90, "ProxyException",
         "Failed: The proxy server replyed with incorrect SOCKS version: 4"},
    };
    for (const Case& c : cases) {
        ScriptedPeer& server =
            peer(socksProxy({{9, bytes({c.version, c.code, 0, 0, 0, 0, 0, 0})}}));
        socket.close();
        socket.open();
        listener.events.clear();
        EXPECT_EQ(connect(ProxyClient::Socks4, server.port()), c.outcome) << c.code;
        EXPECT_STREQ(proxy.lastError.c_str(), c.lastError.c_str());
        EXPECT_EQ(listener.events, allButEstablished);
    }
}

TEST_F(ProxyClientTest, Socks4TransportFailuresAreHostFailures) {
    EXPECT_EQ(connect(ProxyClient::Socks4, closedPort()), "HostException");
    EXPECT_EQ(proxy.lastError, "Failed: Socket exception while connecting to proxy.");

    socket.waitMilliseconds = 200;
    ScriptedPeer& silent = peer(socksProxy({{9, bytes({0, 90, 0})}})); // three of eight bytes
    socket.close();
    socket.open();
    EXPECT_EQ(connect(ProxyClient::Socks4, silent.port()), "HostException");
    EXPECT_EQ(proxy.lastError, "Failed: Timeout expired while connecting to proxy.");

    ScriptedPeer& closing = peer([](PeerConnection& connection) {
        connection.read(9);
        connection.send(bytes({0, 90}));
    });
    socket.close();
    socket.open();
    EXPECT_EQ(connect(ProxyClient::Socks4, closing.port()), "HostException");
    EXPECT_EQ(proxy.lastError, "Failed: Socket exception while connecting to proxy.");
}

TEST_F(ProxyClientTest, Socks4aRefusesANameTooLongForTheProxyBeforeSendingIt) {
    ScriptedPeer& server = peer(socksProxy({}));
    const std::string longName = std::string(63, 'a') + "." + std::string(200, 'b');
    EXPECT_EQ(connect(ProxyClient::Socks4, server.port(), longName.c_str()), "ProxyException");
    EXPECT_EQ(proxy.lastError, "Failed: Host name too long.");
    EXPECT_EQ(receivedBy(server), "");
}

std::string socks5Request(const std::string& host, int port) {
    return bytes({5, 1, 0, 3, static_cast<int>(host.size())}) + host + portBytes(port);
}

const std::string socks5Granted = bytes({5, 0, 0, 1, 10, 0, 0, 1, 0x1F, 0x90});

TEST_F(ProxyClientTest, Socks5WithoutAuthenticationSendsTheNameAndHandsOverTheStream) {
    ScriptedPeer& echo = echoServer();
    const std::string request = socks5Request("127.0.0.1", echo.port());
    ScriptedPeer& server =
        peer(socksProxy({{3, bytes({5, 0})}, {request.size(), socks5Granted}}, echo.port()));
    ASSERT_EQ(connect(ProxyClient::Socks5, server.port(), "127.0.0.1", echo.port()), "established");
    EXPECT_EQ(listener.events, allEvents);
    EXPECT_EQ(proxy.lastError, "");
    expectEchoStream();
    EXPECT_EQ(receivedBy(server), bytes({5, 1, 0}) + request);
}

TEST_F(ProxyClientTest, Socks5AuthenticatesWithUserNameAndPassword) {
    proxy.userName = "alice";
    proxy.password = std::string(255, 'p').c_str(); // the longest that fits its length byte
    const std::string login = bytes({1, 5}) + "alice" + bytes({255}) + std::string(255, 'p');
    const std::string request = socks5Request(unresolvableName, 80);
    ScriptedPeer& server = peer(socksProxy(
        {{4, bytes({5, 2})}, {login.size(), bytes({1, 0})}, {request.size(), socks5Granted}}));
    EXPECT_EQ(connect(ProxyClient::Socks5, server.port(), unresolvableName.c_str(), 80),
              "established");
    EXPECT_EQ(receivedBy(server), bytes({5, 2, 0, 2}) + login + request);
}

TEST_F(ProxyClientTest, Socks5GreetingAndAuthenticationFailures) {
    struct Case {
        std::vector<Step> steps;
        std::string lastError;
    };
    const Case cases[] = {
        {{{4, bytes({5, 255})}}, ""},
        {{{4, bytes({4, 0})}}, ""},
        {{{4, bytes({5, 2})}, {8, bytes({1, 1})}}, "Invalid Username/Password authentication."},
    };
    proxy.userName = "bob";
    proxy.password = "pw";
    for (const Case& c : cases) {
        ScriptedPeer& server = peer(socksProxy(c.steps));
        socket.close();
        socket.open();
        listener.events.clear();
        EXPECT_EQ(connect(ProxyClient::Socks5, server.port()), "ProxyException");
        EXPECT_STREQ(proxy.lastError.c_str(), c.lastError.c_str());
        EXPECT_EQ(listener.events, "connecting connected ");
    }
}

TEST_F(ProxyClientTest, Socks5ReplyAddressTypesAreReadToTheirEnd) {
    // A bound address given as a name: exactly its bytes are consumed, the stream stays clean.
    ScriptedPeer& echo = echoServer();
    const std::string request = socks5Request("127.0.0.1", echo.port());
    ScriptedPeer& server = peer(socksProxy(
        {{3, bytes({5, 0})}, {request.size(), bytes({5, 0, 0, 3, 5}) + "proxy" + bytes({0, 1})}},
        echo.port()));
    ASSERT_EQ(connect(ProxyClient::Socks5, server.port(), "127.0.0.1", echo.port()), "established");
    expectEchoStream();
}

TEST_F(ProxyClientTest, Socks5ReplyFailures) {
    struct Case {
        std::string reply;
        std::string outcome;
        std::string lastError;
    };
    const Case cases[] = {
        {bytes({5, 0, 0, 3, 0}), "ProxyException",
         "Failed: Proxy returned an invalid host name length"},
        {bytes({5, 0, 0, 4}), "ProxyException", "Failed: Unsupported address type - IP v.6"},
        {bytes({5, 0, 0, 7}), "ProxyException", "Failed: Unsupported address type #7"},
        {bytes({4, 0, 0, 1, 0, 0, 0, 0, 0, 0}), "ProxyException",
         "Failed: The proxy server replyed with incorrect SOCKS version: 4"},
        {bytes({5, 1, 0, 1, 0, 0, 0, 0, 0, 0}), "ProxyException",
         "Failed: Reply code: 1 - General SOCKS Server failure"},
        {bytes({5, 3, 0, 1, 0, 0, 0, 0, 0, 0}), "HostException",
         "Failed: Reply code: 3 - Network Unreachable"},
        {bytes({5, 4, 0, 1, 0, 0, 0, 0, 0, 0}), "HostException",
         "Failed: Reply code: 4 - Host Unreachable"},
        {bytes({5, 5, 0, 1, 0, 0, 0, 0, 0, 0}), "ProxyException",
         "Failed: Reply code: 5 - Connection Refused"},
        {bytes({5, 6, 0, 1, 0, 0, 0, 0, 0, 0}), "HostException",
         "Failed: Reply code: 6 - TTL Expired"},
        {bytes({5, 9, 0, 1, 0, 0, 0, 0, 0, 0}), "ProxyException",
         "Failed: Reply code: 9 - to 0xFF UnAssigned"},
    };
    for (const Case& c : cases) {
        ScriptedPeer& server = peer(socksProxy({{3, bytes({5, 0})}, {16, c.reply}}));
        socket.close();
        socket.open();
        listener.events.clear();
        EXPECT_EQ(connect(ProxyClient::Socks5, server.port()), c.outcome) << c.lastError;
        EXPECT_STREQ(proxy.lastError.c_str(), c.lastError.c_str());
        EXPECT_EQ(listener.events, allButEstablished);
    }
}

TEST_F(ProxyClientTest, Socks5TransportFailuresDependOnThePhase) {
    EXPECT_EQ(connect(ProxyClient::Socks5, closedPort()), "ProxyException");
    EXPECT_EQ(proxy.lastError, "Failed: Socket exception.");

    socket.waitMilliseconds = 200;
    struct Case {
        std::vector<Step> steps;
        bool closeAfter;
        std::string outcome;
        std::string lastError;
    };
    const Case cases[] = {
        {{{3, bytes({5})}}, false, "ProxyException", "Failed: Timeout expired."},
        {{{3, bytes({5})}}, true, "ProxyException", "Failed: Socket exception."},
        {{{3, bytes({5, 0})}, {16, bytes({5, 0, 0, 1, 10})}},
         false,
         "HostException",
         "Failed: Timeout expired."},
        {{{3, bytes({5, 0})}, {16, bytes({5, 0, 0, 1, 10})}},
         true,
         "HostException",
         "Failed: Socket exception."},
    };
    for (const Case& c : cases) {
        ScriptedPeer& server = c.closeAfter ? peer([steps = c.steps](PeerConnection& connection) {
            for (const Step& step : steps) {
                connection.read(step.read);
                connection.send(step.reply);
            }
        })
                                            : peer(socksProxy(c.steps));
        socket.close();
        socket.open();
        EXPECT_EQ(connect(ProxyClient::Socks5, server.port()), c.outcome) << c.lastError;
        EXPECT_STREQ(proxy.lastError.c_str(), c.lastError.c_str());
    }
}

TEST_F(ProxyClientTest, Socks5RefusesTextsLongerThanTheirLengthByteBeforeSendingAnything) {
    const std::string tooLong(256, 'x');
    struct Case {
        std::string userName;
        std::string password;
        std::string destination;
        std::string lastError;
    };
    const Case cases[] = {
        {tooLong, "pw", "127.0.0.1", "Failed: User name or password too long."},
        {"user", tooLong, "127.0.0.1", "Failed: User name or password too long."},
        {"", "", tooLong, "Failed: Host name too long."},
    };
    for (const Case& c : cases) {
        proxy.userName = c.userName.c_str();
        proxy.password = c.password.c_str();
        EXPECT_EQ(connect(ProxyClient::Socks5, closedPort(), c.destination.c_str()),
                  "ProxyException");
        EXPECT_STREQ(proxy.lastError.c_str(), c.lastError.c_str());
        EXPECT_EQ(listener.events, "");
    }
}

// A whole GET through each kind of proxy, as the HTTP client makes it.
class HttpClientThroughProxyTest : public ProxyClientTest {
protected:
    // Gets /doc from the destination through a proxy peer playing script; returns the body.
    std::string getThrough(int type, ScriptedPeer& proxyPeer, const std::string& host) {
        client.proxy.type = type;
        client.proxy.proxyHost = "127.0.0.1";
        client.proxy.proxyPort = proxyPeer.port();
        const std::string url =
            "http://" + host + ":" + std::to_string(destination.port()) + "/doc";
        ByteBuffer body;
        client.get(url.c_str(), body);
        return std::string(body.data(), static_cast<std::size_t>(body.length()));
    }

    std::string expectedRequest(const std::string& host) const {
        return "GET /doc HTTP/1.0\r\nHost: " + host + ":" + std::to_string(destination.port()) +
               "\r\n\r\n";
    }

    HttpTestServer destination{{{"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello"}}};
    HttpClient client;
};

TEST_F(HttpClientThroughProxyTest, HttpConnect) {
    ScriptedPeer& server =
        peer(httpProxy({"HTTP/1.0 200 Connection established\r\n\r\n"}, destination.port()));
    EXPECT_EQ(getThrough(ProxyClient::HttpConnect, server, "127.0.0.1"), "hello");
    EXPECT_EQ(destination.requests(), std::vector{expectedRequest("127.0.0.1")});
    EXPECT_EQ(server.received(),
              "CONNECT 127.0.0.1:" + std::to_string(destination.port()) + " HTTP/1.0\r\n\r\n");
}

TEST_F(HttpClientThroughProxyTest, Socks4) {
    const std::size_t requestSize = 9;
    ScriptedPeer& server =
        peer(socksProxy({{requestSize, bytes({0, 90, 0, 0, 0, 0, 0, 0})}}, destination.port()));
    EXPECT_EQ(getThrough(ProxyClient::Socks4, server, "127.0.0.1"), "hello");
    EXPECT_EQ(destination.requests(), std::vector{expectedRequest("127.0.0.1")});
}

TEST_F(HttpClientThroughProxyTest, Socks4aWithAName) {
    const std::size_t requestSize = 9 + unresolvableName.size() + 1;
    ScriptedPeer& server =
        peer(socksProxy({{requestSize, bytes({0, 90, 0, 0, 0, 0, 0, 0})}}, destination.port()));
    EXPECT_EQ(getThrough(ProxyClient::Socks4, server, unresolvableName), "hello");
    EXPECT_EQ(destination.requests(), std::vector{expectedRequest(unresolvableName)});
}

TEST_F(HttpClientThroughProxyTest, Socks5WithPassword) {
    client.proxy.userName = "user";
    client.proxy.password = "secret";
    const std::string login = bytes({1, 4}) + "user" + bytes({6}) + "secret";
    const std::string request = socks5Request("127.0.0.1", destination.port());
    ScriptedPeer& server = peer(socksProxy(
        {{4, bytes({5, 2})}, {login.size(), bytes({1, 0})}, {request.size(), socks5Granted}},
        destination.port()));
    EXPECT_EQ(getThrough(ProxyClient::Socks5, server, "127.0.0.1"), "hello");
    EXPECT_EQ(destination.requests(), std::vector{expectedRequest("127.0.0.1")});
}

} // namespace
} // namespace kestrum::test
