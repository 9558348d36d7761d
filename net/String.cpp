#include "net/String.h"

#include "net/Allocation.h"
#include "net/Exception.h"
#include "net/TextView.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace kestrum {

namespace {

// Formatters that report "did not fit" with a negative count get room in steps of this size;
// beyond the limit a negative count is taken as a formatting error, not as a lack of room.
constexpr int kFormatGrowth = 100;
constexpr int kNegativeFormatLimit = 64 * 1024;

// Room for length bytes and the terminating NUL.
char* allocate(int length) {
    return makeOwnedArray<char>(static_cast<std::size_t>(length) + 1).release();
}

// Length of text up to its first NUL, looking at no more than limit bytes.
int boundedLength(const char* text, int limit) {
    const void* nul = std::memchr(text, 0, static_cast<std::size_t>(limit));
    return nul == nullptr ? limit : static_cast<int>(static_cast<const char*>(nul) - text);
}

int textLength(const char* text) {
    return text == nullptr ? 0 : static_cast<int>(std::strlen(text));
}

// A NUL-terminated copy of exactly length bytes, or null for length 0.
char* copyOf(const char* text, int length) {
    if (length <= 0) {
        return nullptr;
    }
    char* buffer = allocate(length);
    std::memcpy(buffer, text, static_cast<std::size_t>(length));
    buffer[length] = '\0';
    return buffer;
}

bool isWhiteSpace(char byte) {
    return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

} // namespace

String& String::operator=(String&& other) noexcept {
    if (this != &other) {
        delete[] text_;
        text_ = other.text_;
        other.text_ = nullptr;
    }
    return *this;
}

String::~String() {
    delete[] text_;
}

void String::adopt(char* buffer) {
    delete[] text_;
    text_ = buffer;
}

void String::assign(const char* text, int length) {
    if (text == nullptr || length == 0) {
        adopt(nullptr);
        return;
    }
    adopt(copyOf(text, length < 0 ? textLength(text) : boundedLength(text, length)));
}

void String::assign(const String& other) {
    if (this != &other) {
        assign(other.text_);
    }
}

void String::append(const char* text) {
    if (text != nullptr && text[0] != '\0') {
        *this = concat(text_, text);
    }
}

String String::concat(const char* left, const char* right) {
    const int leftLength = textLength(left);
    const int rightLength = textLength(right);
    String result;
    if (leftLength + rightLength > 0) {
        char* buffer = allocate(leftLength + rightLength);
        std::memcpy(buffer, left == nullptr ? "" : left, static_cast<std::size_t>(leftLength));
        std::memcpy(buffer + leftLength, right == nullptr ? "" : right,
                    static_cast<std::size_t>(rightLength));
        buffer[leftLength + rightLength] = '\0';
        result.text_ = buffer;
    }
    return result;
}

int String::compare(const char* text) const {
    const auto* mine = reinterpret_cast<const unsigned char*>(c_str());
    const auto* theirs = reinterpret_cast<const unsigned char*>(text == nullptr ? "" : text);
    while (*mine != 0 && *mine == *theirs) {
        ++mine;
        ++theirs;
    }
    if (*mine == *theirs) {
        return 0;
    }
    return *mine < *theirs ? -1 : 1;
}

int String::length() const {
    return textLength(text_);
}

String String::substring(int start, int count) const {
    const int size = length();
    if (start < 0 || start >= size) {
        return String();
    }
    const int available = size - start;
    return String(text_ + start, count < 0 || count > available ? available : count);
}

int String::find(const char* needle, int start) const {
    return TextView(*this).find(needle, start);
}

int String::findFirstOf(const char* chars, int start) const {
    return TextView(*this).findFirstOf(chars, start);
}

bool String::startsWith(const char* prefix) const {
    return prefix != nullptr && prefix[0] != '\0' && TextView(*this).startsWith(prefix);
}

bool String::endsWith(const char* suffix) const {
    const int suffixLength = textLength(suffix);
    const int size = length();
    return suffixLength > 0 && suffixLength <= size &&
           std::memcmp(text_ + size - suffixLength, suffix,
                       static_cast<std::size_t>(suffixLength)) == 0;
}

bool String::endsWithChar(char byte) const {
    const int size = length();
    return size > 0 && text_[size - 1] == byte;
}

void String::replaceAll(const char* from, const char* to) {
    const int fromLength = textLength(from);
    if (fromLength == 0 || text_ == nullptr) {
        return;
    }
    int matches = 0;
    for (const char* found = std::strstr(text_, from); found != nullptr;
         found = std::strstr(found + fromLength, from)) {
        ++matches;
    }
    if (matches == 0) {
        return;
    }
    const int toLength = textLength(to);
    // One pass that resumes after each match, so replaced text is never scanned again.
    const int resultLength = length() + matches * (toLength - fromLength);
    if (resultLength == 0) {
        adopt(nullptr);
        return;
    }
    char* buffer = allocate(resultLength);
    char* out = buffer;
    const char* rest = text_;
    for (const char* found = std::strstr(rest, from); found != nullptr;
         found = std::strstr(rest, from)) {
        const auto kept = static_cast<std::size_t>(found - rest);
        std::memcpy(out, rest, kept);
        std::memcpy(out + kept, to == nullptr ? "" : to, static_cast<std::size_t>(toLength));
        out += kept + static_cast<std::size_t>(toLength);
        rest = found + fromLength;
    }
    std::memcpy(out, rest, std::strlen(rest) + 1);
    adopt(buffer);
}

void String::trimLeft() {
    const TextView kept = TextView(*this).trimmedLeft();
    if (kept.length() != length()) {
        assign(kept.data(), kept.length());
    }
}

void String::trimRight() {
    const TextView kept = TextView(*this).trimmedRight();
    if (kept.length() != length()) {
        assign(kept.data(), kept.length());
    }
}

void String::resize(int n) {
    const int size = length();
    if (n <= 0) {
        adopt(nullptr);
        return;
    }
    if (n == size) {
        return;
    }
    char* buffer = allocate(n);
    const int kept = size < n ? size : n;
    std::memcpy(buffer, c_str(), static_cast<std::size_t>(kept));
    std::memset(buffer + kept, ' ', static_cast<std::size_t>(n - kept));
    buffer[n] = '\0';
    adopt(buffer);
}

void String::format(const char* fmt, ...) {
    if (fmt == nullptr) {
        adopt(nullptr);
        return;
    }
    const int fmtLength = textLength(fmt);
    const int size = length();
    int room = fmtLength > size ? fmtLength : size;
    // The output goes to a buffer of its own, so that arguments may point into this string.
    for (;;) {
        std::unique_ptr<char[]> buffer(allocate(room));
        std::va_list args;
        va_start(args, fmt);
        const int count =
            std::vsnprintf(buffer.get(), static_cast<std::size_t>(room) + 1, fmt, args);
        va_end(args);
        if (count >= 0 && count <= room) {
            // Keep exactly the text before the first NUL (a "%c" of 0 ends it early).
            const int kept = boundedLength(buffer.get(), count);
            adopt(kept > 0 && kept == room ? buffer.release() : copyOf(buffer.get(), kept));
            return;
        }
        if (count < 0) {
            if (room >= kNegativeFormatLimit) {
                throw MemoryException();
            }
            room += kFormatGrowth;
        } else {
            room = count;
        }
    }
}

String String::fromInt(int n) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", n);
    return String(digits);
}

