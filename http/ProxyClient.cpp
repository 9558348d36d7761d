#include "http/ProxyClient.h"

#include "net/ByteBuffer.h"
#include "net/TextView.h"

#include <cstdint>

namespace kestrum {

namespace {

// The listener of every client that was given none.
ProxyListener quietListener;

// SOCKS carries names and credentials with one length byte.
constexpr int maxSocksField = 255;

// A CONNECT reply head is a status line and a few headers; bytes beyond this are read but not
// kept, so a chatty proxy cannot grow the reply text without bound.
constexpr int maxHttpReplyText = 1024;

int port16(int port) {
    return port & 0xFFFF;
}

void connectTo(StreamSocket& socket, const String& host, int port) {
    SocketAddress address;
    address.set(host.c_str(), port16(port));
    connectSocket(socket.handle, address, socket.waitMilliseconds);
}

void addByte(ByteBuffer& packet, int byte) {
    const auto value = static_cast<unsigned char>(byte & 0xFF);
    packet.append(&value, 1);
}

void addText(ByteBuffer& packet, const String& text) {
    packet.append(text.data(), text.length());
}

void addPort(ByteBuffer& packet, int port) {
    addByte(packet, port16(port) >> 8);
    addByte(packet, port16(port));
}

void sendPacket(StreamSocket& socket, const ByteBuffer& packet) {
    sendAll(socket.handle, packet.data(), packet.length());
}

const char* replyText(int code) {
    switch (code & 0xFF) {
    case 0:
        return "Success";
    case 1:
        return "General SOCKS Server failure";
    case 2:
        return "Connection not allowed by ruleset";
    case 3:
        return "Network Unreachable";
    case 4:
        return "Host Unreachable";
    case 5:
        return "Connection Refused";
    case 6:
        return "TTL Expired";
    case 7:
        return "Command not supported";
    case 8:
        return "Address Type not Supported";
    case 9:
        return "to 0xFF UnAssigned";
    case 90:
        return "Request GRANTED";
    case 91:
        return "Request REJECTED or FAILED";
    case 92:
        return "Request REJECTED - SOCKS server can't connect to Identd on the client";
    case 93:
        return "Request REJECTED - Client and Identd report diff user-ID";
    default:
        return "Unknown Command";
    }
}

String formatInt(const char* fmt, int value) {
    String text;
    text.format(fmt, value);
    return text;
}

// Reads the proxy's reply head one byte at a time up to the blank line that ends it, so the
// stream is left exactly at the destination's first byte. The whole wait is bounded by the
// socket's wait time; when it runs out, what arrived so far is the reply.
String readHttpReplyHead(StreamSocket& socket) {
    const int wait = socket.waitMilliseconds;
    const std::int64_t deadline = steadyMilliseconds() + wait;
    char text[maxHttpReplyText + 1];
    int length = 0;
    int lineLength = 0; // bytes of the current line, CR not counted
    for (;;) {
        int slice = wait;
        if (wait >= 0) {
            const std::int64_t left = deadline - steadyMilliseconds();
            if (left < 0) {
                break;
            }
            slice = static_cast<int>(left);
        }
        char byte = 0;
        if (receive(socket.handle, &byte, 1, slice) == 0) {
            continue;
        }
        if (byte != '\0' && length < maxHttpReplyText) {
            text[length++] = byte;
        }
        if (byte == '\n') {
            if (lineLength == 0) {
                break;
            }
            lineLength = 0;
        } else if (byte != '\r') {
            ++lineLength;
        }
    }
    text[length] = '\0';
    return String(text);
}

} // namespace

template <typename E> void ProxyClient::fail(const String& text) {
    lastError = text;
    throw E();
}

template <typename E> void ProxyClient::failWithReplyCode(int code) {
    String text;
    text.format("Failed: Reply code: %d - %s", code, replyText(code));
    fail<E>(text);
}

ProxyClient::ProxyClient() : listener(&quietListener) {}

void ProxyClient::connect(StreamSocket& socket, const String& destinationHost, int destinationPort,
                          const String& proxyHostName, int proxyPortNumber, int proxyType) {
    lastError.assign(nullptr);
    if (listener == nullptr) {
        listener = &quietListener;
    }
    destHost = destinationHost;
    destPort = destinationPort;
    proxyHost = proxyHostName;
    proxyPort = proxyPortNumber;
    type = proxyType;

    switch (type & 0xFF) {
    case Direct:
        connectDirect(socket);
        break;
    case HttpConnect:
        connectHttp(socket);
        break;
    case Socks4:
        connectSocks4(socket);
        break;
    case Socks5:
        connectSocks5(socket);
        break;
    default:
        fail<ProxyException>(formatInt("Failed: Unknown proxy type #%d", type & 0xFF));
    }
}

void ProxyClient::connectDirect(StreamSocket& socket) {
    listener->onConnecting();
    listener->onConnected();
    listener->onNegotiating();
    connectTo(socket, destHost, destPort);
    listener->onEstablished();
}

void ProxyClient::connectToProxy(StreamSocket& socket) {
    listener->onConnecting();
    connectTo(socket, proxyHost, proxyPort);
    listener->onConnected();
}

void ProxyClient::connectHttp(StreamSocket& socket) {
    // The name goes into a request line: bytes that would end or split it are refused.
    for (const char* p = destHost.c_str(); *p != '\0'; ++p) {
        if (isBlank(*p)) {
            fail<ProxyException>("Failed: Invalid host name.");
        }
    }
    String reply;
    try {
        connectToProxy(socket);
        listener->onNegotiating();
        String request;
        request.format("CONNECT %s:%d HTTP/1.0\r\n\r\n", destHost.c_str(), port16(destPort));
        sendAll(socket.handle, request.data(), request.length());
        reply = readHttpReplyHead(socket);
    } catch (const ThreadStopException&) {
        throw; // a stop is no failure of the proxy
    } catch (const Exception&) {
        lastError.assign(nullptr);
        throw ProxyException();
    }

    // Only the status line is read: "HTTP/1.x code reason".
    const int lineEnd = reply.findFirstOf("\r\n");
    const String statusLine = lineEnd < 0 ? reply : reply.substring(0, lineEnd);
    const int space = statusLine.find(" ");
    String rest = space > 0 ? statusLine.substring(space + 1) : String();
    rest.trimLeft();
    const int codeEnd = rest.find(" ");
    if (space <= 0 || codeEnd <= 0) {
        String text;
        text.format("Invalid response from HTTP Proxy :'%s'", reply.c_str());
        fail<ProxyException>(text);
    }
    lastError = rest.substring(codeEnd + 1);
    lastError.trim();
    if (rest[0] != '2') {
        throw ProxyException();
    }
    listener->onEstablished();
}

void ProxyClient::connectSocks4(StreamSocket& socket) {
    try {
        connectToProxy(socket);
        listener->onNegotiating();
        sendSocks4Request(socket);
        int reply[8];
        for (int& byte : reply) {
            byte = readByte(socket);
        }
        if (reply[0] != 0) {
            fail<ProxyException>(formatInt(
                "Failed: The proxy server replyed with incorrect SOCKS version: %d", reply[0]));
        }
        if (reply[1] == 92) {
            failWithReplyCode<HostException>(reply[1]);
        }
        if (reply[1] != 90) {
            failWithReplyCode<ProxyException>(reply[1]);
        }
    } catch (const TimeoutException&) {
        fail<HostException>("Failed: Timeout expired while connecting to proxy.");
    } catch (const SocketException&) {
        fail<HostException>("Failed: Socket exception while connecting to proxy.");
    }
    listener->onEstablished();
}

void ProxyClient::sendSocks4Request(StreamSocket& socket) {
    bool byName = false;
    std::uint32_t address = 0;
    try {
        address = resolveHost(destHost.c_str());
    } catch (const UnknownHostException&) {
        byName = true; // the proxy resolves it (SOCKS4a)
    }
    if (byName && destHost.length() > maxSocksField) {
        fail<ProxyException>("Failed: Host name too long.");
    }

    ByteBuffer request;
    addByte(request, 4);
    addByte(request, 1);
    addPort(request, destPort);
    if (byName) {
        const unsigned char invalidAddress[4] = {0, 0, 0, 255};
        request.append(invalidAddress, 4);
    } else {
        request.append(&address, 4); // already in network order
    }
    addText(request, userName);
    addByte(request, 0);
    if (byName) {
        addText(request, destHost);
        addByte(request, 0);
    }
    sendPacket(socket, request);
}

void ProxyClient::connectSocks5(StreamSocket& socket) {
    // Each of these travels with a one-byte length: longer texts are refused before anything is
    // sent rather than cut or sent with a wrong length.
    if (userName.length() > maxSocksField || password.length() > maxSocksField) {
        fail<ProxyException>("Failed: User name or password too long.");
    }
    if (destHost.length() > maxSocksField) {
        fail<ProxyException>("Failed: Host name too long.");
    }

    try {
        connectToProxy(socket);
        socks5Greeting(socket);
    } catch (const TimeoutException&) {
        fail<ProxyException>("Failed: Timeout expired.");
    } catch (const SocketException&) {
        fail<ProxyException>("Failed: Socket exception.");
    }

    try {
        listener->onNegotiating();
        socks5ConnectRequest(socket);
    } catch (const TimeoutException&) {
        fail<HostException>("Failed: Timeout expired.");
    } catch (const SocketException&) {
        fail<HostException>("Failed: Socket exception.");
    }
    listener->onEstablished();
}

void ProxyClient::socks5Greeting(StreamSocket& socket) {
    ByteBuffer greeting;
    addByte(greeting, 5);
    if (userName.isEmpty()) {
        addByte(greeting, 1);
        addByte(greeting, 0);
    } else {
        addByte(greeting, 2);
        addByte(greeting, 0);
        addByte(greeting, 2);
    }
    sendPacket(socket, greeting);

    const int version = readByte(socket);
    const int method = readByte(socket);
    if (version != 5 || method == 255) {
        throw ProxyException();
    }
    if (method != 2) {
        return; // 0 needs nothing; any other choice goes on without authentication
    }
    ByteBuffer login;
    addByte(login, 1);
    addByte(login, userName.length());
    addText(login, userName);
    addByte(login, password.length());
    addText(login, password);
    sendPacket(socket, login);
    readByte(socket);
    if (readByte(socket) != 0) {
        fail<ProxyException>("Invalid Username/Password authentication.");
    }
}

void ProxyClient::socks5ConnectRequest(StreamSocket& socket) {
    // The name is always sent for the proxy to resolve.
    ByteBuffer request;
    addByte(request, 5);
    addByte(request, 1);
    addByte(request, 0);
    addByte(request, 3);
    addByte(request, destHost.length());
    addText(request, destHost);
    addPort(request, destPort);
    sendPacket(socket, request);

    const int version = readByte(socket);
    const int code = readByte(socket);
    readByte(socket);
    const int addressType = readByte(socket);
    int addressLength = 0;
    switch (addressType) {
    case 1:
        addressLength = 4;
        break;
    case 3:
        addressLength = readByte(socket);
        if (addressLength == 0) {
            fail<ProxyException>("Failed: Proxy returned an invalid host name length");
        }
        break;
    case 4:
        fail<ProxyException>("Failed: Unsupported address type - IP v.6");
    default:
        fail<ProxyException>(formatInt("Failed: Unsupported address type #%d", addressType));
    }
    for (int i = 0; i < addressLength + 2; ++i) {
        readByte(socket); // bound address and port: not used
    }

    if (version != 5) {
        fail<ProxyException>(formatInt(
            "Failed: The proxy server replyed with incorrect SOCKS version: %d", version));
    }
    if (code == 3 || code == 4 || code == 6) {
        failWithReplyCode<HostException>(code);
    }
    if (code != 0) {
        failWithReplyCode<ProxyException>(code);
    }
}

int ProxyClient::readByte(StreamSocket& socket) {
    unsigned char byte = 0;
    if (receive(socket.handle, &byte, 1, socket.waitMilliseconds) == 0) {
        lastError = "Timeout expired while reading data from proxy.";
        throw TimeoutException();
    }
    return byte;
}

} // namespace kestrum
