#include "unzip/library/windows_names.h"

#include <string_view>

namespace rariduze::unziplib {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetters(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Upper(text[i]) != upper[i]) return false;
  }
  return true;
}

// Windows reads a device name from the part up to its first dot, less trailing blanks, and
// also takes the superscript digits after COM and LPT.
bool IsDeviceName(std::string_view part) {
  std::string_view base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (SameLetters(base, device)) return true;
  }
  for (std::string_view port : {"COM", "LPT"}) {
    if (base.size() < 4 || !SameLetters(base.substr(0, 3), port)) continue;
    std::string_view number = base.substr(3);
    if (number.size() == 1 && number[0] >= '0' && number[0] <= '9') return true;
    // "¹", "²" and "³" in UTF-8.
    if (number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3") return true;
  }
  return false;
}

std::optional<std::string> PartProblem(std::string_view part) {
  if (part == "..") return "path leads outside the target folder";
  for (char c : part) {
    auto byte = static_cast<unsigned char>(c);
    if (c == ':') return "\":\" in a name (a drive or an alternate data stream)";
    if (byte < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
      return "a character that Windows does not allow in names";
    }
  }
  if (part.back() == '.' || part.back() == ' ') {
    return "a name ending in a dot or a blank, which Windows would change";
  }
  if (IsDeviceName(part)) return "a reserved device name";
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WindowsNameProblem(const std::string& name) {
  if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) {
    return "a UNC or device path";
  }
  if (!name.empty() && IsSeparator(name[0])) return "absolute path";
  if (name.size() >= 2 && IsLetter(name[0]) && name[1] == ':') return "a drive letter";
  std::string_view rest = name;
  while (!rest.empty()) {
    std::size_t end = 0;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string_view part = rest.substr(0, end);
    if (!part.empty() && part != ".") {
      if (std::optional<std::string> problem = PartProblem(part)) return problem;
    }
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
  }
  return std::nullopt;
}

}  // namespace rariduze::unziplib
