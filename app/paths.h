#pragma once

#include <string>

// SplitUrl and TrimAtNul of this module live with the transfer control, which needs them.
#include "transfer/request_text.h"

namespace rariduze::ModuloUp {

using rariduze::IsHttpsUrl;
using rariduze::SplitUrl;
using rariduze::TrimAtNul;

// The updater's own directory, ending in the platform's separator ("/" or "\").
std::string AppDir();

}  // namespace rariduze::ModuloUp
