#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/update_driver.h"
#include "app/updater_view.h"
#include "platform/control_host.h"
#include "platform/internet.h"
#include "platform/ui_services.h"
#include "progressbar/progress_bar.h"
#include "tests/app/fake_system.h"
#include "tests/settings/fake_proxy_dialog.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

// What the user is asked when 1.0.23 is served to 1.0.22.
inline constexpr char kUpdateAvailable[] =
    "1.0.23 version of Zentri PC is available for the download\r"
    "Would you like to download and install the new version?";
// The ending log of a run that ends with the window idle.
inline constexpr char kIdleAtTheEnd[] =
    "ending: caption \"Check for New version\", check enabled, stop disabled\n";

// One message box as the user saw it.
struct ShownBox {
  std::string text;
  int style = 0;
  std::string title;
};

// Scripted message boxes: every box is recorded and answered from a script. Yields run a hook
// that plays the user.
class ScriptedUi : public UiServices {
 public:
  std::vector<ShownBox> boxes;
  // The answer of the next Yes/No question; OK boxes answer OK.
  int yes_no_answer = kAnswerNo;
  // Runs at every yield: what the user does while a transfer runs.
  std::function<void()> on_yield;
  // Runs when a box is shown, before it is answered.
  std::function<void(const ShownBox&)> on_box;

  void Yield() override;
  std::vector<std::string> Texts() const;

 protected:
  int ShowMessageBox(const std::string& text, int style, const std::string& title) override;
};

// A window without a toolkit: it keeps what the driver shows and records what it is asked to
// do. The dialog is played by on_proxy_dialog.
class RecordingView : public UpdaterView {
 public:
  explicit RecordingView(UiServices& ui);

  std::string check_caption;
  bool check_enabled = false;
  bool stop_enabled = false;
  // Every caption the check button showed, in order.
  std::vector<std::string> captions_shown;
  int proxy_dialogs_shown = 0;
  // Plays the user in the settings dialog; without it the dialog opens and nothing happens.
  std::function<void(ProxyForm&)> on_proxy_dialog;
  // What the window showed as the process ended (kIdleAtTheEnd and the like); empty before.
  std::string ending;

  // Idle: "Check for New version" enabled, "Stop Download" disabled.
  bool IsIdle() const;
  TeskShapeProgressBar& bar() { return bar_; }

  void SetCheckCaption(const std::string& caption) override;
  void SetCheckEnabled(bool enabled) override { check_enabled = enabled; }
  void SetStopEnabled(bool enabled) override { stop_enabled = enabled; }
  TeskShapeProgressBar& ProgressBar1() override { return bar_; }
  void ShowProxyDialog(ProxyForm& form) override;
  void ProcessEnding() override;

 private:
  NullControlHost host_;
  TeskShapeProgressBar bar_;
};

// An application folder, the user's temporary folder and an update directory served by nginx,
// with the stand-in program as the installer, and the system played by a FakeSystem (the run's
// own temporary folder is made below the user's). The installer the updater runs is real: it
// appends its path to a mark file.
class UpdaterFixture {
 public:
  UpdaterFixture();
  ~UpdaterFixture();
  UpdaterFixture(const UpdaterFixture&) = delete;
  UpdaterFixture& operator=(const UpdaterFixture&) = delete;

  // The published files. The installer exits with exit_status.
  void PublishVersion(const std::string& version);
  void PublishSetup(int exit_status = 0, const std::string& extra_content = {});
  // A setup archive large enough, served slowly enough (and so served at once), to be
  // stopped half-way.
  void PublishSetupWorthStopping();
  // A setup archive that holds no installer.
  void PublishSetupWithoutInstaller();
  // A setup archive whose installer may not be executed.
  void PublishSetupNotExecutable();
  // A setup archive with the installer (exiting with exit_status) at its top and other
  // entries beside it: name (which may hold folders, "docs/manual.txt") and bytes.
  void PublishSetupWithEntries(const std::map<std::string, std::string>& entries,
                               int exit_status = 0);
  void PublishFile(const std::string& name, const std::string& bytes);
  // The path of a file in the served update directory.
  std::string PublishedPath(const std::string& name) const { return www_.File(name); }
  void InstallVersion(const std::string& version);
  void WriteSettings(const std::string& bytes);
  // Starts nginx over the update directory (server_config goes into its server block).
  void Serve(const std::string& server_config = {});

  // The setup of an updater on the served directory (or on the given addresses).
  UpdaterSetup Setup();
  UpdaterSetup Setup(const std::string& version_url, const std::string& setup_url);

  // Runs scenario, which must end the program as every way out of the updater does, with
  // status 0; it fails the test when the scenario comes back instead.
  void ExpectProcessEnds(const std::function<void()>& scenario);

  std::string AppDir() const { return app_dir_.path() + PathSeparator(); }
  // The run's own temporary folder, ending in the separator (made when first asked for).
  std::string TempFolder();
  std::string InstallerPath() { return TempFolder() + "setupZT.exe"; }
  std::string ServedAppPath() const { return AppDir() + "Zentri Pc.exe"; }
  // The installers that really ran, as they noted themselves.
  std::vector<std::string> InstallersThatRan() const;
  NginxServer& server() { return *nginx_; }
  InternetApi& internet() { return *internet_; }
  FakeSystem& system() { return system_; }

 private:
  std::string MarkFile() const { return AppDir() + "programs-run"; }

  TestDir app_dir_{"app"};
  TestDir temp_base_{"tmp"};
  TestDir www_{"www"};
  TestDir installer_{"installer"};
  FakeSystem system_{temp_base_.path()};
  std::unique_ptr<NginxServer> nginx_;
  std::unique_ptr<InternetApi> internet_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_environment_;
};

// Waits, bounded, until done() holds.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 5000);

// The run's own temporary folder is gone, with every file of the update in it.
bool AllTemporaryFilesGone(UpdaterFixture& fixture);

}  // namespace rariduze::testing
