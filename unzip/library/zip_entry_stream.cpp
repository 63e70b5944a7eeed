#include "unzip/library/zip_entry_stream.h"

#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "unzip/library/zip_format.h"

namespace rariduze::unziplib {
namespace {

using namespace zipformat;

constexpr std::size_t kInputChunk = 64 * 1024;
// zlib counts in 32 bits; larger requests are served in pieces.
constexpr std::size_t kMaxPiece = 1u << 30;

class ZipEntryStream : public EntryReader {
 public:
  ZipEntryStream(ByteSource& source, const EntryData& data,
                 std::optional<TraditionalDecryptor> decryptor)
      : source_(source), data_(data), decryptor_(decryptor) {
    position_ = data.offset;
    packed_left_ = data.packed_size;
    if (data_.deflated) {
      input_.resize(kInputChunk);
      if (inflateInit2(&inflater_, -MAX_WBITS) == Z_OK) {
        inflating_ = true;
      } else {
        Fail("out of memory");
      }
    }
  }
  ~ZipEntryStream() override {
    if (inflating_) inflateEnd(&inflater_);
  }
  ZipEntryStream(const ZipEntryStream&) = delete;
  ZipEntryStream& operator=(const ZipEntryStream&) = delete;

  std::int64_t Read(char* buffer, std::size_t size, std::string* error) override;

 private:
  // Reads the next size packed bytes into buffer, decrypted; false when the archive cannot be
  // read there.
  bool Take(unsigned char* buffer, std::size_t size);
  // Up to asked bytes of the entry; 0 once its data has come to an end; -1 on damage.
  std::int64_t Stored(char* buffer, std::size_t asked);
  std::int64_t Inflated(char* buffer, std::size_t asked);
  // Called once the declared size has been handed out: the data must end here and check out.
  bool Finish();
  bool CheckDescriptor();
  std::int64_t Fail(const std::string& text) {
    if (!failed_) error_ = text;
    failed_ = true;
    return -1;
  }

  ByteSource& source_;
  EntryData data_;
  std::optional<TraditionalDecryptor> decryptor_;
  std::uint64_t position_ = 0;
  std::uint64_t packed_left_ = 0;
  std::uint64_t produced_ = 0;
  uLong crc_ = crc32(0L, Z_NULL, 0);
  std::vector<unsigned char> input_;
  z_stream inflater_{};
  bool inflating_ = false;
  bool stream_ended_ = false;
  bool done_ = false;
  bool failed_ = false;
  std::string error_;
};

bool ZipEntryStream::Take(unsigned char* buffer, std::size_t size) {
  if (!source_.ReadAt(position_, buffer, size)) return false;
  if (decryptor_) decryptor_->Decrypt(buffer, size);
  position_ += size;
  packed_left_ -= size;
  return true;
}

std::int64_t ZipEntryStream::Read(char* buffer, std::size_t size, std::string* error) {
  std::int64_t result = 0;
  if (!failed_ && !done_) {
    std::size_t asked = static_cast<std::size_t>(
        std::min<std::uint64_t>({size, data_.size - produced_, kMaxPiece}));
    if (asked == 0) {
      if (Finish()) done_ = true;
    } else {
      result = data_.deflated ? Inflated(buffer, asked) : Stored(buffer, asked);
      if (result == 0) Fail("the entry ends before its size says");
      if (result > 0) {
        crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(result));
        produced_ += static_cast<std::uint64_t>(result);
      }
    }
  }
  if (failed_) {
    *error = error_;
    return -1;
  }
  return result;
}

std::int64_t ZipEntryStream::Stored(char* buffer, std::size_t asked) {
  // Stored data is exactly as long as declared (checked on opening).
  std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(asked, packed_left_));
  if (n == 0) return 0;
  if (!Take(reinterpret_cast<unsigned char*>(buffer), n)) return Fail("cannot read the archive");
  return static_cast<std::int64_t>(n);
}

