#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/extracted_files.h"
#include "app/signed_update.h"
#include "app/updater_texts.h"
#include "app/updater_view.h"
#include "platform/control_host.h"
#include "platform/file_system.h"
#include "platform/internet.h"
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
  // Whether a dial-up connection is active; empty for the system's own answer.
  std::function<bool()> dial_up_active;
  // The key line of the publisher's .pub file that the update files must be signed with;
  // empty: nothing is checked. The program's own is the one fixed at build time.
  std::string publisher_key = kPublisherKey;

  // The program's own: the update directory fixed at build time and its own directory.
  static UpdaterSetup Default();
};

// The whole update, whatever draws the window: startup, the version check, the setup
// download, the installation and the unload that ends every run. It owns the transfer control
// IntF, talks to the window through an UpdaterView and to the user through UiServices. The
// window forwards its clicks, its menu and its close box here. With the publisher's key, an
// update file counts only once its signature, fetched after it, holds (signed_update.h).
class UpdateDriver : private InternetFileEvents, private ProxySettingsTarget {
 public:
  // Shows the idle state on view at once: "Check for New version" enabled, "Stop Download"
  // disabled.
  UpdateDriver(UpdaterView& view, UiServices& ui, InternetApi& internet, FileSystem& files,
               UpdaterSetup setup);
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

  void PrepareRequest(int stage);
  void StartSetupDownload();
  void DownloadProgress(std::int32_t lBytesRead) override;
  void DownloadComplete() override;
  SignatureFetch FetchSignature(int stage);
  void VerifyVersionFile();
  void VerifySetupArchive();
  void VersionFileArrived();
  void SetupArchiveArrived();
  void SetBarRange(std::int32_t file_size);
  bool StartDownloadInto(const std::string& file_name, int stage);
  void ReturnToIdle();
  void ReportInstallFailure(const std::string& what);
  std::optional<std::string> TempDirOrReport();

  void SetCheckCaption(const std::string& caption);
  void SetCheckEnabled(bool enabled);
  void SetStopEnabled(bool enabled);

  void ApplyProxy(const std::string& server, std::int16_t port) override;
  void SetUsaLan(bool usa_lan) override { UsaLan = usa_lan; }

  UpdaterView& view_;
  UiServices& ui_;
  FileSystem& files_;
  UpdaterSetup setup_;
  NullControlHost control_host_;
  InternetFile IntF_;
  std::int32_t DownloadStage = 0;
  SignedUpdate signed_update_;
  // The version the verified version file announced: the one the setup archive must install.
  std::string announced_version_;
  // The outcome of the signature download that runs, whether it was stopped for its size, and
  // whether "Stop Download" was clicked since the signature was first asked for.
  SignatureFetch signature_fetch_ = SignatureFetch::kRefused;
  bool signature_too_large_ = false;
  bool stop_clicked_ = false;
  // The remote file's size was not reported, so the bar's range follows the bytes received.
  bool size_unknown_ = false;
  // What the setup archive's extraction put in the temporary folder, deleted at the unload.
  ExtractedFiles extracted_;
  std::string check_caption_;
  bool check_enabled_ = true;
  bool stop_enabled_ = false;
};

}  // namespace rariduze
