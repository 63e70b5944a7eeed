#include "settings/proxy_dialog_layout.h"

namespace rariduze {

ProxyDialogLayout LayOutProxyDialog(int dpi) {
  ProxyDialogLayout layout;
  layout.client_width = TwipsToPixels(4440, dpi);
  layout.client_height = TwipsToPixels(1695, dpi);
  layout.cmdOk = TwipsToPixelRect(1710, 1200, 1230, 465, dpi);
  layout.txtAddress = TwipsToPixelRect(990, 255, 1950, 330, dpi);
  layout.txtPort = TwipsToPixelRect(3555, 255, 780, 330, dpi);
  layout.chkLAN = TwipsToPixelRect(150, 750, 195, 195, dpi);
  layout.labels = {{
      {"Address:", TwipsToPixelRect(45, 300, 945, 240, dpi)},
      {"Port:", TwipsToPixelRect(3015, 300, 495, 240, dpi)},
      {"Set the proxy", TwipsToPixelRect(45, 0, 4335, 240, dpi), true},
      {"Check this Box If your Pc is connected through a LAN Gateway",
       TwipsToPixelRect(870, 690, 3135, 435, dpi)},
      {"<--", TwipsToPixelRect(420, 720, 345, 300, dpi)},
  }};
  return layout;
}

}  // namespace rariduze
