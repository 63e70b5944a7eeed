#include "platform/wininet_answer.h"

#include <utility>

#include "platform/header_text.h"
#include "platform/wininet_url.h"

namespace rariduze {
namespace {

// The value of one header of the answer (or its whole head), as the API gives it.
std::optional<std::wstring> QueryText(HINTERNET request, DWORD level) {
  DWORD bytes = 0;
  ::HttpQueryInfoW(request, level, nullptr, &bytes, nullptr);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return std::nullopt;
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (!::HttpQueryInfoW(request, level, value.data(), &bytes, nullptr)) return std::nullopt;
  value.resize(bytes / sizeof(wchar_t));
  return value;
}

// The same as the server's bytes, blanks around it trimmed.
std::optional<std::string> QueryBytes(HINTERNET request, DWORD level) {
  std::optional<std::wstring> text = QueryText(request, level);
  if (!text) return std::nullopt;
  return std::string(TrimBlanks(ServerBytes(*text)));
}

}  // namespace

std::optional<WinInetAnswer> ReadAnswer(HINTERNET request, bool body_follows) {
  WinInetAnswer answer;
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
    return std::nullopt;
  }
  answer.head.status = static_cast<int>(status);

  std::optional<std::wstring> block = QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF);
  // The API answers a connection that closed without a word with an empty head: no answer.
  if (!block || !block->starts_with(L"HTTP/")) return std::nullopt;
  // Interim answers are never final; one that comes last means the real one never came.
  if (status < 200) return std::nullopt;
  if (block->size() > kMaxHeaderBlock) {
    answer.head.block_too_long = true;
  } else {
    answer.head.block = ServerBytes(*block);
  }

  if (std::optional<std::string> length = QueryBytes(request, HTTP_QUERY_CONTENT_LENGTH)) {
    // A length that does not even begin with a digit makes a body unreadable; without a body
    // it harms nothing, and the headers were read all the same.
    if (!length->empty() && length->front() >= '0' && length->front() <= '9') {
      std::uint64_t value = 0;
      for (char c : *length) {
        if (c < '0' || c > '9') break;
        value = value > (UINT64_MAX - 9) / 10 ? UINT64_MAX : value * 10 + (c - '0');
      }
      answer.length = value;
    } else if (body_follows) {
      return std::nullopt;
    }
  }
  if (std::optional<std::string> coding = QueryBytes(request, HTTP_QUERY_TRANSFER_ENCODING)) {
    // A chunked body says its own end; the API has dropped any length given beside it.
    if (StartsWithNoCase(*coding, "chunked")) answer.length.reset();
  }
  if (std::optional<std::string> range = QueryBytes(request, HTTP_QUERY_CONTENT_RANGE)) {
    answer.head.content_range = std::move(*range);
  }
  if (std::optional<std::string> where = QueryBytes(request, HTTP_QUERY_LOCATION)) {
    answer.location = HeaderText(*where);
  }
  return answer;
}

bool IsRedirect(int status) {
  return status == 300 || status == 301 || status == 302 || status == 303 || status == 307 ||
         status == 308;
}

}  // namespace rariduze
