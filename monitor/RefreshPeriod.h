#pragma once

#include <atomic>
#include <cstdint>

namespace kestrum {

// The application-wide refresh period in milliseconds. The user-interface thread writes it on
// Apply; the monitor, the pollers and the rate meter read it afresh each time they use it.
class RefreshPeriod {
public:
    static constexpr std::uint32_t minimum = 100;
    static constexpr std::uint32_t maximum = 10000;
    static constexpr std::uint32_t initial = 500;

    RefreshPeriod() = default;
    explicit RefreshPeriod(std::uint32_t milliseconds) : milliseconds_(milliseconds) {}
    RefreshPeriod(const RefreshPeriod&) = delete;
    RefreshPeriod& operator=(const RefreshPeriod&) = delete;

    std::uint32_t get() const { return milliseconds_.load(std::memory_order_relaxed); }
    void set(std::uint32_t milliseconds) {
        milliseconds_.store(milliseconds, std::memory_order_relaxed);
    }

private:
    std::atomic<std::uint32_t> milliseconds_{initial};
};

} // namespace kestrum
