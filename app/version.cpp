#include "app/version.h"

#include <string_view>
#include <vector>

#include "platform/failure.h"
#include "platform/text_fields.h"

namespace rariduze::ModuloUp {
namespace {

std::string FirstField(FileSystem& files, const std::string& path) {
  std::optional<TextFieldReader> reader = OpenTextFields(files, path);
  if (!reader) return {};
  try {
    return reader->ReadField();
  } catch (const RuntimeFailure&) {
    return {};  // an empty file has no field
  }
}

std::vector<std::string> SplitAtFullStops(const std::string& text) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  std::size_t start = 0;
  while (true) {
    std::size_t dot = text.find('.', start);
    parts.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts;
}

// The number a version part stands for, as its decimal digits without leading zeros (none for
// 0). Blanks and a plus sign before it are passed over and only its leading digits count, so a
// part that holds no number (empty, "b") counts as 0. Kept as digits, a part of any length
// compares right: nothing overflows or rounds.
std::string_view PartNumber(std::string_view part) {
  std::size_t begin = 0;
  while (begin < part.size() && IsBlank(part[begin])) ++begin;
  if (begin < part.size() && part[begin] == '+') ++begin;
  std::size_t end = begin;
  while (end < part.size() && part[end] >= '0' && part[end] <= '9') ++end;
  while (begin < end && part[begin] == '0') ++begin;
  return part.substr(begin, end - begin);
}

// Below zero, zero or above zero as the number a is below, equal to or above b.
int CompareNumbers(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

std::string ReadInstalledVersion(const std::string& app_dir, FileSystem& files) {
  return FirstField(files, app_dir + "versionZT.dat");
}

std::string ReadDownloadedVersion(const std::string& folder, FileSystem& files) {
  return Trim(FirstField(files, folder + "ZTVersion"));
}

bool IsVersionText(const std::string& text) {
  bool digit = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c != '.' && !IsBlank(c)) {
      return false;
    }
  }
  return digit;
}

bool IsNewerVersion(const std::string& installed, const std::string& downloaded) {
  const std::vector<std::string> installed_parts = SplitAtFullStops(installed);
  const std::vector<std::string> downloaded_parts = SplitAtFullStops(downloaded);
  // The first part that differs decides, as if every part had a fixed width; a part the
  // downloaded version lacks counts as 0 rather than as whatever lies past its end.
  for (std::size_t k = 0; k < installed_parts.size(); ++k) {
    const std::string_view downloaded_part =
        k < downloaded_parts.size() ? std::string_view(downloaded_parts[k]) : std::string_view();
    const int order = CompareNumbers(PartNumber(installed_parts[k]), PartNumber(downloaded_part));
    if (order != 0) return order < 0;
  }
  return false;
}

}  // namespace rariduze::ModuloUp
