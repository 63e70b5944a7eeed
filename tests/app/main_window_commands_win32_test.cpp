// What a WM_COMMAND of frmMain starts: one handler of the update driver, and only for a click.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window_commands_win32.h"

namespace rariduze {
namespace {

// Hears which handlers ran. Unlike the driver's, its Exit returns, so whatever a command would
// run after it shows.
struct RecordingHandlers {
  std::vector<std::string> ran;
  void cmdVerifica_Click() { ran.push_back("check"); }
  void cmdStopDownload_Click() { ran.push_back("stop"); }
  void cmdEsci_Click() { ran.push_back("exit"); }
  void mnuproxy_Click() { ran.push_back("proxy dialog"); }
  void mnuversion_Click() { ran.push_back("version"); }
};

TEST(MainWindowCommands, EachButtonAndMenuItemRunsItsOwnHandlerOnly) {
  struct Row {
    WORD id;
    WORD code;
    std::vector<std::string> ran;
  };
  const Row rows[] = {
      {kCmdVerifica, BN_CLICKED, {"check"}},
      {kCmdStopDownload, BN_CLICKED, {"stop"}},
      // Exit never goes on into the proxy dialog.
      {kCmdEsci, BN_CLICKED, {"exit"}},
      {kMnuProxy, 0, {"proxy dialog"}},
      {kMnuVersion, 0, {"version"}},
      // The second press of a double click is no second click.
      {kCmdVerifica, BN_DOUBLECLICKED, {}},
      {kCmdEsci, BN_DOUBLECLICKED, {}},
      // Enter and Escape as keyboard navigation sends them, with no button of the window's.
      {IDOK, BN_CLICKED, {}},
      {IDCANCEL, BN_CLICKED, {}},
  };
  for (const Row& row : rows) {
    RecordingHandlers handlers;
    const bool handled = RunMainWindowCommand(MAKEWPARAM(row.id, row.code), handlers);
    EXPECT_EQ(handlers.ran, row.ran) << "command " << row.id << ", code " << row.code;
    EXPECT_EQ(handled, !row.ran.empty()) << "command " << row.id << ", code " << row.code;
  }
}

}  // namespace
}  // namespace rariduze
