#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rariduze {

// True when a partial answer's Content-Range ("bytes 100-4999/5000") is the rest of the file
// from byte `from`: it starts there and runs to the file's end, or to an end it does not tell
// ("bytes 100-4999/*"). A range that stops short would end the body early, and one that
// starts elsewhere would splice the wrong bytes on.
bool RangeRunsToTheEnd(std::string_view content_range, std::int64_t from);

// True when text may be sent as a header's value (an If-Range validator): nothing in it could
// end the header line or hide in it, so no control character but the tab.
bool IsHeaderValue(std::string_view text);

// Where positioning distance bytes away from position leads, for both backends: nothing when
// the place is outside what a position can hold (0 to INT32_MAX) or, away from position, when
// the validator to send could not be sent (empty, or it could end its header line).
std::optional<std::int64_t> PositionTarget(std::int64_t position, std::int32_t distance,
                                           const std::string* validator);

}  // namespace rariduze
