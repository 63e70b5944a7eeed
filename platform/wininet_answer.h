#pragma once

#include "platform/windows_api.h"
// After the Win32 headers, which it needs.
#include <wininet.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/internet_exchange.h"

namespace rariduze {

// The final answer's head as the platform's internet API gives it, with what the body needs.
struct WinInetAnswer {
  AnswerHead head;
  std::optional<std::uint64_t> length;  // what the body announces, when it announces anything
  std::wstring location;                // a redirect's Location, blanks around it trimmed
};

// Reads the head of the answer the request got; nothing when it is no usable final answer.
// body_follows: false for an answer to HEAD, which has no body for a length to describe.
std::optional<WinInetAnswer> ReadAnswer(HINTERNET request, bool body_follows);

bool IsRedirect(int status);

}  // namespace rariduze
