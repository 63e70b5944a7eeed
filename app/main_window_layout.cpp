#include "app/main_window_layout.h"

#include <algorithm>

namespace rariduze {

MainWindowLayout LayOutMainWindow(int dpi) {
  MainWindowLayout layout;
  layout.client_width = TwipsToPixels(5550, dpi);
  layout.client_height = TwipsToPixels(1800, dpi);
  layout.cmdVerifica = TwipsToPixelRect(135, 45, 1815, 1500, dpi);
  layout.cmdStopDownload = TwipsToPixelRect(1935, 45, 1815, 1500, dpi);
  layout.cmdEsci = TwipsToPixelRect(3735, 45, 1725, 1500, dpi);
  layout.ProgressBar1 = TwipsToPixelRect(0, 1560, 5550, 240, dpi);
  layout.picture_side = TwipsToPixels(720, dpi);
  return layout;
}

ButtonFaceLayout LayOutButtonFace(int width, int height, int line_height, int picture_side,
                                  int dpi) {
  // A margin of three pixels at 96 dpi keeps the face clear of the button's frame.
  const int margin = TwipsToPixels(45, dpi);
  ButtonFaceLayout face;
  const int caption_height = std::max(0, std::min(2 * line_height, height - 2 * margin));
  face.caption = PixelRect{margin, height - margin - caption_height,
                           std::max(0, width - 2 * margin), caption_height};
  const int room_height = std::max(0, face.caption.top - 2 * margin);
  const int side = std::max(0, std::min({picture_side, room_height, width - 2 * margin}));
  face.picture =
      PixelRect{(width - side) / 2, margin + (face.caption.top - margin - side) / 2, side, side};
  return face;
}

}  // namespace rariduze
