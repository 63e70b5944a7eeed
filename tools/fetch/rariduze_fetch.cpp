// rariduze-fetch: asks a server about one URL and downloads it through the transfer control,
// printing one line per event as it happens.

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/control_host.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/ui_services.h"
#include "tools/program_arguments.h"
#include "transfer/internet_file.h"

namespace {

using rariduze::InternetFile;
using rariduze::kLongestLimitSeconds;

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: rariduze-fetch [--resume] [--info-only] [--quiet] [--connect-type N]\n"
    "                      [--proxy HOST:PORT] [--user U --password P]\n"
    "                      [--cancel-at BYTES] [--cancel-after SECONDS]\n"
    "                      [--connect-seconds N] [--stall-seconds N] [--ca-file PATH]\n"
    "                      URL [LOCAL_FILE]\n"
    "  --connect-type  0 system settings (default), 1 the --proxy, 2 direct\n"
    "  --proxy         sets the proxy (port 1 to 32767) and, without --connect-type,\n"
    "                  connect type 1\n"
    "  --quiet         prints only the information and the outcome, not each progress\n"
    "  --cancel-after  asks for the cancel, as a click would, once SECONDS (may be a\n"
    "                  fraction) have passed since the start\n"
    "  --connect-seconds, --stall-seconds  from 1 to 86400\n"
    "  LOCAL_FILE      required unless --info-only\n";

template <typename Number>
std::optional<Number> ParseNumber(std::optional<std::string_view> given) {
  if (!given) return {};
  std::string_view text = *given;
  Number value{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
  return value;
}

struct Arguments {
  bool resume = false;
  bool info_only = false;
  bool quiet = false;
  std::optional<std::chrono::milliseconds> cancel_after;
  std::optional<std::int32_t> connect_type;
  std::optional<std::string> proxy_server;
  std::int16_t proxy_port = 8080;
  std::string user;
  std::string password;
  std::optional<std::int32_t> cancel_at;
  rariduze::InternetOptions options;
  std::string url;
  std::string local_file;
};

// Nothing when the arguments make no sense (the reason is printed).
std::optional<Arguments> Parse(const std::vector<std::string>& argv) {
  auto fail = [](const std::string& why) -> std::optional<Arguments> {
    std::fprintf(stderr, "rariduze-fetch: %s\n%s", why.c_str(), kUsage);
    return std::nullopt;
  };
  Arguments args;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    std::string_view arg = argv[i];
    auto value = [&]() -> std::optional<std::string_view> {
      if (i + 1 >= argv.size()) return std::nullopt;
      return std::string_view(argv[++i]);
    };
    if (arg == "--resume") {
      args.resume = true;
    } else if (arg == "--info-only") {
      args.info_only = true;
    } else if (arg == "--quiet") {
      args.quiet = true;
    } else if (arg == "--cancel-after") {
      auto seconds = ParseNumber<double>(value());
      if (!seconds || !(*seconds >= 0 && *seconds <= kLongestLimitSeconds)) {
        return fail("--cancel-after needs a number of seconds up to 86400");
      }
      args.cancel_after = std::chrono::milliseconds(static_cast<long>(*seconds * 1000));
    } else if (arg == "--connect-type") {
      auto number = ParseNumber<std::int32_t>(value());
      if (!number) return fail("--connect-type needs a whole number");
      args.connect_type = number;
    } else if (arg == "--proxy") {
      std::optional<std::string_view> text = value();
      std::size_t colon = text ? text->rfind(':') : std::string_view::npos;
      if (colon == std::string_view::npos) return fail("--proxy needs HOST:PORT");
      auto port = ParseNumber<std::int16_t>(text->substr(colon + 1));
      if (!port || *port < 1) return fail("the proxy port must be a number from 1 to 32767");
      args.proxy_server = std::string(text->substr(0, colon));
      args.proxy_port = *port;
    } else if (arg == "--user" || arg == "--password") {
      std::optional<std::string_view> text = value();
      if (!text) return fail(std::string(arg) + " needs a value");
      (arg == "--user" ? args.user : args.password) = std::string(*text);
    } else if (arg == "--cancel-at") {
      auto number = ParseNumber<std::int32_t>(value());
      if (!number || *number < 0) return fail("--cancel-at needs a byte count");
      args.cancel_at = number;
    } else if (arg == "--connect-seconds" || arg == "--stall-seconds") {
      auto number = ParseNumber<long>(value());
      if (!number || *number <= 0 || *number > kLongestLimitSeconds) {
        return fail(std::string(arg) + " needs a number from 1 to 86400");
      }
      (arg == "--connect-seconds" ? args.options.limits.connect_seconds
                                  : args.options.limits.stall_seconds) = *number;
    } else if (arg == "--ca-file") {
      std::optional<std::string_view> text = value();
      if (!text) return fail("--ca-file needs a path");
      args.options.ca_file = std::string(*text);
    } else if (arg.starts_with("--")) {
      return fail("unknown option " + std::string(arg));
    } else {
      positional.emplace_back(arg);
    }
  }
  if (positional.empty() || positional.size() > 2 || (positional.size() == 1 && !args.info_only)) {
    return fail("give the URL and the local file");
  }
  args.url = positional[0];
  if (positional.size() == 2) args.local_file = positional[1];
  return args;
}

// Server-controlled text on one line, with every control character, DEL and the backslash
// written as \xHH, so nothing it holds can move the cursor or forge another line.
std::string Escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f || c == '\\') {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", c);
      out += code;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Yields do nothing but play the user who clicks "Stop Download" after a while.
class CancellingUi : public rariduze::HeadlessUiServices {
 public:
  explicit CancellingUi(std::optional<std::chrono::milliseconds> cancel_after)
      : cancel_at_(cancel_after ? std::optional(std::chrono::steady_clock::now() + *cancel_after)
                                : std::nullopt) {}
  void SetFile(InternetFile* file) { file_ = file; }

  void Yield() override {
    if (file_ != nullptr && cancel_at_ && std::chrono::steady_clock::now() >= *cancel_at_) {
      file_->CancelDownload();
    }
  }

 private:
  std::optional<std::chrono::steady_clock::time_point> cancel_at_;
  InternetFile* file_ = nullptr;
};

// Prints each event on its own line at once (the progress only when not quiet), and remembers
// how the run ended.
class PrintingEvents : public rariduze::InternetFileEvents {
 public:
  PrintingEvents(InternetFile& file, std::optional<std::int32_t> cancel_at, bool quiet)
      : file_(file), cancel_at_(cancel_at), quiet_(quiet) {}

  void DownloadComplete() override {
    Print("complete");
    exit_status_ = kExitDone;
  }
  void DownloadProgress(std::int32_t lBytesRead) override {
    if (!quiet_) Print("progress " + std::to_string(lBytesRead));
    if (cancel_at_ && lBytesRead >= *cancel_at_) {
      cancel_at_.reset();
      file_.CancelDownload();
    }
  }
  void DownloadError(const std::string& sErrorDescription) override {
    Print("error " + sErrorDescription);
    exit_status_ = kExitFailed;
  }
  void DownloadCancelled(std::int32_t lPosition) override {
    Print("cancelled " + std::to_string(lPosition));
    exit_status_ = kExitFailed;
  }

  std::optional<int> exit_status() const { return exit_status_; }

 private:
  static void Print(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
  }

  InternetFile& file_;
  std::optional<std::int32_t> cancel_at_;
  bool quiet_;
  std::optional<int> exit_status_;
};

int Run(const Arguments& args) {
  std::unique_ptr<rariduze::InternetApi> internet = rariduze::CreateInternetApi(args.options);
  CancellingUi ui(args.cancel_after);
  rariduze::NullControlHost host;
  InternetFile file(*internet, ui, rariduze::FileSystem::Default(), host);
  ui.SetFile(&file);
  PrintingEvents events(file, args.cancel_at, args.quiet);
  file.SetEvents(&events);

  file.SetUrl(args.url);
  file.SetLocalFile(args.local_file);
  file.SetSiteUser(args.user);
  file.SetSitePassword(args.password);
  if (args.proxy_server) {
    file.SetProxyServer(*args.proxy_server);
    file.SetProxyPort(args.proxy_port);
  }
  file.SetConnectType(args.connect_type.value_or(args.proxy_server ? 1 : 0));

  file.RequestInformation();
  std::printf("info exists=%d size=%d modified=%s\n", file.FileExists() ? 1 : 0,
              static_cast<int>(file.FileSize()), Escaped(file.LastModified()).c_str());
  std::fflush(stdout);
  if (args.info_only) return kExitDone;

  if (args.resume) {
    file.ResumeDownload();
  } else {
    file.StartDownload();
  }
  if (!events.exit_status()) {
    std::fprintf(stderr, "rariduze-fetch: the download ended without an outcome\n");
    return kExitUsage;
  }
  return *events.exit_status();
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Arguments> args = Parse(rariduze::ProgramArguments(argc, argv));
  if (!args) return kExitUsage;
  try {
    return Run(*args);
  } catch (const rariduze::RuntimeFailure& failure) {
    std::fprintf(stderr, "rariduze-fetch: %d %s\n", failure.number(),
                 failure.description().c_str());
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "rariduze-fetch: %s\n", failure.what());
  }
  return kExitUsage;
}
