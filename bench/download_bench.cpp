// Downloads files of several sizes from a local nginx, alternating the transfer control (in
// rariduze-download-client) and `curl -s -o`, and prints throughput and peak memory of each.
//   rariduze-download-bench --client PATH --work DIR [--sizes 64,1024] [--rounds 5]
// Sizes are in MiB; the files are made in DIR (below the build tree) and kept for the next run.

#include <unistd.h>

#include <algorithm>
#include <chrono>
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
  std::string work;
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

// "64MiB spread of 5 rounds: control 500-560 MiB/s, curl 610-650 MiB/s, ratio 0.80-0.88"
std::string Spread(const std::string& size, const std::vector<double>& control,
                   const std::vector<double>& curl, const std::vector<double>& ratios, int rounds) {
  auto range = [](const std::vector<double>& values, const char* format) {
    auto [low, high] = std::minmax_element(values.begin(), values.end());
    char text[64];
    std::snprintf(text, sizeof text, format, *low, *high);
    return std::string(text);
  };
  return size + " spread of " + std::to_string(rounds) + " rounds: control " +
         range(control, "%.0f-%.0f") + " MiB/s, curl " + range(curl, "%.0f-%.0f") +
         " MiB/s, ratio of each pair " + range(ratios, "%.2f-%.2f");
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    std::string value = argv[i + 1];
    if (name == "--client") {
      options->client = value;
    } else if (name == "--work") {
      options->work = value;
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
  return !options->client.empty() && !options->work.empty() && !options->sizes_mib.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (argc % 2 == 0 || !ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: rariduze-download-bench --client PATH --work DIR [--sizes 64,1024] "
                 "[--rounds 5]\n");
    return 2;
  }
  const std::string www = options.work + "/www";
  const std::string out = options.work + "/out";
  std::filesystem::create_directories(www);
  std::filesystem::create_directories(out);
  ::setenv("RARIDUZE_TEST_WORK_DIR", (options.work + "/servers").c_str(), 1);

  std::vector<std::string> files;
  for (long mib : options.sizes_mib) files.push_back(MakeFile(www, mib));
  rariduze::testing::NginxServer nginx(www);

  std::printf("%-8s %14s %14s %7s %16s %16s\n", "size", "control MiB/s", "curl MiB/s", "ratio",
              "control RSS KiB", "curl RSS KiB");
  std::vector<std::string> spreads;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::uintmax_t size = static_cast<std::uintmax_t>(options.sizes_mib[i]) << 20;
    const std::string url = nginx.Url("/" + std::filesystem::path(files[i]).filename().string());
    const std::string target = out + "/download.bin";
    std::vector<double> control_speed;
    std::vector<double> curl_speed;
    std::vector<double> ratios;  // of each round's pair, which ran back to back
    long control_rss = 0;
    long curl_rss = 0;
    const double mib = static_cast<double>(options.sizes_mib[i]);
    for (int round = 0; round < options.rounds; ++round) {
      // Who goes first alternates, so neither always meets what the other left behind.
      auto run_control = [&] { return Run({options.client, url, target}, target, size, out); };
      auto run_curl = [&] {
        return Run({"curl", "-s", "--noproxy", "*", "-o", target, url}, target, size, out);
      };
      Sample control;
      Sample curl;
      if (round % 2 == 0) {
        control = run_control();
        curl = run_curl();
      } else {
        curl = run_curl();
        control = run_control();
      }
      control_speed.push_back(mib / control.seconds);
      curl_speed.push_back(mib / curl.seconds);
      ratios.push_back(curl.seconds / control.seconds);
      control_rss = std::max(control_rss, control.peak_rss_kib);
      curl_rss = std::max(curl_rss, curl.peak_rss_kib);
    }
    double control_median = Median(control_speed);
    double curl_median = Median(curl_speed);
    std::printf("%-8s %14.1f %14.1f %7.2f %16ld %16ld\n",
                (std::to_string(options.sizes_mib[i]) + "MiB").c_str(), control_median, curl_median,
                control_median / curl_median, control_rss, curl_rss);
    spreads.push_back(Spread(std::to_string(options.sizes_mib[i]) + "MiB", control_speed,
                             curl_speed, ratios, options.rounds));
    std::fflush(stdout);
  }
  for (const std::string& line : spreads) std::printf("%s\n", line.c_str());
  return 0;
}
