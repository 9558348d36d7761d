#include "net/Exception.h"

#include <gtest/gtest.h>

namespace kestrum::test {

namespace {

template <typename Thrown> bool caughtAsSocketFailure() {
    try {
        throw Thrown();
    } catch (const SocketException&) {
        return true;
    } catch (const Exception&) {
        return false;
    }
}

template <typename Thrown> bool caughtAsException() {
    try {
        throw Thrown();
    } catch (const Exception&) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

TEST(Exception, SocketHandlersSeeOnlySocketFailures) {
    EXPECT_TRUE(caughtAsSocketFailure<SocketException>());
    EXPECT_TRUE(caughtAsSocketFailure<NoRouteToHostException>());
    EXPECT_TRUE(caughtAsSocketFailure<NoConnectionException>());
    EXPECT_TRUE(caughtAsSocketFailure<BindException>());
    EXPECT_TRUE(caughtAsSocketFailure<ConnectException>());
    EXPECT_TRUE(caughtAsSocketFailure<TimeoutException>());
    EXPECT_TRUE(caughtAsSocketFailure<UnknownHostException>());

    EXPECT_FALSE(caughtAsSocketFailure<HttpException>());
    EXPECT_FALSE(caughtAsSocketFailure<MemoryException>());
    EXPECT_FALSE(caughtAsSocketFailure<ThreadStopException>());
    EXPECT_FALSE(caughtAsSocketFailure<ThreadCreateException>());
}

TEST(Exception, EveryClassIsAnException) {
    EXPECT_TRUE(caughtAsException<MemoryException>());
    EXPECT_TRUE(caughtAsException<ThreadStopException>());
    EXPECT_TRUE(caughtAsException<ThreadCreateException>());
    EXPECT_TRUE(caughtAsException<HttpException>());
    EXPECT_TRUE(caughtAsException<TimeoutException>());
}

// Failures carry nothing but their class.
static_assert(sizeof(TimeoutException) == sizeof(Exception));
static_assert(sizeof(HttpException) == sizeof(Exception));

} // namespace kestrum::test