std::int64_t ZipEntryStream::Inflated(char* buffer, std::size_t asked) {
  for (;;) {
    if (stream_ended_) return 0;
    if (inflater_.avail_in == 0 && packed_left_ > 0) {
      std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(input_.size(), packed_left_));
      if (!Take(input_.data(), n)) return Fail("cannot read the archive");
      inflater_.next_in = input_.data();
      inflater_.avail_in = static_cast<uInt>(n);
    }
    inflater_.next_out = reinterpret_cast<Bytef*>(buffer);
    inflater_.avail_out = static_cast<uInt>(asked);
    int status = inflate(&inflater_, Z_NO_FLUSH);
    std::size_t got = asked - inflater_.avail_out;
    if (status == Z_STREAM_END) {
      stream_ended_ = true;
    } else if (status == Z_BUF_ERROR) {
      // No progress was possible: all input is used up.
      if (got == 0) return Fail("the compressed data ends early");
    } else if (status != Z_OK) {
      return Fail(status == Z_MEM_ERROR
                      ? std::string("out of memory")
                      : std::string("damaged compressed data") +
                            (inflater_.msg != nullptr ? std::string(" (") + inflater_.msg + ")"
                                                      : std::string()));
    }
    if (got > 0 || stream_ended_) return static_cast<std::int64_t>(got);
  }
}

bool ZipEntryStream::Finish() {
  if (data_.deflated) {
    // The stream must end here: one more byte means the entry is longer than declared.
    while (!stream_ended_) {
      unsigned char probe = 0;
      std::int64_t n = Inflated(reinterpret_cast<char*>(&probe), 1);
      if (n < 0) return false;
      if (n > 0) {
        Fail("the entry holds more data than its size says");
        return false;
      }
    }
    if (inflater_.avail_in > 0 || packed_left_ > 0) {
      Fail("the entry's compressed data is shorter than its packed size says");
      return false;
    }
  }
  if (crc_ != data_.crc) {
    Fail("CRC error");
    return false;
  }
  return !data_.descriptor || CheckDescriptor();
}

bool ZipEntryStream::CheckDescriptor() {
  const std::uint64_t at = data_.offset + data_.packed_size;
  std::uint64_t room = at <= data_.descriptor_limit ? data_.descriptor_limit - at : 0;
  unsigned char bytes[24] = {};
  std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(room, sizeof bytes));
  if (!source_.ReadAt(at, bytes, have)) {
    Fail("cannot read the archive");
    return false;
  }
  // The signature is optional, and the sizes take 4 or 8 bytes each: any form that agrees
  // with the directory will do.
  FieldReader first(bytes, have);
  bool signed_form = first.U32() == kDataDescriptor;
  for (std::size_t start : {signed_form ? std::size_t{4} : std::size_t{0}, std::size_t{0}}) {
    if (start > have) continue;
    FieldReader narrow(bytes + start, have - start);
    std::uint32_t crc = narrow.U32();
    std::uint64_t packed = narrow.U32();
    std::uint64_t size = narrow.U32();
    if (narrow.ok() && crc == data_.crc && packed == data_.descriptor_packed_size &&
        size == data_.size) {
      return true;
    }
    FieldReader wide(bytes + start, have - start);
    crc = wide.U32();
    packed = wide.U64();
    size = wide.U64();
    if (wide.ok() && crc == data_.crc && packed == data_.descriptor_packed_size &&
        size == data_.size) {
      return true;
    }
  }
  Fail("the data descriptor is missing or disagrees with the directory");
  return false;
}

}  // namespace

std::unique_ptr<EntryReader> OpenEntryStream(ByteSource& source, const EntryData& data,
                                             std::optional<TraditionalDecryptor> decryptor) {
  return std::make_unique<ZipEntryStream>(source, data, decryptor);
}

}  // namespace rariduze::unziplib