String operator+(const String& left, const String& right) {
    return String::concat(left.data(), right.data());
}

String operator+(const char* left, const String& right) {
    return String::concat(left, right.data());
}

String operator+(const String& left, const char* right) {
    return String::concat(left.data(), right);
}

String operator+(char left, const String& right) {
    const char text[2] = {left, '\0'};
    return String::concat(text, right.data());
}

String operator+(const String& left, char right) {
    const char text[2] = {right, '\0'};
    return String::concat(left.data(), text);
}

int toInt(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    while (isWhiteSpace(*text)) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    // Unsigned arithmetic wraps at 32 bits without overflow.
    std::uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10u + static_cast<std::uint32_t>(*text - '0');
    }
    return static_cast<int>(negative ? 0u - value : value);
}

void toLower(String& text) {
    const int size = text.length();
    if (size == 0) {
        return;
    }
    char* buffer = allocate(size);
    for (int i = 0; i <= size; ++i) {
        buffer[i] = foldCase(text.text_[i]);
    }
    text.adopt(buffer);
}

std::uint32_t stringHash(const String& key) {
    std::uint32_t hash = 0;
    for (const char* byte = key.c_str(); *byte != '\0'; ++byte) {
        const auto signedByte = static_cast<std::int32_t>(static_cast<signed char>(*byte));
        hash = hash * 33u + static_cast<std::uint32_t>(signedByte);
    }
    return hash;
}

} // namespace kestrum
