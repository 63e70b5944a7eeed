// Writes a folder tree for the extraction benchmark: FILES files of about TOTAL_BYTES in all,
// in forty folders, half of them text that compresses well and half random bytes, a few with
// the execute bit. The same arguments always give the same tree.
//   rariduze-bench-tree FOLDER FILES TOTAL_BYTES
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

class Random {
 public:
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

std::string Text(Random& random, std::size_t size) {
  static const char* const kWords[] = {
      "update ",   "zentri ", "setup ",    "install ", "folder ", "version ", "archive ", "window ",
      "progress ", "file ",   "download ", "server ",  "12 ",     "345 ",     "6789 ",    "\n"};
  std::string text;
  text.reserve(size + 16);
  while (text.size() < size) text += kWords[random.Next() % 16];
  text.resize(size);
  return text;
}

std::string Bytes(Random& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; i += 8) {
    std::uint64_t word = random.Next();
    for (std::size_t j = 0; j < 8 && i + j < size; ++j)
      bytes[i + j] = static_cast<char>(word >> (8 * j));
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: rariduze-bench-tree FOLDER FILES TOTAL_BYTES\n";
    return 2;
  }
  std::filesystem::path root = argv[1];
  long files = std::stol(argv[2]);
  long long total = std::stoll(argv[3]);
  if (files <= 0 || total <= 0) return 2;
  std::size_t average = static_cast<std::size_t>(total / files);
  Random random;
  for (long i = 0; i < files; ++i) {
    std::filesystem::path folder = root / ("folder" + std::to_string(i % 40));
    std::filesystem::create_directories(folder);
    // Sizes spread from a fifth to nine fifths of the average.
    std::size_t size = average / 5 + random.Next() % (average * 8 / 5 + 1);
    bool text = i % 2 == 0;
    std::filesystem::path path = folder / ("file" + std::to_string(i) + (text ? ".txt" : ".bin"));
    std::string contents = text ? Text(random, size) : Bytes(random, size);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    if (!out) {
      std::cerr << "rariduze-bench-tree: cannot write " << path << '\n';
      return 1;
    }
    if (i % 50 == 0) ::chmod(path.c_str(), 0755);
  }
  return 0;
}
