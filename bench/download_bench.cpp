// Downloads files of several sizes from a local nginx, taking turns between the transfer
// control (in rariduze-download-client), a plain `rariduze-fetch --quiet` and `curl -s -o`,
// and prints for each its throughput and peak memory as lowest, median and highest round, and
// the ratios of its median and of its best round to curl's, measured in the same run.
//   rariduze-download-bench --client PATH --fetch PATH --work DIR [--into DIR]
//                           [--sizes 64,1024] [--rounds 5]
// Sizes are in MiB; the served files are made in DIR (below the build tree) and kept for the
// next run. The downloads go into --into (default: DIR), where each is removed after its run:
// a folder in memory keeps the disk's write-back out of the figures. Nothing is pinned to a
// processor: the programs run as a user runs them, so the rounds spread more.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/nginx_server.h"

namespace {

using rariduze::testing::ChildProcess;
using Clock = std::chrono::steady_clock;

struct Sample {
  double seconds = 0;
  long peak_rss_kib = 0;
};

struct Options {
  std::string client;
  std::string fetch;
  std::string work;
  std::string into;
  std::vector<long> sizes_mib = {64, 1024};
  int rounds = 5;
};

// A file of size MiB of random-looking bytes, made once.
std::string MakeFile(const std::string& folder, long mib) {
  std::string path = folder + "/file-" + std::to_string(mib) + "MiB.bin";
  std::error_code error;
  if (std::filesystem::file_size(path, error) == static_cast<std::uintmax_t>(mib) << 20) {
    return path;
  }
  std::mt19937_64 random(42);
  std::vector<std::uint64_t> block((1 << 20) / sizeof(std::uint64_t));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (long i = 0; i < mib; ++i) {
    for (std::uint64_t& word : block) word = random();
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size() * sizeof(std::uint64_t)));
  }
  return path;
}

