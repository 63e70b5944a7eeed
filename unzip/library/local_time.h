#pragma once

#include <ctime>

namespace rariduze::unziplib {

// The calendar fields of when in the system's local time (one implementation per platform).
std::tm LocalCalendarTime(std::time_t when);

}  // namespace rariduze::unziplib
