#pragma once

#include <cstdint>

namespace kestrum {

class String;

// Bytes of value 32 or less: space and every control byte. Trimming removes them.
constexpr bool isBlank(char byte) {
    return static_cast<unsigned char>(byte) <= 32;
}

// ASCII A-Z to a-z; every other byte, also above 127, stays.
constexpr char foldCase(char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte;
}

// The decimal digits at text: returns how many there are, so the first byte after them is at text
// plus that count, and sets value to the number they make. A number beyond 32 bits reads as 2^32,
// above every 32-bit value, so that callers check one bound whatever the length.
int readDecimal(const char* text, std::uint64_t& value);

// A non-owning view of bytes, a pointer and a length, carrying the scanning helpers of the code
// base. Positions are checked: a start or count outside the view is clipped, a byte outside it
// reads as NUL and a search that finds nothing gives -1.
class TextView {
public:
    TextView() = default;
    // A negative length is taken as 0.
    TextView(const char* text, int length);
    // Up to the first NUL; null is the empty view.
    TextView(const char* text);   // NOLINT: implicit by design, like a literal
    TextView(const String& text); // NOLINT: implicit by design, a String is text

    const char* data() const { return data_; }
    int length() const { return length_; }
    bool isEmpty() const { return length_ == 0; }
    char operator[](int index) const { return index >= 0 && index < length_ ? data_[index] : '\0'; }

    TextView substring(int start, int count = -1) const;
    int find(char byte, int start = 0) const;
    // An empty needle gives -1.
    int find(TextView needle, int start = 0) const;
    int findFirstOf(TextView bytes, int start = 0) const;
    bool startsWith(TextView prefix) const;
    bool equalsIgnoringCase(TextView other) const;

    TextView trimmedLeft() const;
    TextView trimmedRight() const;
    TextView trimmed() const { return trimmedLeft().trimmedRight(); }

    // An owned copy, up to the first NUL like every String.
    String toString() const;

private:
    const char* data_ = "";
    int length_ = 0;
};

} // namespace kestrum
