#pragma once

#include <algorithm>
#include <cstdint>

namespace kestrum {

// How many digit positions a readout shows: enough for the scale and for the largest rate shown
// since the scale was last applied, and at least minimum. It never shrinks in between, so the
// cells keep their size while the traffic rises past 9 999 and falls back.
class ReadoutDigits {
public:
    static constexpr int minimum = 4;

    static int of(std::uint32_t value) {
        int digits = 1;
        for (; value >= 10; value /= 10) {
            ++digits;
        }
        return digits;
    }

    // Apply: the count starts again from the new scale.
    void apply(std::uint32_t scale) { count_ = std::max(minimum, of(scale)); }
    // A rate about to be shown; returns the count it needs.
    int show(std::uint32_t rate) {
        count_ = std::max(count_, of(rate));
        return count_;
    }
    int count() const { return count_; }

private:
    int count_ = minimum;
};

} // namespace kestrum
