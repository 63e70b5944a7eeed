#pragma once

#include <QApplication>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/internet.h"
#include "platform/ui_services_qt.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

// One message box as the window showed it.
struct ShownBox {
  std::string text;
  int style = 0;
  std::string title;
};

// Real yields (Qt's event processing) with scripted message boxes: every box is recorded, in
// memory and in a log file that outlives a child process, and answered from a script.
class ScriptedUi : public QtUiServices {
 public:
  explicit ScriptedUi(std::string log_path) : log_path_(std::move(log_path)) {}

  std::vector<ShownBox> boxes;
  // The answer of the next Yes/No question; OK boxes answer OK.
  int yes_no_answer = kAnswerNo;
  // Runs at every yield, after pending events were processed.
  std::function<void()> on_yield;

  void Yield() override;

 protected:
  int ShowMessageBox(const std::string& text, int style, const std::string& title) override;

 private:
  std::string log_path_;
};

// Reads the boxes a (possibly ended) child logged: one "style|title|text" line each, with
// carriage returns written as "\r".
std::vector<ShownBox> ReadBoxLog(const std::string& path);

// An application folder, a private temporary folder and an update directory served by nginx,
// with a stand-in served application and a stand-in installer that leave marks.
class UpdaterFixture {
 public:
  UpdaterFixture();
  ~UpdaterFixture();

  // The published files. The installer writes its path and arguments into installer-ran and
  // exits with exit_status.
  void PublishVersion(const std::string& version);
  void PublishSetup(int exit_status = 0, const std::string& extra_content = {});
  // A setup archive that holds no installer.
  void PublishSetupWithoutInstaller();
  void PublishFile(const std::string& name, const std::string& bytes);
  void InstallVersion(const std::string& version);
  void WriteSettings(const std::string& bytes);
  // Starts nginx over the update directory (server_config goes into its server block).
  void Serve(const std::string& server_config = {});

  // A window on the served directory (or on the given addresses).
  std::unique_ptr<frmMain> MakeWindow(UiServices& ui);
  std::unique_ptr<frmMain> MakeWindow(UiServices& ui, const std::string& version_url,
                                      const std::string& setup_url);

  std::string AppDir() const { return app_.path() + "/"; }
  // The updater's private temporary folder, ending in "/".
  std::string TempFolder() const;
  std::string BoxLog() const { return app_.File("boxes.log"); }
  std::string InstallerMark() const { return app_.File("installer-ran"); }
  std::string ServedAppMark() const { return app_.File("served-app-started"); }
  NginxServer& server() { return *nginx_; }
  InternetApi& internet() { return *internet_; }

 private:
  TestDir app_{"app"};
  TestDir temp_base_{"tmp"};
  TestDir www_{"www"};
  TestDir installer_{"installer"};
  TestDir links_{"links"};
  std::unique_ptr<NginxServer> nginx_;
  std::unique_ptr<InternetApi> internet_;
  std::string saved_tmpdir_;
  bool had_tmpdir_ = false;
};

// Waits, bounded, until done() holds, processing Qt events meanwhile.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 5000);

// Saves a picture of a widget for a person to look at, under the build tree's artifacts.
void SaveImage(QWidget& widget, const std::string& name);

}  // namespace rariduze::testing
