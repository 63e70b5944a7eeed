#pragma once

#include <optional>
#include <string>

// SplitUrl and TrimAtNul of this module live with the transfer control, which needs them.
#include "platform/system_services.h"
#include "transfer/request_text.h"

namespace rariduze::ModuloUp {

using rariduze::IsHttpsUrl;
using rariduze::SplitUrl;
using rariduze::TrimAtNul;

// The updater's own directory, ending in the platform's separator ("/" or "\").
std::string AppDir();

}  // namespace rariduze::ModuloUp

namespace rariduze {

// The temporary directory of this run, ending in the separator: the updater downloads,
// verifies, extracts and runs an installer there, so neither other users nor another run of
// the updater may reach it (a fresh folder of this run's own in the user's private temporary
// folder). Nothing, with the reason in *error, when no safe folder can be had.
std::optional<std::string> TempDir(SystemServices& system, std::string* error = nullptr);

}  // namespace rariduze
