#include "platform/buffered_writable_file.h"

#include <cstring>
#include <utility>

namespace rariduze {
namespace {

RuntimeFailure NotOpen() { return RuntimeFailure(kFailureBadFileName, "Bad file name or number"); }

}  // namespace

void BufferedWritableFile::Write(const char* data, std::size_t size) {
  if (!IsOpen()) throw NotOpen();
  if (size > kWriteBufferSize - held_) Flush();
  if (size >= kWriteBufferSize) {
    if (!WriteOut(data, size)) throw Failure("Cannot write", LastError());
    return;
  }
  std::memcpy(buffer_ + held_, data, size);
  held_ += size;
}

void BufferedWritableFile::Flush() {
  if (held_ == 0) return;
  const std::size_t size = std::exchange(held_, 0);
  if (!WriteOut(buffer_, size)) throw Failure("Cannot write", LastError());
}

void BufferedWritableFile::Seek(std::int64_t position) {
  if (!IsOpen()) throw NotOpen();
  Flush();
  if (!SeekTo(position)) throw Failure("Cannot seek in", LastError());
}

void BufferedWritableFile::Close() {
  if (!IsOpen()) return;
  bool written = true;
  int error = 0;
  if (held_ > 0) {
    written = WriteOut(buffer_, std::exchange(held_, 0));
    if (!written) error = LastError();
  }
  if (!CloseFile() && written) {
    written = false;
    error = LastError();
  }
  if (!written) throw Failure("Cannot write", error);
}

void BufferedWritableFile::CloseQuietly() noexcept {
  try {
    Close();
  } catch (const RuntimeFailure&) {
    // Nobody is left to tell; the bytes that did reach the file stay.
  }
}

}  // namespace rariduze
