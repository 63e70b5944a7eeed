#include "app/version.h"

#include <vector>

#include "platform/failure.h"
#include "platform/number_text.h"
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

// The part written with at least four digits ("22" gives "0022"); a part that is not a plain
// number (blanks, a sign and decimal digits) stays as it is.
std::string FourDigitForm(const std::string& part) {
  std::size_t begin = 0;
  std::size_t end = part.size();
  while (begin < end && IsBlank(part[begin])) ++begin;
  while (end > begin && IsBlank(part[end - 1])) --end;
  bool negative = false;
  if (begin < end && (part[begin] == '+' || part[begin] == '-')) {
    negative = part[begin] == '-';
    ++begin;
  }
  if (begin == end) return part;
  for (std::size_t i = begin; i < end; ++i) {
    if (part[i] < '0' || part[i] > '9') return part;
  }
  while (end - begin > 1 && part[begin] == '0') ++begin;
  std::string digits = part.substr(begin, end - begin);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return (negative && digits.find_first_not_of('0') != std::string::npos) ? "-" + digits : digits;
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
  std::vector<std::string> installed_parts = SplitAtFullStops(installed);
  std::vector<std::string> downloaded_parts = SplitAtFullStops(downloaded);
  std::string installed_digits;
  std::string downloaded_digits;
  for (std::size_t k = 0; k < installed_parts.size(); ++k) {
    installed_digits += FourDigitForm(installed_parts[k]);
    // A part the downloaded version lacks counts as 0 rather than as whatever lies past its end.
    downloaded_digits += k < downloaded_parts.size() ? FourDigitForm(downloaded_parts[k]) : "0000";
  }
  return ReadLeadingNumber(installed_digits) < ReadLeadingNumber(downloaded_digits);
}

}  // namespace rariduze::ModuloUp
