#pragma once

#include "platform/windows_api.h"

namespace rariduze {

// The pictures on frmMain's three buttons, drawn with GDI for this program at any size.
enum class ButtonPicture { kCheck, kStop, kExit };

// Draws picture into the square at left, top with the given side, smoothed over what the
// square already shows. A disabled picture is drawn in light greys.
void DrawButtonPicture(HDC dc, ButtonPicture picture, int left, int top, int side, bool enabled);

}  // namespace rariduze
