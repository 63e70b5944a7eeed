#pragma once

#include <optional>
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

namespace rariduze {

// The user's private temporary directory, ending in the separator: the updater extracts and
// runs an installer there, so other users must not reach it (on Linux a folder of the user's
// own under $TMPDIR or /tmp; on Windows the user's temporary folder). Nothing, with the reason
// in *error, when no safe folder can be had.
std::optional<std::string> TempDir(std::string* error = nullptr);

}  // namespace rariduze
