#pragma once

#include <optional>
#include <string>

namespace rariduze::ModuloUp {

// The updater's own directory, ending in the platform's separator ("/" or "\").
std::string AppDir();

// Removes a leading lower-case "http://" or "https://" from url and splits the rest at its
// first "/": url keeps the host, path gets the rest from the "/" on. Without a "/" url stays
// the host and path is left as the caller set it.
void SplitUrl(std::string& url, std::string& path);

// The text before the first NUL character; the whole buffer when it holds none.
std::string TrimAtNul(const std::string& buffer);

}  // namespace rariduze::ModuloUp

namespace rariduze {

// The user's private temporary directory, ending in the separator: the updater extracts and
// runs an installer there, so other users must not reach it (on Linux a folder of the user's
// own under $TMPDIR or /tmp; on Windows the user's temporary folder). Nothing, with the reason
// in *error, when no safe folder can be had.
std::optional<std::string> TempDir(std::string* error = nullptr);

}  // namespace rariduze
