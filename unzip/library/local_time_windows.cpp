#include "unzip/library/local_time.h"

namespace rariduze::unziplib {

std::tm LocalCalendarTime(std::time_t when) {
  std::tm local{};
  localtime_s(&local, &when);
  return local;
}

}  // namespace rariduze::unziplib
