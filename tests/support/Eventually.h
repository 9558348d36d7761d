#pragma once

#include <chrono>
#include <functional>

namespace kestrum::test {

// Whether the condition comes to hold within the limit, for the test to assert. It is asked
// every 10 ms; the limit only guards against a hang, so make it generous.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit);

} // namespace kestrum::test
