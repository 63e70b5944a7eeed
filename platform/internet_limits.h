#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace rariduze {

// Time limits of every transfer, in seconds: a dead or silent server ends in a failed open or
// read, never in a hang. These defaults are the updater's; tests pass shorter ones. The stall
// clock runs only while a caller waits for bytes, so a slow reader is never cut off. Each
// limit is taken between 1 s and kLongestLimitSeconds.
struct InternetLimits {
  long connect_seconds = 20;  // to establish the connection (and the TLS handshake)
  long stall_seconds = 30;    // no byte at all for this long ends the transfer
};

// A day: no clock or library option overflows below it.
inline constexpr long kLongestLimitSeconds = 24 * 60 * 60;

inline InternetLimits ClampedLimits(InternetLimits limits) {
  limits.connect_seconds = std::clamp(limits.connect_seconds, 1L, kLongestLimitSeconds);
  limits.stall_seconds = std::clamp(limits.stall_seconds, 1L, kLongestLimitSeconds);
  return limits;
}

// How long the final answer's head may take: a server that keeps talking without ever giving
// it (one interim answer after another) is cut off once the connect and stall limits passed.
inline std::chrono::seconds AnswerLimit(const InternetLimits& limits) {
  return std::chrono::seconds(limits.connect_seconds + limits.stall_seconds);
}

// What every backend holds to, whatever its library would allow.
inline constexpr int kMaxRedirects = 10;
// A header block is kept up to this size; a longer one is only marked as too long.
inline constexpr std::size_t kMaxHeaderBlock = 64 * 1024;
// Passing over the start of a body whose server ignored the range is given the answer's time
// plus this rate's: a server that trickles cannot keep the positioning going for ever.
inline constexpr std::int64_t kSlowestSkipBytesPerSecond = 64 * 1024;
// How long a read that has some bytes waits for the rest of its buffer (ReadFile).
inline constexpr int kPartialReadWaitMs = 250;
inline constexpr std::chrono::milliseconds kPartialReadWait{kPartialReadWaitMs};

}  // namespace rariduze
