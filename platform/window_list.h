#pragma once

#include <functional>
#include <string>

namespace rariduze {

// Calls visit with the title (UTF-8) of every top-level window of the desktop that has one,
// shown or hidden, one after the other, until visit returns false. Without a desktop nothing
// is visited.
void EnumerateTopLevelWindows(const std::function<bool(const std::string& title)>& visit);

}  // namespace rariduze
