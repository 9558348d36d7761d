#include "net/DateTime.h"

#include <time.h>

namespace kestrum {

bool DateTime::toLocalCalendar(std::int64_t instant, std::tm& out) {
    const time_t seconds = static_cast<time_t>(instant);
    return localtime_r(&seconds, &out) != nullptr;
}

} // namespace kestrum
