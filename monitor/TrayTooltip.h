#pragma once

#include "net/String.h"

#include <cstdint>

namespace kestrum {

// The rates as the tooltip shows them: in the display's unit, each with its share of the line in
// percent when the line's capacity is known, -1 when not.
struct TooltipRates {
    std::uint32_t received = 0;
    std::uint32_t sent = 0;
    const char* unit = "KB/s";
    int receivedShare = -1;
    int sentShare = -1;
};

// The tray icon's tooltip. The shell keeps 127 UTF-16 units of it, so the rate lines come first,
// then the hint whole, and the gateway's name gets what is left, cut on a character and ended
// with "…". Texts are UTF-8; the result is valid UTF-8 (an invalid byte becomes U+FFFD), so that
// its length in UTF-16 units is known here.
class TrayTooltip {
public:
    static constexpr int maximumUnits = 127;
    // Before Windows 11 the tray takes "&" as a mnemonic prefix and shows "&&&" as one "&";
    // Windows 11 shows the text as it is.
    enum class Ampersands { Literal, Tripled };

    explicit TrayTooltip(Ampersands ampersands = Ampersands::Literal) : ampersands_(ampersands) {}

    // Before the first rates: the name and the hint.
    String status(const String& name, const char* hint) const;
    // The name and the hint, then the rate lines.
    String withRates(const String& name, const char* hint, const TooltipRates& rates) const;
    // The rate lines themselves, the one place their text is made.
    static String rateLines(const TooltipRates& rates);

private:
    String fitted(const String& name, const char* hint, const String& tail) const;

    Ampersands ampersands_;
};

} // namespace kestrum
