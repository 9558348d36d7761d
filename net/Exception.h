#pragma once

// The one failure channel below the user interface. Exceptions carry no data: the class alone
// tells what went wrong, so copies of the same class are indistinguishable.

namespace kestrum {

class Exception {
public:
    virtual ~Exception() = default;
};

class MemoryException : public Exception {};
class ThreadStopException : public Exception {};
class ThreadCreateException : public Exception {};

class SocketException : public Exception {};
class NoRouteToHostException : public SocketException {};
class NoConnectionException : public SocketException {};
class BindException : public SocketException {};
class ConnectException : public SocketException {};
class TimeoutException : public SocketException {};
class UnknownHostException : public SocketException {};

class HttpException : public Exception {};

} // namespace kestrum
