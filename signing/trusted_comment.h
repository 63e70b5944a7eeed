#pragma once

#include <optional>
#include <string_view>

namespace rariduze {

// The publisher names the version an archive installs in its signature's trusted comment, as
// a word "version:1.0.23"; words are separated by blanks (space or tab), as in the signing
// tool's own comments ("timestamp:1700000000<TAB>file:setupZT.zip").

// The text after "version:" in the comment's one word that begins with it; nothing when no
// word or more than one does (a comment naming two versions names none).
std::optional<std::string_view> VersionInTrustedComment(std::string_view trusted_comment);

// True when the comment names exactly version: the word's text equals it byte for byte, so
// "version:1.0.23" names 1.0.23 and neither 1.0.023, 1.0.23.0 nor " 1.0.23". An empty version
// is never named.
bool TrustedCommentNamesVersion(std::string_view trusted_comment, std::string_view version);

}  // namespace rariduze
