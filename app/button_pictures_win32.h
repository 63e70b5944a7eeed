#pragma once

#include "app/button_pictures.h"
#include "platform/windows_api.h"

namespace rariduze {

// Draws picture into the square at left, top with the given side, smoothed over what the
// square already shows.
void DrawButtonPicture(HDC dc, ButtonPicture picture, int left, int top, int side, bool enabled);

}  // namespace rariduze
