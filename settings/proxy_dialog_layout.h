#pragma once

#include <array>

#include "platform/twips.h"

namespace rariduze {

// frmProxy's words and places, whatever draws it.
inline constexpr const char* kProxyDialogTitle = "Set proxy options";
inline constexpr const char* kProxyOkCaption = "OK";
// The layout was drawn for a small dialog font; larger ones would not fit its boxes. The port
// box shows it in bold.
inline constexpr const char* kProxyDialogFontName = "MS Sans Serif";
inline constexpr double kProxyDialogFontPoints = 8.25;

// A label: its text wraps within its place.
struct ProxyDialogLabel {
  const char* text = "";
  PixelRect place;
  bool centred = false;
};

// Where the controls sit, in pixels for a screen resolution.
struct ProxyDialogLayout {
  int client_width = 0;
  int client_height = 0;
  PixelRect cmdOk;
  PixelRect txtAddress;
  PixelRect txtPort;
  PixelRect chkLAN;
  // C(0) "Address:", Label1(1) "Port:", Label1(2) "Set the proxy" (centred), C(1) the LAN
  // sentence, C(2) "<--" pointing at the check box.
  std::array<ProxyDialogLabel, 5> labels;
};

ProxyDialogLayout LayOutProxyDialog(int dpi);

}  // namespace rariduze
