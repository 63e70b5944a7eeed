#include "signing/trusted_comment.h"

namespace rariduze {
namespace {

constexpr std::string_view kVersionWord = "version:";
constexpr std::string_view kBlanks = " \t";

}  // namespace

std::optional<std::string_view> VersionInTrustedComment(std::string_view trusted_comment) {
  std::optional<std::string_view> found;
  std::string_view rest = trusted_comment;
  while (!rest.empty()) {
    std::size_t start = rest.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    std::string_view word = rest.substr(0, rest.find_first_of(kBlanks));
    rest.remove_prefix(word.size());
    if (!word.starts_with(kVersionWord)) continue;
    if (found) return std::nullopt;
    found = word.substr(kVersionWord.size());
  }
  return found;
}

bool TrustedCommentNamesVersion(std::string_view trusted_comment, std::string_view version) {
  if (version.empty()) return false;
  std::optional<std::string_view> named = VersionInTrustedComment(trusted_comment);
  return named && *named == version;
}

}  // namespace rariduze
