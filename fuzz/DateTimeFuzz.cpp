// Parses arbitrary text as a date of the form "Oct 13 2004 00:00:00 GMT+00".

#include "net/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kestrum::DateTime;
    // The parser takes a C string: the bytes up to the first NUL, and never one beyond it.
    const std::string text(reinterpret_cast<const char*>(data), size);
    constexpr std::int32_t before = 123456789;
    DateTime date(before);
    const bool parsed = date.parse(text.c_str());
    if (!parsed && date.instant() != before) {
        std::abort(); // a failure must leave the instant alone
    }
    // The result is the text's alone, whatever the instant held before.
    DateTime other(-1);
    if (other.parse(text.c_str()) != parsed || (parsed && other.instant() != date.instant())) {
        std::abort();
    }
    static_cast<void>(date.localYear() + date.localMonth() + date.localDay());
    return 0;
}
