#include "net/TextView.h"

#include "net/String.h"

#include <algorithm>
#include <cstring>

namespace kestrum {

int readDecimal(const char* text, std::uint64_t& value) {
    constexpr std::uint64_t beyond32Bits = 0x100000000ull;
    value = 0;
    int count = 0;
    for (; text[count] >= '0' && text[count] <= '9'; ++count) {
        value = std::min(value * 10 + static_cast<unsigned>(text[count] - '0'), beyond32Bits);
    }
    return count;
}

TextView::TextView(const char* text, int length)
    : data_(text == nullptr ? "" : text), length_(text == nullptr || length < 0 ? 0 : length) {}

TextView::TextView(const char* text)
    : TextView(text, text == nullptr ? 0 : static_cast<int>(std::strlen(text))) {}

TextView::TextView(const String& text) : TextView(text.c_str(), text.length()) {}

TextView TextView::substring(int start, int count) const {
    const int from = start < 0 ? 0 : (start > length_ ? length_ : start);
    const int available = length_ - from;
    return TextView(data_ + from, count < 0 || count > available ? available : count);
}

int TextView::find(char byte, int start) const {
    for (int i = start < 0 ? 0 : start; i < length_; ++i) {
        if (data_[i] == byte) {
            return i;
        }
    }
    return -1;
}

int TextView::find(TextView needle, int start) const {
    if (needle.isEmpty()) {
        return -1;
    }
    for (int i = start < 0 ? 0 : start; i + needle.length_ <= length_; ++i) {
        if (std::memcmp(data_ + i, needle.data_, static_cast<std::size_t>(needle.length_)) == 0) {
            return i;
        }
    }
    return -1;
}

int TextView::findFirstOf(TextView bytes, int start) const {
    for (int i = start < 0 ? 0 : start; i < length_; ++i) {
        if (bytes.find(data_[i]) >= 0) {
            return i;
        }
    }
    return -1;
}

bool TextView::startsWith(TextView prefix) const {
    return prefix.length_ <= length_ &&
           std::memcmp(data_, prefix.data_, static_cast<std::size_t>(prefix.length_)) == 0;
}

bool TextView::equalsIgnoringCase(TextView other) const {
    if (other.length_ != length_) {
        return false;
    }
    for (int i = 0; i < length_; ++i) {
        if (foldCase(data_[i]) != foldCase(other.data_[i])) {
            return false;
        }
    }
    return true;
}

TextView TextView::trimmedLeft() const {
    int start = 0;
    while (start < length_ && isBlank(data_[start])) {
        ++start;
    }
    return substring(start);
}

TextView TextView::trimmedRight() const {
    int end = length_;
    while (end > 0 && isBlank(data_[end - 1])) {
        --end;
    }
    return substring(0, end);
}

String TextView::toString() const {
    return String(data_, length_);
}

} // namespace kestrum
