// The 8-bit texts of this system's libraries are UTF-8, as the program's own are.
#include "platform/system_code_page.h"

namespace rariduze {

namespace {
constexpr unsigned kUtf8CodePage = 65001;
}  // namespace

unsigned SystemCodePage() { return kUtf8CodePage; }

std::optional<std::string> ToSystemCodePage(std::string_view utf8) { return std::string(utf8); }

std::string ToSystemCodePageShown(std::string_view utf8) { return std::string(utf8); }

std::string FromSystemCodePage(std::string_view text) { return std::string(text); }

}  // namespace rariduze
