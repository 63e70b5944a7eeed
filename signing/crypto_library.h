#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "signing/signature_format.h"

namespace rariduze {

// The few operations of the cryptography library (libgcrypt) that signature checks need.

// Makes the library ready, once per process and from any thread; false when this machine's
// library is older than the one this build was compiled against or cannot be started, and then
// nothing below can succeed.
bool PrepareCryptoLibrary();

// The library's version check: the running version when it is at least required, else null.
using CryptoVersionCheck = const char* (*)(const char* required);
// What PrepareCryptoLibrary does, at every call and with check_version in place of the
// library's own, so that tests can play another version of the library.
bool StartCryptoLibrary(CryptoVersionCheck check_version);

// The library hands data to its Ed25519 code in S-expressions, whose items hold less than
// 64 KiB (it corrupts longer ones without a word), so messages stay well below that.
inline constexpr std::size_t kMaxEd25519MessageBytes = 32 * 1024;

// Pure Ed25519 (RFC 8032) check of signature over message with key; false for a message over
// kMaxEd25519MessageBytes.
bool Ed25519SignatureHolds(const Ed25519Key& key, std::span<const std::uint8_t> message,
                           const Ed25519Signature& signature);

inline constexpr std::size_t kBlake2b512Size = 64;

// An unkeyed BLAKE2b-512 digest, fed piece by piece so a large file never sits in memory.
class Blake2b512 {
 public:
  Blake2b512();
  ~Blake2b512();
  Blake2b512(const Blake2b512&) = delete;
  Blake2b512& operator=(const Blake2b512&) = delete;

  // False when the library could not give a digest of this kind.
  bool usable() const { return handle_ != nullptr; }
  void Add(const char* data, std::size_t size);
  // The digest of everything added (once); nothing when the library gave none.
  std::optional<std::array<std::uint8_t, kBlake2b512Size>> Finish();

 private:
  void* handle_ = nullptr;  // the library's digest handle; its header stays out of ours
};

}  // namespace rariduze
