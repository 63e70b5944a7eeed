#pragma once

#include "platform/windows_api.h"

namespace rariduze {

// frmMain's command identifiers in Win32. IDOK and IDCANCEL (1, 2), which keyboard navigation
// sends for Enter and Escape, are none of them.
enum MainWindowCommand : int {
  kCmdVerifica = 101,
  kCmdStopDownload = 102,
  kCmdEsci = 103,
  kMnuProxy = 201,
  kMnuVersion = 202,
};

// Hands a WM_COMMAND of frmMain to the one handler of its button or menu item, and to no
// other; true when it was one of the window's. Only a click counts: owner-drawn buttons report
// the second press of a double click as BN_DOUBLECLICKED, which must not make a second click.
template <typename Handlers>
bool RunMainWindowCommand(WPARAM wparam, Handlers& handlers) {
  // A button's click and a menu choice both come with code 0.
  if (HIWORD(wparam) != BN_CLICKED) return false;
  switch (LOWORD(wparam)) {
    case kCmdVerifica:
      handlers.cmdVerifica_Click();
      return true;
    case kCmdStopDownload:
      handlers.cmdStopDownload_Click();
      return true;
    case kCmdEsci:
      handlers.cmdEsci_Click();
      return true;
    case kMnuProxy:
      handlers.mnuproxy_Click();
      return true;
    case kMnuVersion:
      handlers.mnuversion_Click();
      return true;
    default:
      return false;
  }
}

}  // namespace rariduze
