#include "app/button_pictures_win32.h"
#include "tests/app/button_picture_canvas.h"

namespace rariduze::testing {

DrawnPicture DrawWithFrontEnd(ButtonPicture picture, int side, bool enabled) {
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, side, side);
  HGDIOBJ old_bitmap = ::SelectObject(dc, bitmap);
  RECT all{0, 0, side, side};
  ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  DrawButtonPicture(dc, picture, 0, 0, side, enabled);
  DrawnPicture drawn{side, {}};
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const COLORREF pixel = ::GetPixel(dc, x, y);
      drawn.pixels.push_back({GetRValue(pixel), GetGValue(pixel), GetBValue(pixel)});
    }
  }
  ::SelectObject(dc, old_bitmap);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return drawn;
}

}  // namespace rariduze::testing
