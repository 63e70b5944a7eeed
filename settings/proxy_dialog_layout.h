#pragma once

#include "platform/twips.h"

namespace rariduze {

// Where frmProxy's controls sit, in pixels for a screen resolution.
struct ProxyDialogLayout {
  int client_width = 0;
  int client_height = 0;
  PixelRect cmdOk;
  PixelRect txtAddress;
  PixelRect txtPort;
  PixelRect address_label;  // C(0), "Address:"
  PixelRect port_label;     // Label1(1), "Port:"
  PixelRect heading;        // Label1(2), "Set the proxy"
  PixelRect chkLAN;
  PixelRect lan_label;  // C(1), the LAN sentence
  PixelRect arrow;      // C(2), "<--"
};

ProxyDialogLayout LayOutProxyDialog(int dpi);

}  // namespace rariduze
