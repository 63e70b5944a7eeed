#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/extracted_files.h"
#include "app/signed_update.h"
#include "app/updater_texts.h"
#include "app/updater_view.h"
#include "platform/control_host.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/system_services.h"
#include "platform/ui_services.h"
#include "settings/proxy_form.h"
#include "signing/publisher_key.h"
#include "transfer/internet_file.h"

namespace rariduze {

// Where the updater finds things. The program uses the defaults; tests put their own folders
// and servers in.
struct UpdaterSetup {
  std::string version_url;  // the update directory + "versionZT.dat"
  std::string setup_url;    // the update directory + "setupZT.zip"
  std::string app_dir;      // the updater's own directory, ending in the separator
  // The key lines of the publisher's .pub files that the update files must be signed with
  // (any one of them); none: nothing is checked. The program's own are fixed at build time.
  std::vector<std::string> publisher_keys{kPublisherKeys.begin(), kPublisherKeys.end()};

  // The program's own: the update directory fixed at build time and its own directory.
  static UpdaterSetup Default();
};

// The whole update, whatever draws the window: startup, the version check, the setup
// download, the installation and the unload that ends every run. It owns the transfer control
// IntF, talks to the window through an UpdaterView, to the user through UiServices and to the
// rest of the system through FileSystem and SystemServices. The window forwards its clicks,
// its menu and its close box here. With the publisher's key, an update file counts only once
// its signature, fetched after it, holds (signed_update.h).
class UpdateDriver : private InternetFileEvents, private ProxySettingsTarget {
 public:
  // The version file is a line or two: a server that announces or sends more is not serving
  // one, and must not fill the temporary folder or hold the window.
  static constexpr std::int64_t kMaxVersionFileBytes = 64 * 1024;

  // Shows the idle state on view at once: "Check for New version" enabled, "Stop Download"
  // disabled.
  UpdateDriver(UpdaterView& view, UiServices& ui, InternetApi& internet, FileSystem& files,
               SystemServices& system, UpdaterSetup setup);
  ~UpdateDriver() override;
  UpdateDriver(const UpdateDriver&) = delete;
  UpdateDriver& operator=(const UpdateDriver&) = delete;

  // True: the internet is reached through a LAN gateway, so no dial-up check is made.
  bool UsaLan = false;
  // True when at least one dial-up connection is active.
  bool RegAttiva() const;

  // The load step, before the window is first shown: reads the settings file.
  void Form_Load();

  // The window's controls and menu.
  void cmdVerifica_Click();
  void cmdStopDownload_Click();
  [[noreturn]] void cmdEsci_Click();
  void mnuproxy_Click();
  void mnuversion_Click();

  // Every way out (Exit, the close box, the end of the sequence, the desktop session ending):
  // deletes the temporary files (and whatever the extraction of the setup archive wrote there),
  // cancels any download, starts the served application unless
  // a window of it is open, tells the view, and ends the process.
  [[noreturn]] void Form_Unload();

  InternetFile& IntF() { return IntF_; }

  // What the buttons show now, as last told to the view.
  const std::string& CheckCaption() const { return check_caption_; }
  bool CheckEnabled() const { return check_enabled_; }
  bool StopEnabled() const { return stop_enabled_; }

 private:
  // How the download of a signature ended.
  enum class SignatureFetch {
    kArrived,  // whole, and small enough to be one
    kRefused,  // missing, failed, or larger than any signature
    kStopped,  // by "Stop Download"
    kNotSaved  // the local file could not be written; said so, and the window is idle
  };
  // How a download ended, as far as the next step cares.
  enum class Download {
    kRan,      // it ran to its end: complete, failed or stopped, as its events told
    kCutOff,   // it brought more than it may, and was stopped there
    kNotSaved  // the local file could not be written; said so, and the window is idle
  };

  // The check: the version file, and what follows from it.
  void PrepareRequest(int stage);
  void DownloadProgress(std::int32_t lBytesRead) override;
  void DownloadComplete() override;
  void VersionFileArrived();
  void ReportUnreadableVersion();

  // The setup archive: its download, its extraction and the installer run.
  void StartSetupDownload();
  bool SetupArchiveFits();
  void SetupArchiveArrived();
  bool ExtractSetupArchive(const std::string& temp);
  void RunInstaller(const std::string& installer);
  void ReportInstallFailure(const std::string& what);

  // The signatures, with the publisher's key.
  SignatureFetch FetchSignature(int stage);
  void VerifyVersionFile();
  void VerifySetupArchive();

  // Downloads IntF's URL into the temporary folder as file_name, taking at most max_bytes.
  Download DownloadInto(const std::string& file_name, int stage, std::int64_t max_bytes);
  void SetBarRange(std::int32_t file_size);
  void ReturnToIdle();
  // Makes this run's temporary folder, or says why it cannot; a check starts with it.
  bool PrepareTempDir();
  // The folder of this run's temporary files, ending in the separator: a fresh one of this
  // run's own inside the user's private one, so that neither other users nor another run
  // reach what is downloaded, verified, extracted and run there. Empty until a check has
  // prepared it, the same from then on.
  const std::string& TempDir() const { return temp_dir_; }

  void SetCheckCaption(const std::string& caption);
  void SetCheckEnabled(bool enabled);
  void SetStopEnabled(bool enabled);

  void ApplyProxy(const std::string& server, std::int16_t port) override;
  void SetUsaLan(bool usa_lan) override { UsaLan = usa_lan; }

  UpdaterView& view_;
  UiServices& ui_;
  FileSystem& files_;
  SystemServices& system_;
  UpdaterSetup setup_;
  NullControlHost control_host_;
  InternetFile IntF_;
  std::int32_t DownloadStage = 0;
  SignedUpdate signed_update_;
  // The version the verified version file announced: the one the setup archive must install.
  std::string announced_version_;
  std::string temp_dir_;
  // Set from the first step of a check until its click returns; everything of the update runs
  // inside that click, so a second click meanwhile must not start a second check.
  bool check_running_ = false;
  // The outcome of the signature download that runs, and whether "Stop Download" was clicked
  // since the signature was first asked for.
  SignatureFetch signature_fetch_ = SignatureFetch::kRefused;
  bool stop_clicked_ = false;
  // The most bytes the running download may bring, and whether it brought more. Downloads
  // nest (the next starts from the completion of the one before), so each keeps its own.
  struct RunningDownload {
    std::int64_t limit = 0;
    bool cut_off = false;
  };
  RunningDownload* running_download_ = nullptr;
  // The remote file's size was not reported, so the bar's range follows the bytes received.
  bool size_unknown_ = false;
  // The installer has begun a restart of the computer: nothing is started into the shutdown.
  bool computer_restarting_ = false;
  // What the setup archive's extraction put in the temporary folder, deleted at the unload.
  ExtractedFiles extracted_;
  std::string check_caption_;
  bool check_enabled_ = true;
  bool stop_enabled_ = false;
};

}  // namespace rariduze
