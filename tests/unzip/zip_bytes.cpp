#include "tests/unzip/zip_bytes.h"

#include <gtest/gtest.h>

namespace rariduze::testing {
namespace {

std::uint16_t Get16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

}  // namespace

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  return Get16(bytes, at) | (static_cast<std::uint32_t>(Get16(bytes, at + 2)) << 16);
}

void Put16(std::string& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xff);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, static_cast<std::uint16_t>(value & 0xffff));
  Put16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

ZipLayout LayoutOf(const std::string& bytes) {
  ZipLayout layout;
  EXPECT_GE(bytes.size(), 22u);
  if (bytes.size() < 22) return layout;
  layout.directory_end = bytes.size() - 22;
  EXPECT_EQ(Get32(bytes, layout.directory_end), 0x06054b50u) << "an archive with a comment";
  layout.directory_offset = Get32(bytes, layout.directory_end + field::kEndDirectoryOffset);
  std::size_t at = layout.directory_offset;
  for (std::uint16_t i = 0; i < Get16(bytes, layout.directory_end + field::kEndEntries); ++i) {
    EXPECT_EQ(Get32(bytes, at), 0x02014b50u);
    layout.central.push_back(at);
    layout.local.push_back(Get32(bytes, at + field::kCentralLocalOffset));
    at += 46 + Get16(bytes, at + 28) + Get16(bytes, at + 30) + Get16(bytes, at + 32);
  }
  return layout;
}

void RenameEntry(std::string& bytes, const ZipLayout& layout, std::size_t i,
                 const std::string& name) {
  ASSERT_EQ(Get16(bytes, layout.central[i] + field::kCentralNameLength), name.size());
  ASSERT_EQ(Get16(bytes, layout.local[i] + 26), name.size());
  bytes.replace(layout.central[i] + field::kCentralName, name.size(), name);
  bytes.replace(layout.local[i] + field::kLocalName, name.size(), name);
}

}  // namespace rariduze::testing
