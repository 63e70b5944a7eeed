// rariduze-unzip: lists or extracts an archive through the unzip object, printing its events.
//   rariduze-unzip list ARCHIVE
//   rariduze-unzip extract ARCHIVE FOLDER [--overwrite] [--prompt-overwrite ANSWER]
//       [--folder-names] [--only-newer] [--test] [--password PW] [--select NAME]...
//       [--cancel-at NAME]
// Exit status: 0 listing or extraction done, 1 not done, 2 bad arguments, 3 an error was raised.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "tools/program_arguments.h"
#include "unzip/unzip_object.h"

namespace {

using rariduze::cUnzip;

constexpr int kExitDone = 0;
constexpr int kExitNotDone = 1;
constexpr int kExitBadArguments = 2;
constexpr int kExitError = 3;

std::string WithSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

class PrintingEvents : public rariduze::UnzipEvents {
 public:
  std::optional<std::int32_t> overwrite_answer;
  std::optional<std::string> password;
  std::optional<std::string> cancel_at;
  // The library's error messages so far.
  int errors_told = 0;

  void Cancel(const std::string& sMsg, bool& bCancel) override {
    std::cout << "cancel-check " << sMsg << '\n';
    if (cancel_at && WithSlashes(sMsg) == WithSlashes(*cancel_at)) bCancel = true;
  }
  void OverwritePrompt(const std::string& sFIle, std::int32_t& eResponse) override {
    std::cout << "overwrite " << sFIle << '\n';
    if (overwrite_answer) eResponse = *overwrite_answer;
  }
  void PasswordRequest(std::string& sPassword, bool& /*bCancel*/) override {
    std::cout << "password\n";
    if (password) sPassword = *password;
  }
  void Progress(std::int32_t /*lCount*/, const std::string& sMsg) override {
    std::cout << "progress " << sMsg << '\n';
    if (sMsg.rfind("error", 0) == 0) ++errors_told;
  }
};

struct Arguments {
  std::string command;
  std::string archive;
  std::string folder;
  bool overwrite = false;
  std::optional<std::int32_t> prompt_answer;
  bool folder_names = false;
  bool only_newer = false;
  bool test = false;
  std::optional<std::string> password;
  std::vector<std::string> select;
  std::optional<std::string> cancel_at;
};

std::optional<std::int32_t> ParseAnswer(const std::string& text) {
  if (text == "no") return 100;
  if (text == "yes") return 102;
  if (text == "all") return 103;
  if (text == "none") return 104;
  try {
    std::size_t used = 0;
    int value = std::stoi(text, &used);
    if (used == text.size()) return value;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::optional<Arguments> Parse(const std::vector<std::string>& args) {
  Arguments parsed;
  if (args.size() == 2 && args[0] == "list") {
    parsed.command = "list";
    parsed.archive = args[1];
    return parsed;
  }
  if (args.size() < 3 || args[0] != "extract") return std::nullopt;
  parsed.command = "extract";
  parsed.archive = args[1];
  parsed.folder = args[2];
  for (std::size_t i = 3; i < args.size(); ++i) {
    const std::string& option = args[i];
    bool has_value = i + 1 < args.size();
    if (option == "--overwrite") {
      parsed.overwrite = true;
    } else if (option == "--folder-names") {
      parsed.folder_names = true;
    } else if (option == "--only-newer") {
      parsed.only_newer = true;
    } else if (option == "--test") {
      parsed.test = true;
    } else if (option == "--prompt-overwrite" && has_value) {
      parsed.prompt_answer = ParseAnswer(args[++i]);
      if (!parsed.prompt_answer) return std::nullopt;
    } else if (option == "--password" && has_value) {
      parsed.password = args[++i];
    } else if (option == "--select" && has_value) {
      parsed.select.push_back(args[++i]);
    } else if (option == "--cancel-at" && has_value) {
      parsed.cancel_at = args[++i];
    } else {
      return std::nullopt;
    }
  }
  return parsed;
}

std::string DateText(rariduze::UnzipDate date) {
  using namespace std::chrono;
  local_days day = floor<days>(date);
  year_month_day ymd{day};
  hh_mm_ss<seconds> time{date - day};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld:%02ld", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()));
  return text;
}

void PrintTable(const cUnzip& unzip) {
  for (std::int32_t i = 1; i <= unzip.FileCount(); ++i) {
    std::string packed;
    try {
      packed = std::to_string(unzip.FilePackedSize(i));
    } catch (const rariduze::RuntimeFailure&) {
      packed = "-";  // too large for the table's 32-bit arithmetic
    }
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", static_cast<std::uint32_t>(unzip.FileCRC(i)));
    std::cout << unzip.FileDirectory(i) << '\t' << unzip.Filename(i) << '\t' << unzip.FileSize(i)
              << '\t' << packed << '\t' << unzip.FileCompressionRatio(i) << '\t'
              << unzip.FileCompressionMethod(i) << '\t' << DateText(unzip.FileDate(i)) << '\t'
              << crc << '\t' << (unzip.FileEncrypted(i) ? 1 : 0) << '\n';
  }
  std::cout << "count " << unzip.FileCount() << '\n';
}

// Leaves only the named entries selected; false when a name is not in the table.
bool Select(cUnzip& unzip, const std::vector<std::string>& names) {
  std::set<std::string> wanted;
  for (const std::string& name : names) wanted.insert(WithSlashes(name));
  std::set<std::string> found;
  for (std::int32_t i = 1; i <= unzip.FileCount(); ++i) {
    std::string folder = WithSlashes(unzip.FileDirectory(i));
    std::string path = folder.empty() ? unzip.Filename(i) : folder + "/" + unzip.Filename(i);
    bool take = wanted.count(path) > 0;
    unzip.SetFileSelected(i, take);
    if (take) found.insert(path);
  }
  bool all_found = true;
  for (const std::string& name : wanted) {
    if (found.count(name) == 0) {
      std::cerr << "rariduze-unzip: no entry " << name << '\n';
      all_found = false;
    }
  }
  return all_found;
}

int Run(const Arguments& args) {
  PrintingEvents events;
  events.overwrite_answer = args.prompt_answer;
  events.password = args.password;
  events.cancel_at = args.cancel_at;
  cUnzip unzip;
  unzip.SetEventHandler(&events);
  unzip.SetZipFile(args.archive);
  if (args.command == "list") {
    // Directory tells nothing of its own success; the library's messages do.
    unzip.Directory();
    PrintTable(unzip);
    if (events.errors_told > 0) {
      std::cerr << "rariduze-unzip: " << args.archive << " could not be listed\n";
      return kExitNotDone;
    }
    return kExitDone;
  }
  unzip.SetUnzipFolder(args.folder);
  unzip.SetOverwriteExisting(args.overwrite);
  unzip.SetPromptToOverwrite(args.prompt_answer.has_value());
  unzip.SetUseFolderNames(args.folder_names);
  unzip.SetExtractOnlyNewer(args.only_newer);
  unzip.SetTestZip(args.test);
  if (!args.select.empty()) {
    unzip.Directory();
    PrintTable(unzip);
    if (!Select(unzip, args.select)) return kExitBadArguments;
  }
  bool done = unzip.Unzip();
  std::cout << "result " << (done ? "true" : "false") << '\n';
  return done ? kExitDone : kExitNotDone;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Arguments> args = Parse(rariduze::ProgramArguments(argc, argv));
  if (!args) {
    std::cerr << "usage: rariduze-unzip list ARCHIVE\n"
                 "       rariduze-unzip extract ARCHIVE FOLDER [--overwrite]"
                 " [--prompt-overwrite ANSWER] [--folder-names] [--only-newer] [--test]"
                 " [--password PW] [--select NAME]... [--cancel-at NAME]\n"
                 "ANSWER: 100 or no, 102 or yes, 103 or all, 104 or none\n";
    return kExitBadArguments;
  }
  try {
    return Run(*args);
  } catch (const rariduze::RuntimeFailure& failure) {
    std::cout << "error " << failure.number() << ' ' << failure.source() << ' '
              << failure.description() << '\n';
    return kExitError;
  }
}
