// Downloads files of several sizes from a local nginx, taking turns between the transfer
// control (in rariduze-download-client), rariduze-fetch --quiet and `curl -s -o`, and prints
// the median throughput of each with its spread, the ratios to curl and the peak memory.
//   rariduze-download-bench --client PATH --fetch PATH --work DIR [--into DIR]
//                           [--sizes 64,1024] [--rounds 5]
// Sizes are in MiB; the served files are made in DIR (below the build tree) and kept for the
// next run. The downloads go into --into (default: DIR), where each is removed after its run:
// a folder in memory keeps the disk's write-back out of the figures. With two processors or
// more, nginx runs on one and every downloader on another: where the scheduler happens to put
// a downloader (beside nginx, sharing its cache, or not) otherwise changes a round's speed by
// a factor of two or more, and the rounds spread with it.

#include <sched.h>
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

// The processors this process may run on.
std::vector<int> AllowedProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> processors;
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return processors;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) processors.push_back(cpu);
  }
  return processors;
}

// This process, and every program it starts from now on, runs on cpu only.
void RunOn(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  if (::sched_setaffinity(0, sizeof set, &set) != 0) std::perror("sched_setaffinity");
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
  long peak_rss_kib = 0;
};

// "512-680 (25 %)": the lowest and highest round, and their distance from each other as a
// share of the median.
std::string Spread(const std::vector<double>& values) {
  auto [low, high] = std::minmax_element(values.begin(), values.end());
  char text[64];
  std::snprintf(text, sizeof text, "%.0f-%.0f (%.0f %%)", *low, *high,
                100.0 * (*high - *low) / Median(values));
  return text;
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

  std::vector<std::string> files;
  for (long mib : options.sizes_mib) files.push_back(MakeFile(www, mib));
  const std::vector<int> processors = AllowedProcessors();
  if (processors.size() >= 2) RunOn(processors[0]);
  rariduze::testing::NginxServer nginx(www);
  if (processors.size() >= 2) {
    RunOn(processors[1]);
    std::printf("nginx on processor %d, the downloaders on processor %d\n", processors[0],
                processors[1]);
  }

  std::printf("%-8s %-10s %12s %20s %7s %10s\n", "size", "program", "median MiB/s",
              "rounds MiB/s (spread)", "ratio", "RSS KiB");
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::uintmax_t size = static_cast<std::uintmax_t>(options.sizes_mib[i]) << 20;
    const std::string url = nginx.Url("/" + std::filesystem::path(files[i]).filename().string());
    const std::string target = into + "/download.bin";
    const double mib = static_cast<double>(options.sizes_mib[i]);
    std::vector<Contender> contenders = {
        {"control", {options.client}, {}},
        {"fetch", {options.fetch, "--quiet", "--connect-type", "2"}, {}},
        {"curl", {"curl", "-s", "--noproxy", "*", "-o"}, {}},
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
        contender.peak_rss_kib = std::max(contender.peak_rss_kib, sample.peak_rss_kib);
      }
    }
    const double curl_median = Median(contenders[2].speeds);
    for (const Contender& contender : contenders) {
      const double median = Median(contender.speeds);
      std::printf("%-8s %-10s %12.1f %20s %7.2f %10ld\n",
                  (std::to_string(options.sizes_mib[i]) + "MiB").c_str(), contender.name.c_str(),
                  median, Spread(contender.speeds).c_str(), median / curl_median,
                  contender.peak_rss_kib);
    }
    for (const Contender& contender : contenders) {
      std::string rounds;
      for (double speed : contender.speeds) rounds += " " + std::to_string(std::lround(speed));
      std::printf("         %-10s rounds in order:%s\n", contender.name.c_str(), rounds.c_str());
    }
    std::fflush(stdout);
  }
  std::printf("(%d rounds each; ratio = median / curl's median)\n", options.rounds);
  return 0;
}
