#pragma once

#include <cstddef>
#include <cstdint>

namespace rariduze::unziplib::zipformat {

// Record signatures, as the first four bytes of each record hold them (little-endian).
inline constexpr std::uint32_t kLocalHeader = 0x04034b50;
inline constexpr std::uint32_t kCentralHeader = 0x02014b50;
inline constexpr std::uint32_t kDirectoryEnd = 0x06054b50;
inline constexpr std::uint32_t kZip64DirectoryEnd = 0x06064b50;
inline constexpr std::uint32_t kZip64Locator = 0x07064b50;
inline constexpr std::uint32_t kDataDescriptor = 0x08074b50;

// Fixed sizes of the records, without their variable parts.
inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kDirectoryEndSize = 22;
inline constexpr std::size_t kZip64DirectoryEndSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;
inline constexpr std::size_t kMaxComment = 0xffff;

// General purpose flags.
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;
inline constexpr std::uint16_t kFlagMaskedHeaders = 0x2000;

// Compression methods this reader knows by number.
inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;
inline constexpr std::uint16_t kMethodAes = 99;

// Extra field tags.
inline constexpr std::uint16_t kExtraZip64 = 0x0001;
inline constexpr std::uint16_t kExtraUnicodePath = 0x7075;
inline constexpr std::uint16_t kExtraAes = 0x9901;

// A 32-bit or 16-bit field at its maximum means "the value is in the ZIP64 records".
inline constexpr std::uint32_t kZip64Mark32 = 0xffffffff;
inline constexpr std::uint16_t kZip64Mark16 = 0xffff;

// Reads little-endian fields one after another from a byte range; once a read would pass the
// end, every further read gives 0 and ok() turns false.
class FieldReader {
 public:
  FieldReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t U8() { return static_cast<std::uint8_t>(Take(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Take(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Take(4)); }
  std::uint64_t U64() { return Take(8); }
  // The next size bytes (nullptr when they are not there), and steps over them.
  const unsigned char* Bytes(std::size_t size) {
    if (!ok_ || size > size_ - position_) {
      ok_ = false;
      return nullptr;
    }
    const unsigned char* at = data_ + position_;
    position_ += size;
    return at;
  }
  bool ok() const { return ok_; }
  std::size_t position() const { return position_; }
  std::size_t left() const { return ok_ ? size_ - position_ : 0; }

 private:
  std::uint64_t Take(std::size_t width) {
    const unsigned char* at = Bytes(width);
    if (at == nullptr) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i) value = (value << 8) | at[i - 1];
    return value;
  }

  const unsigned char* data_;
  std::size_t size_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace rariduze::unziplib::zipformat
