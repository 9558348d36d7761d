#pragma once

#include "net/Exception.h"
#include "net/Sockets.h"
#include "net/String.h"

namespace kestrum {

// Progress notifications of a proxy connect.
class ProxyListener {
public:
    virtual ~ProxyListener() = default;
    virtual void onConnecting() {}
    virtual void onConnected() {}
    virtual void onNegotiating() {}
    virtual void onEstablished() {}
};

// Makes the TCP connection of an HTTP exchange, directly or through an HTTP CONNECT, SOCKS4/4a
// or SOCKS5 proxy. Proxy failures keep a readable text in lastError.
class ProxyClient {
public:
    enum Type { Direct = 0, HttpConnect = 1, Socks4 = 2, Socks5 = 3 };

    class ProxyException : public Exception {};
    class HostException : public Exception {};

    ProxyClient();
    virtual ~ProxyClient() = default;

    // The socket must be open; its wait time governs the connect and every proxy reply read.
    // Only the low byte of type counts. Direct mode lets the socket exceptions through; the
    // proxy modes throw ProxyException or HostException.
    void connect(StreamSocket& socket, const String& destinationHost, int destinationPort,
                 const String& proxyHostName, int proxyPortNumber, int proxyType);

    int type = Direct;
    String proxyHost;
    int proxyPort = 0;
    String destHost;
    int destPort = 0;
    String lastError;
    String userName;         // SOCKS4 user id, SOCKS5 user name
    String password;         // SOCKS5
    ProxyListener* listener; // not owned; null means the quiet one

private:
    void connectDirect(StreamSocket& socket);
    void connectHttp(StreamSocket& socket);
    void connectSocks4(StreamSocket& socket);
    void connectSocks5(StreamSocket& socket);
    void connectToProxy(StreamSocket& socket);
    void sendSocks4Request(StreamSocket& socket);
    void socks5Greeting(StreamSocket& socket);
    void socks5ConnectRequest(StreamSocket& socket);
    int readByte(StreamSocket& socket);

    template <typename E> [[noreturn]] void fail(const String& text);
    template <typename E> [[noreturn]] void failWithReplyCode(int code);
};

} // namespace kestrum
