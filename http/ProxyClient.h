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
    void connect(StreamSocket& socket, const String& destinationHost, int destinationPort,
                 const String& proxyHost, int proxyPort, int type);

    int type = Direct;
    String proxyHost;
    int proxyPort = 0;
    String destHost;
    int destPort = 0;
    String lastError;
    String userName;
    String password;
    ProxyListener* listener;
};

} // namespace kestrum
