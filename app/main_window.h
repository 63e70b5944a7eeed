#pragma once

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/control_host.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/ui_services.h"
#include "settings/proxy_dialog.h"
#include "transfer/internet_file.h"

class QAction;
class QToolButton;

namespace rariduze {

class ProgressBarWidget;

// Where the updater finds things. The program uses the defaults; tests put their own folders
// and servers in.
struct UpdaterSetup {
  std::string version_url;  // the update directory + "versionZT.dat"
  std::string setup_url;    // the update directory + "setupZT.zip"
  std::string app_dir;      // the updater's own directory, ending in "/"
  std::string links_dir;    // where dial-up links are listed; empty for the system's own

  // The program's own: the update directory fixed at build time and its own directory.
  static UpdaterSetup Default();
};

// The updater's window: three picture buttons, a progress bar and a two-item menu. It drives
// the whole update, and every way of closing it ends the program.
class frmMain : public QMainWindow, private InternetFileEvents, private ProxySettingsTarget {
 public:
  frmMain(UiServices& ui, InternetApi& internet, FileSystem& files, UpdaterSetup setup,
          QWidget* parent = nullptr);
  ~frmMain() override;

  // True: the internet is reached through a LAN gateway, so no dial-up check is made.
  bool UsaLan = false;
  // True when at least one dial-up connection is active.
  bool RegAttiva() const;

  // The load step: reads the settings file before the window is first shown.
  void Form_Load();

  QToolButton* cmdVerifica() const { return cmdVerifica_; }
  QToolButton* cmdStopDownload() const { return cmdStopDownload_; }
  QToolButton* cmdEsci() const { return cmdEsci_; }
  QAction* mnuproxy() const { return mnuproxy_; }
  QAction* mnuversion() const { return mnuversion_; }
  ProgressBarWidget& ProgressBar1() const { return *ProgressBar1_; }
  InternetFile& IntF() { return IntF_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Layout and menus.
  void BuildWindow();
  // The update sequence.
  void cmdVerifica_Click();
  void cmdStopDownload_Click();
  void mnuproxy_Click();
  void mnuversion_Click();
  void PrepareRequest(int stage);
  void StartSetupDownload();
  void DownloadProgress(std::int32_t lBytesRead) override;
  void DownloadComplete() override;
  void VersionFileArrived();
  void SetupArchiveArrived();
  void SetBarRange(std::int32_t file_size);
  bool StartDownloadInto(const std::string& file_name, int stage);
  void ReturnToIdle();
  void ReportInstallFailure(const std::string& what);
  // Deletes the temporary files, starts the served application when needed, ends the process.
  [[noreturn]] void Form_Unload();

  void ApplyProxy(const std::string& server, std::int16_t port) override;
  void SetUsaLan(bool usa_lan) override { UsaLan = usa_lan; }

  std::optional<std::string> TempDirOrReport();

  UiServices& ui_;
  FileSystem& files_;
  UpdaterSetup setup_;
  NullControlHost control_host_;
  InternetFile IntF_;
  std::int32_t DownloadStage = 0;
  // The remote file's size was not reported, so the bar's range follows the bytes received.
  bool size_unknown_ = false;

  QToolButton* cmdVerifica_ = nullptr;
  QToolButton* cmdStopDownload_ = nullptr;
  QToolButton* cmdEsci_ = nullptr;
  ProgressBarWidget* ProgressBar1_ = nullptr;
  QAction* mnuproxy_ = nullptr;
  QAction* mnuversion_ = nullptr;
};

// Captions and texts the window shows.
inline constexpr const char* kCheckCaption = "Check for New version";
inline constexpr const char* kBusyCaption = "Wait a moment...";

}  // namespace rariduze
