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

// Scripted message boxes: every box is recorded, in memory and in a log file that outlives a
// child process, and answered from a script. Yields run a hook that plays the user.
class ScriptedUi : public UiServices {
 public:
  explicit ScriptedUi(std::string log_path) : log_path_(std::move(log_path)) {}

  std::vector<ShownBox> boxes;
  // The answer of the next Yes/No question; OK boxes answer OK.
  int yes_no_answer = kAnswerNo;
  // Runs at every yield: what the user does while a transfer runs.
  std::function<void()> on_yield;

  void Yield() override;

 protected:
  int ShowMessageBox(const std::string& text, int style, const std::string& title) override;

 private:
  std::string log_path_;
};

// Reads the boxes a (possibly ended) process logged: one "style|title|text" line each, with
// carriage returns written as "\r".
std::vector<ShownBox> ReadBoxLog(const std::string& path);

// A window without a toolkit: it keeps what the driver shows and records what it is asked to
// do. The dialog is played by on_proxy_dialog; the end of the process is logged to a file,
// and outside a scenario run by ExpectProcessEnds it ends the process with status 1.
class RecordingView : public UpdaterView {
 public:
  RecordingView(UiServices& ui, std::string ending_log);

  std::string check_caption;
  bool check_enabled = false;
  bool stop_enabled = false;
  // Every caption the check button showed, in order.
  std::vector<std::string> captions_shown;
  int proxy_dialogs_shown = 0;
  // Plays the user in the settings dialog; without it the dialog opens and nothing happens.
  std::function<void(ProxyForm&)> on_proxy_dialog;

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
  std::string ending_log_;
};

// An application folder, a private temporary folder and an update directory served by nginx,
// with the stand-in program as the served application and as the installer; every program the
// updater starts appends its path and arguments to one mark file.
//
// A scenario that ends the process runs in a child (a death test). A child that starts afresh
// instead of forking (the only kind some platforms have) builds its fixture again: it then
// takes over the parent's application and temporary folders, so that what it leaves there is
// what the parent looks at.
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

  // Runs scenario in a child process; the scenario must end the process itself, as every way
  // out of the updater does, with status 0.
  void ExpectProcessEnds(const std::function<void()>& scenario);

  std::string AppDir() const { return app_dir_ + "/"; }
  // The updater's private temporary folder, ending in "/".
  std::string TempFolder() const;
  std::string BoxLog() const { return AppDir() + "boxes.log"; }
  // Written by the view when it hears that the process ends.
  std::string EndingLog() const { return AppDir() + "ending.log"; }
  std::string InstallerPath() const { return TempFolder() + "setupZT.exe"; }
  std::string ServedAppPath() const { return AppDir() + "Zentri Pc.exe"; }
  // The lines of the programs started so far, in order: path, then arguments.
  std::vector<std::string> ProgramsRun() const;
  // Waits, bounded, until at least count programs have run; their lines.
  std::vector<std::string> WaitForProgramsRun(std::size_t count) const;
  NginxServer& server() { return *nginx_; }
  InternetApi& internet() { return *internet_; }

 private:
  std::string MarkFile() const { return AppDir() + "programs-run"; }

  // Owned unless taken over from the parent of a death test.
  std::optional<TestDir> app_;
  std::optional<TestDir> temp_base_;
  std::string app_dir_;
  std::string temp_base_dir_;
  TestDir www_{"www"};
  TestDir installer_{"installer"};
  std::optional<TestDir> child_work_;
  std::unique_ptr<NginxServer> nginx_;
  std::unique_ptr<InternetApi> internet_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_environment_;
};

// Waits, bounded, until done() holds.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 5000);

bool AllTemporaryFilesGone(const UpdaterFixture& fixture);

}  // namespace rariduze::testing
