// A stand-in for the unzip library that lets binding tests see both sides of the interface.
// The archive path names a script; each line is one step:
//   record                      writes what the call received to "<script>.seen"
//   print COUNT TEXT            print callback with TEXT (padded with 'x' up to COUNT bytes)
//   list A1..A9 PATH METHOD A12 A13   list callback; PATH "-" is an empty path
//                               (list steps run in listings only)
//   listlong N                  list callback with an N-byte path that has no NUL near it
//   listmany N                  N list callbacks for f1.txt .. fN.txt
//   replace NAME                replace callback; its answer goes to the seen file
//   password LENGTH             password callback with a LENGTH-byte buffer; what it wrote too
//   service COUNT NAME          service callback; its answer goes to the seen file
//   return CODE                 the call's result (default 1)
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "unzip/library/unzip_api.h"

namespace {

void Note(const std::string& seen, const std::string& line) {
  std::ofstream out(seen, std::ios::app | std::ios::binary);
  out << line << '\n';
}

std::string Slot(const char* const* list, int i) {
  if (list == nullptr) return "nolist";
  if (list[i] == nullptr) return "null";
  return std::string("\"") + list[i] + "\"";
}

void Record(const std::string& seen, int include_count, const char* const* includes,
            int exclude_count, const char* const* excludes, const UnzipOptions& options) {
  std::ostringstream text;
  text << "include_count " << include_count << '\n';
  for (int i = 0; i <= include_count + 1 && i < UNZIP_NAME_LIST_SLOTS; ++i) {
    text << "include " << i << ' ' << Slot(includes, i) << '\n';
  }
  text << "include 1023 " << Slot(includes, 1023) << '\n';
  text << "exclude_count " << exclude_count << '\n';
  for (int i = 0; i <= exclude_count + 1; ++i) {
    text << "exclude " << i << ' ' << Slot(excludes, i) << '\n';
  }
  const int32_t* fields = &options.extract_only_newer;
  for (int field = 1; field <= 15; ++field) {
    text << "option " << field << ' ' << fields[field - 1] << '\n';
  }
  text << "archive " << (options.archive_path ? options.archive_path : "null") << '\n';
  text << "target "
       << (options.target_folder ? "\"" + std::string(options.target_folder) + "\"" : "null");
  Note(seen, text.str());
}

}  // namespace

extern "C" {

int32_t Wiz_SingleEntryUnzip(int32_t include_count, const char* const* include_names,
                             int32_t exclude_count, const char* const* exclude_names,
                             UnzipOptions* options, UnzipCallbacks* callbacks) {
  std::string script = options->archive_path ? options->archive_path : "";
  std::string seen = script + ".seen";
  std::ifstream in(script);
  int32_t code = 1;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string step;
    words >> step;
    if (step == "record") {
      Record(seen, include_count, include_names, exclude_count, exclude_names, *options);
    } else if (step == "print") {
      int count = 0;
      words >> count;
      std::string text;
      std::getline(words >> std::ws, text);
      std::vector<char> buffer(std::max<std::size_t>(count, text.size()) + 1, 'x');
      std::memcpy(buffer.data(), text.data(), text.size());
      buffer.back() = '\0';
      callbacks->print(buffer.data(), count);
    } else if (step.rfind("list", 0) == 0 && options->list_only == 0) {
      continue;  // entries are reported by listings only
    } else if (step == "list") {
      uint32_t a1, a2, a12;
      int32_t a3, a4, a5, a6, a7, a8, a9, a13;
      std::string path, method;
      words >> a1 >> a2 >> a3 >> a4 >> a5 >> a6 >> a7 >> a8 >> a9 >> path >> method >> a12 >> a13;
      if (path == "-") path.clear();
      callbacks->list(a1, a2, a3, a4, a5, a6, a7, a8, a9, path.c_str(), method.c_str(), a12, a13);
    } else if (step == "listlong") {
      std::size_t n = 0;
      words >> n;
      std::string path(n, 'p');
      callbacks->list(1, 1, 100, 1, 1, 2020, 0, 0, '-', path.c_str(), "Stored", 0, ' ');
    } else if (step == "listmany") {
      int n = 0;
      words >> n;
      for (int i = 1; i <= n; ++i) {
        std::string path = "f" + std::to_string(i) + ".txt";
        callbacks->list(1, 1, 100, 1, 1, 2020, 0, 0, '-', path.c_str(), "Stored", 0, ' ');
      }
    } else if (step == "replace") {
      std::string name;
      words >> name;
      Note(seen, "replace " + std::to_string(callbacks->replace(name.c_str())));
    } else if (step == "password") {
      int length = 0;
      words >> length;
      // The buffer is followed by guard bytes that the callback must leave alone.
      std::vector<char> buffer(static_cast<std::size_t>(length) + 16, '\x7f');
      int32_t answer = callbacks->password(buffer.data(), length, "Password", "secret.txt");
      std::size_t used = strnlen(buffer.data(), static_cast<std::size_t>(length));
      bool guard_intact = true;
      for (std::size_t i = static_cast<std::size_t>(length); i < buffer.size(); ++i) {
        guard_intact = guard_intact && buffer[i] == '\x7f';
      }
      Note(seen, "password " + std::to_string(answer) + " terminated " +
                     (used < static_cast<std::size_t>(length) ? "1" : "0") + " guard " +
                     (guard_intact ? "1" : "0") + " text " +
                     (answer == 0 ? std::string(buffer.data(), used) : ""));
    } else if (step == "service") {
      int count = 0;
      std::string name;
      words >> count >> name;
      Note(seen, "service " + std::to_string(callbacks->service(name.c_str(), count)));
    } else if (step == "return") {
      words >> code;
    }
  }
  return code;
}

// Answers "ok" in the beta-level text when the record arrived as the caller must prepare it,
// and the interface version 3.4.5 (with a fourth byte that must not be read).
void UzpVersion2(UnzipVersionRecord* record) {
  bool prepared = record->length == sizeof(UnzipVersionRecord) && record->flags == 0 &&
                  std::string(record->beta_level) == "         " &&
                  std::string(record->date) == std::string(19, ' ') &&
                  std::string(record->compression_library) == "         " &&
                  record->interface_version.major == 0;
  std::memset(record->beta_level, 0, sizeof record->beta_level);
  std::strcpy(record->beta_level, prepared ? "ok" : "bad");
  record->interface_version = UnzipVersionGroup{3, 4, 5, 9};
}

}  // extern "C"
