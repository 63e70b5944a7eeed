#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rariduze::unziplib {

// The zip format's traditional password encryption: three keys stirred by every plain byte.
class TraditionalDecryptor {
 public:
  // Bytes of the 12-byte header that starts every encrypted entry's data.
  static constexpr std::size_t kHeaderSize = 12;

  explicit TraditionalDecryptor(std::string_view password);

  // Decrypts the header; true when its last byte is check, as it is with the right password
  // (a wrong one passes 1 time in 256; the CRC at the end catches it then).
  bool AcceptHeader(unsigned char* header, std::uint8_t check);
  void Decrypt(unsigned char* data, std::size_t size);

 private:
  void Stir(unsigned char plain);
  std::uint32_t Crc(std::uint32_t crc, unsigned char byte) const;

  std::uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
  const void* table_;
};

}  // namespace rariduze::unziplib