Sample Run(const std::vector<std::string>& argv, const std::string& output,
           std::uintmax_t expected_size, const std::string& logs) {
  std::filesystem::remove(output);
  // The previous run's dirty pages are written out first, not during this one.
  ::sync();
  Clock::time_point start = Clock::now();
  ChildProcess child(argv, logs + "/child.out", logs + "/child.err");
  std::optional<int> status = child.Wait(std::chrono::minutes(10));
  Sample sample;
  sample.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  sample.peak_rss_kib = child.peak_rss_kib();
  std::error_code error;
  if (!status || *status != 0 || std::filesystem::file_size(output, error) != expected_size) {
    std::fprintf(stderr, "run failed: %s (status %d)\n", argv[0].c_str(), status.value_or(-99));
    std::exit(1);
  }
  std::filesystem::remove(output);
  return sample;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// One program that downloads, and its rounds.
struct Contender {
  std::string name;
  std::vector<std::string> argv;  // the URL and the target are appended
  std::vector<double> speeds;     // MiB/s of each round
  std::vector<double> peaks_mib;  // peak RSS of each round
};

// "512-640-680": the lowest round, the median and the highest.
std::string Spread(const std::vector<double>& values, const char* format) {
  auto [low, high] = std::minmax_element(values.begin(), values.end());
  char text[96];
  const std::string pattern = std::string(format) + "-" + format + "-" + format;
  std::snprintf(text, sizeof text, pattern.c_str(), *low, Median(values), *high);
  return text;
}

double Best(const std::vector<double>& values) {
  return *std::max_element(values.begin(), values.end());
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    std::string value = argv[i + 1];
    if (name == "--client") {
      options->client = value;
    } else if (name == "--fetch") {
      options->fetch = value;
    } else if (name == "--work") {
      options->work = value;
    } else if (name == "--into") {
      options->into = value;
    } else if (name == "--rounds") {
      options->rounds = std::max(1, std::atoi(value.c_str()));
    } else if (name == "--sizes") {
      options->sizes_mib.clear();
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');) {
        options->sizes_mib.push_back(std::atol(item.c_str()));
      }
    } else {
      return false;
    }
  }
  return !options->client.empty() && !options->fetch.empty() && !options->work.empty() &&
         !options->sizes_mib.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (argc % 2 == 0 || !ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: rariduze-download-bench --client PATH --fetch PATH --work DIR "
                 "[--into DIR] [--sizes 64,1024] [--rounds 5]\n");
    return 2;
  }
  const std::string www = options.work + "/www";
  const std::string logs = options.work + "/out";
  const std::string into = options.into.empty() ? logs : options.into;
  std::filesystem::create_directories(www);
  std::filesystem::create_directories(logs);
  std::filesystem::create_directories(into);
  ::setenv("RARIDUZE_TEST_WORK_DIR", (options.work + "/servers").c_str(), 1);

  // A proxy named in the environment would carry the downloads of some contenders and not of
  // others; the desktop's other settings stay, as a user's rariduze-fetch meets them.
  for (const char* name :
       {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    ::unsetenv(name);
  }
  std::vector<std::string> files;
  for (long mib : options.sizes_mib) files.push_back(MakeFile(www, mib));
  rariduze::testing::NginxServer nginx(www);

  std::printf("%-8s %-8s %18s %7s %11s %17s\n", "size", "program", "MiB/s low-med-high", "ratio",
              "best ratio", "peak RSS MiB");
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::uintmax_t size = static_cast<std::uintmax_t>(options.sizes_mib[i]) << 20;
    const std::string url = nginx.Url("/" + std::filesystem::path(files[i]).filename().string());
    const std::string target = into + "/download.bin";
    const double mib = static_cast<double>(options.sizes_mib[i]);
    std::vector<Contender> contenders = {
        {"control", {options.client}, {}, {}},
        {"fetch", {options.fetch, "--quiet"}, {}, {}},
        {"curl", {"curl", "-s", "-o"}, {}, {}},
    };
    // Round 0 is not counted: it brings the file into the page cache and the programs into
    // memory. Without it, whoever goes first meets a cold cache and has a round of a third of
    // its speed.
    for (int round = 0; round <= options.rounds; ++round) {
      // Who goes first turns with each round, so none always meets what another left behind.
      for (std::size_t turn = 0; turn < contenders.size(); ++turn) {
        Contender& contender = contenders[(turn + static_cast<std::size_t>(round)) % 3];
        std::vector<std::string> argv = contender.argv;
        if (contender.name == "curl") {
          argv.push_back(target);
          argv.push_back(url);
        } else {
          argv.push_back(url);
          argv.push_back(target);
        }
        Sample sample = Run(argv, target, size, logs);
        if (round == 0) continue;
        contender.speeds.push_back(mib / sample.seconds);
        contender.peaks_mib.push_back(static_cast<double>(sample.peak_rss_kib) / 1024);
      }
    }
    const Contender& curl = contenders[2];
    for (const Contender& contender : contenders) {
      std::printf(
          "%-8s %-8s %18s %7.2f %11.2f %17s\n",
          (std::to_string(options.sizes_mib[i]) + "MiB").c_str(), contender.name.c_str(),
          Spread(contender.speeds, "%.0f").c_str(), Median(contender.speeds) / Median(curl.speeds),
          Best(contender.speeds) / Best(curl.speeds), Spread(contender.peaks_mib, "%.1f").c_str());
    }
    for (const Contender& contender : contenders) {
      std::string rounds;
      for (double speed : contender.speeds) rounds += " " + std::to_string(std::lround(speed));
      std::printf("         %-8s rounds in order:%s\n", contender.name.c_str(), rounds.c_str());
    }
    std::fflush(stdout);
  }
  std::printf(
      "(%d rounds each, not pinned; ratio = median / curl's median, best ratio = best round / "
      "curl's best round)\n",
      options.rounds);
  return 0;
}
