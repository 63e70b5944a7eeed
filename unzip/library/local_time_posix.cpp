#include "unzip/library/local_time.h"

namespace rariduze::unziplib {

std::tm LocalCalendarTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

}  // namespace rariduze::unziplib
