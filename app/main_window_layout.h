#pragma once

#include "platform/property_store.h"
#include "platform/twips.h"

namespace rariduze {

// Where frmMain's controls sit, in pixels for a screen resolution: the designer's twips,
// converted edge by edge.
struct MainWindowLayout {
  int client_width = 0;
  int client_height = 0;
  PixelRect cmdVerifica;
  PixelRect cmdStopDownload;
  PixelRect cmdEsci;
  PixelRect ProgressBar1;
  // The side of the square picture on each button (half an inch).
  int picture_side = 0;
};

MainWindowLayout LayOutMainWindow(int dpi);

// ProgressBar1's stored settings, as the designer left them: its back colour, its caption
// and its font.
PropertyStore ProgressBar1Settings();

// Inside one picture button (coordinates relative to the button): the picture above, a caption
// of up to two lines below it.
struct ButtonFaceLayout {
  PixelRect picture;
  PixelRect caption;
};

// The caption keeps room for two lines of line_height at the bottom; the picture is centred in
// what is left above, no larger than picture_side and never larger than that room. A pressed
// button's face moves a little down and to the right.
ButtonFaceLayout LayOutButtonFace(int width, int height, int line_height, int picture_side, int dpi,
                                  bool pressed = false);

}  // namespace rariduze
