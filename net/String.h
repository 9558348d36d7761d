#pragma once

#include <cstdint>
#include <cstdio>

// MinGW formats with its own C99 printf rather than the system's, and says so in this macro;
// the format checks must follow the formatter actually used.
#ifdef __MINGW_PRINTF_FORMAT
#define KESTRUM_PRINTF_FORMAT(fmt, first) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#else
#define KESTRUM_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#endif

namespace kestrum {

// Byte text that stores the empty text as null. Every modifying operation builds a new buffer
// of exactly length + 1 bytes; copies never share buffers. The length is the count of bytes
// before the first NUL and is never cached; bytes after a NUL are never stored. A buffer that
// cannot be allocated throws MemoryException.
class String {
public:
    String() = default;
    String(const char* text) { assign(text); } // NOLINT: implicit by design, like a literal
    String(const char* text, int length) { assign(text, length); }
    String(const String& other) { assign(other); }
    String(String&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
    String& operator=(const String& other) {
        assign(other);
        return *this;
    }
    String& operator=(String&& other) noexcept;
    String& operator=(const char* text) {
        assign(text);
        return *this;
    }
    ~String();

    // A negative length takes the whole text; null text or length 0 stores null.
    void assign(const char* text, int length = -1);
    void assign(const String& other);
    void append(const char* text);
    void append(const String& other) { append(other.text_); }

    // -1, 0 or 1; bytes compare unsigned; a null text equals only the empty string.
    int compare(const char* text) const;
    int compare(const String& other) const { return compare(other.text_); }
    bool operator==(const String& other) const { return compare(other) == 0; }
    bool operator==(const char* text) const { return compare(text) == 0; }

    int length() const;
    bool isEmpty() const { return length() == 0; }
    // Never null: the empty string reads as "".
    const char* c_str() const { return text_ != nullptr ? text_ : ""; }
    // Null for the empty string.
    const char* data() const { return text_; }
    // Index 0 of the empty string reads the terminating NUL, as for any other string.
    char operator[](int index) const { return c_str()[index]; }

    // A start outside the string gives the empty string.
    String substring(int start, int count = -1) const;
    // A negative start searches from the beginning.
    int find(const char* needle, int start = 0) const;
    int find(const String& needle, int start = 0) const { return find(needle.text_, start); }
    int findFirstOf(const char* chars, int start = 0) const;
    bool startsWith(const char* prefix) const;
    bool endsWith(const char* suffix) const;
    bool endsWithChar(char byte) const;

    // Replaced text is never scanned again.
    void replaceAll(const char* from, const char* to);
    // Trimming removes bytes of value 32 or less.
    void trimLeft();
    void trimRight();
    void trim() {
        trimRight();
        trimLeft();
    }
    // Keeps the first min(length, n) bytes and pads with spaces up to n.
    void resize(int n);
    void format(const char* fmt, ...) KESTRUM_PRINTF_FORMAT(2, 3);
    static String fromInt(int n);
    // One new string holding left followed by right; either may be null.
    static String concat(const char* left, const char* right);

private:
    friend void toLower(String& text);

    // Takes ownership of a NUL-terminated buffer (or null) and frees the old one.
    void adopt(char* buffer);

    char* text_ = nullptr;
};

String operator+(const String& left, const String& right);
String operator+(const char* left, const String& right);
String operator+(const String& left, const char* right);
String operator+(char left, const String& right);
String operator+(const String& left, char right);

// Decimal value after leading white space: optional sign, digits up to the first non-digit,
// accumulated in 32 bits with wrap-around. Null or empty text gives 0.
int toInt(const char* text);
inline int toInt(const String& text) {
    return toInt(text.data());
}

// ASCII A-Z to a-z in place; every other byte stays.
void toLower(String& text);

// h = h * 33 + b over the bytes taken as signed, wrapping at 32 bits.
std::uint32_t stringHash(const String& key);

} // namespace kestrum
