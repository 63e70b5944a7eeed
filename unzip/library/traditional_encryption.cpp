#include "unzip/library/traditional_encryption.h"

#include <zlib.h>

namespace rariduze::unziplib {

TraditionalDecryptor::TraditionalDecryptor(std::string_view password) : table_(get_crc_table()) {
  for (char c : password) Stir(static_cast<unsigned char>(c));
}

std::uint32_t TraditionalDecryptor::Crc(std::uint32_t crc, unsigned char byte) const {
  // One step of the CRC-32 register, without the inversions of a whole CRC.
  const auto* table = static_cast<const z_crc_t*>(table_);
  return static_cast<std::uint32_t>(table[(crc ^ byte) & 0xff]) ^ (crc >> 8);
}

void TraditionalDecryptor::Stir(unsigned char plain) {
  keys_[0] = Crc(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xff)) * 134775813u + 1;
  keys_[2] = Crc(keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
}

void TraditionalDecryptor::Decrypt(unsigned char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    std::uint32_t temp = (keys_[2] & 0xffff) | 2;
    auto plain = static_cast<unsigned char>(data[i] ^ ((temp * (temp ^ 1)) >> 8));
    Stir(plain);
    data[i] = plain;
  }
}

bool TraditionalDecryptor::AcceptHeader(unsigned char* header, std::uint8_t check) {
  Decrypt(header, kHeaderSize);
  return header[kHeaderSize - 1] == check;
}

}  // namespace rariduze::unziplib
