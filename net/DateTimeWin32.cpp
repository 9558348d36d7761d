#include "net/DateTime.h"

#include <time.h>

namespace kestrum {

bool DateTime::toLocalCalendar(std::int64_t instant, std::tm& out) {
    const time_t seconds = static_cast<time_t>(instant);
    return localtime_s(&out, &seconds) == 0;
}

} // namespace kestrum
