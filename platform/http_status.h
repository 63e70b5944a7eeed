#pragma once

#include <string_view>

namespace rariduze {

// The status code of an HTTP status line ("HTTP/1.1 404 Not Found" gives 404): the three
// digits after the line's first blank, followed by a blank or the line's end, in a line that
// begins with "HTTP/". 0 for any other line.
int HttpStatusCode(std::string_view status_line);

}  // namespace rariduze
