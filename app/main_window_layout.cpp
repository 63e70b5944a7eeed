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

PropertyStore ProgressBar1Settings() {
  // In lower case, as the designer stored them: the store matches keys without regard to case.
  PropertyStore stored;
  stored.Write("backcolor", std::int64_t{0x00EEE3E7}, std::monostate{});
  stored.Write("caption", std::string("0 %"), std::monostate{});
  stored.Write("font", std::string("MS Sans Serif,8.25,bold"), std::monostate{});
  return stored;
}

ButtonFaceLayout LayOutButtonFace(int width, int height, int line_height, int picture_side, int dpi,
                                  bool pressed) {
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
  if (pressed) {
    const int shift = std::max(1, TwipsToPixels(15, dpi));
    for (PixelRect* part : {&face.picture, &face.caption}) {
      part->left += shift;
      part->top += shift;
    }
  }
  return face;
}

}  // namespace rariduze
