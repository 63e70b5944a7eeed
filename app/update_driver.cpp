// The update sequence: startup, the version check and the downloads, and the unload that ends
// every run. The installation is in update_install.cpp, the signature checks in
// update_signatures.cpp.
#include "app/update_driver.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

#include "app/installer.h"
#include "app/paths.h"
#include "app/update_files.h"
#include "app/version.h"
#include "platform/failure.h"
#include "platform/program_version.h"
#include "platform/scope_exit.h"
#include "progressbar/progress_bar.h"
#include "settings/dialup.h"
#include "settings/settings_file.h"

namespace rariduze {

UpdaterSetup UpdaterSetup::Default() {
  UpdaterSetup setup;
  setup.version_url = std::string(kUpdateDirectoryUrl) + "versionZT.dat";
  setup.setup_url = std::string(kUpdateDirectoryUrl) + "setupZT.zip";
  setup.app_dir = ModuloUp::AppDir();
  return setup;
}

UpdateDriver::UpdateDriver(UpdaterView& view, UiServices& ui, InternetApi& internet,
                           FileSystem& files, SystemServices& system, UpdaterSetup setup)
    : view_(view),
      ui_(ui),
      files_(files),
      system_(system),
      setup_(std::move(setup)),
      IntF_(internet, ui, files, control_host_),
      signed_update_(setup_.publisher_keys, files) {
  // The driver is made as the program starts, before the installer can be run: what a parent
  // left behind must not hide how the installer ends.
  ResetChildEndHandling();
  // The window saves nothing for its transfer control: every property takes its default.
  IntF_.ReadProperties(PropertyStore());
  IntF_.SetEvents(this);
  SetCheckCaption(kCheckCaption);
  SetCheckEnabled(true);
  SetStopEnabled(false);
}

UpdateDriver::~UpdateDriver() { IntF_.SetEvents(nullptr); }

bool UpdateDriver::RegAttiva() const { return rariduze::RegAttiva(system_); }

void UpdateDriver::SetCheckCaption(const std::string& caption) {
  check_caption_ = caption;
  view_.SetCheckCaption(caption);
}

void UpdateDriver::SetCheckEnabled(bool enabled) {
  check_enabled_ = enabled;
  view_.SetCheckEnabled(enabled);
}

void UpdateDriver::SetStopEnabled(bool enabled) {
  stop_enabled_ = enabled;
  view_.SetStopEnabled(enabled);
}

void UpdateDriver::Form_Load() {
  // Every step reports its own failure and startup goes on; reading past the end is silent.
  auto step = [this](auto&& action) {
    try {
      action();
    } catch (const RuntimeFailure& failure) {
      if (failure.number() != kFailureInputPastEndOfFile) {
        ui_.MessageBox(std::to_string(failure.number()) + " " + failure.description(), kStyleOk);
      }
    }
  };

  const std::string path = SettingsFilePath(setup_.app_dir);
  ConnectionSettings settings;
  if (files_.Exists(path)) {
    if (files_.Length(path).value_or(0) != 0) {
      step([&] { settings = ReadSettings(files_, path); });
      if (settings.HasProxy()) {
        const ProxyEntry proxy = SplitProxyEntry(settings.proxy);
        step([&] {
          if (!proxy.port) throw RuntimeFailure(kFailureSubscriptOutOfRange);
          IntF_.SetProxyPort(ToInt16(*proxy.port));
        });
        step([&] { IntF_.SetProxyServer(proxy.address); });
      }
    }
  } else {
    step([&] { CreateSettingsFileIfMissing(files_, path); });
  }

  if (settings.lan_flag == "0") {
    if (!RegAttiva()) {
      ui_.MessageBox("You must initiate a dial-up connection", kStyleOkInformation);
    }
    UsaLan = false;
  } else {
    UsaLan = true;
  }
}

void UpdateDriver::PrepareRequest(int stage) {
  const std::string& file_url = stage == kStageVersionFile || stage == kStageVersionSignature
                                    ? setup_.version_url
                                    : setup_.setup_url;
  IntF_.SetUrl(IsSignatureStage(stage) ? SignedUpdate::SignatureOf(file_url) : file_url);
  IntF_.SetPort(80);
  IntF_.SetSiteUser("");
  IntF_.SetSitePassword("");
  IntF_.SetConnectType(0);
  IntF_.SetProxyServer("");
  IntF_.SetProxyPort(0);
}

bool UpdateDriver::PrepareTempDir() {
  std::string why;
  std::optional<std::string> dir = system_.RunTempDirectory(&why);
  if (!dir) {
    ui_.MessageBox("The private temporary folder could not be prepared: " + why, kStyleOkStop);
    return false;
  }
  temp_dir_ = *dir;
  return true;
}

void UpdateDriver::cmdVerifica_Click() {
  // A disabled button takes no clicks, and a running or stalled check ignores them: the
  // update runs inside this click, and the information request yields before the caption
  // says so.
  if (!check_enabled_ || check_running_ || check_caption_ == kBusyCaption) return;
  check_running_ = true;
  ScopeExit check_over([this] { check_running_ = false; });
  // Nothing can be downloaded without a safe place to put it.
  if (!PrepareTempDir()) return;
  PrepareRequest(kStageVersionFile);
  IntF_.RequestInformation();
  if (!UsaLan && !RegAttiva()) return;
  SetCheckCaption(kBusyCaption);
  // Otherwise the check stalls: the caption stays busy until the program ends.
  if (!IntF_.FileExists()) return;
  if (IntF_.FileSize() > kMaxVersionFileBytes) {
    ReportUnreadableVersion();
    return;
  }
  if (DownloadInto(kDownloadedVersionFile, kStageVersionFile, kMaxVersionFileBytes) ==
      Download::kCutOff) {
    ReportUnreadableVersion();
  }
}

void UpdateDriver::ReportUnreadableVersion() {
  ReturnToIdle();
  ui_.MessageBox("The version information on the update server could not be read.",
                 kStyleOkInformation);
}

UpdateDriver::Download UpdateDriver::DownloadInto(const std::string& file_name, int stage,
                                                  std::int64_t max_bytes) {
  // Every download starts from an empty bar, whatever the one before left on it.
  view_.ProgressBar1().SetValue(0);
  SetBarRange(IntF_.FileSize());
  // No download brings more than the server announced, nor more than its kind of file holds.
  RunningDownload download;
  download.limit =
      IntF_.FileSize() >= 0 && IntF_.FileSize() < max_bytes ? IntF_.FileSize() : max_bytes;
  running_download_ = &download;
  IntF_.SetLocalFile(TempDir() + file_name);
  DownloadStage = stage;
  try {
    IntF_.StartDownload();
  } catch (const RuntimeFailure& failure) {
    running_download_ = nullptr;
    // The local file could not be written: say so instead of leaving the window stuck.
    ui_.MessageBox("The download could not be saved: " + failure.description(), kStyleOkStop);
    ReturnToIdle();
    return Download::kNotSaved;
  }
  if (running_download_ == &download) running_download_ = nullptr;
  return download.cut_off ? Download::kCutOff : Download::kRan;
}

void UpdateDriver::SetBarRange(std::int32_t file_size) {
  // A size the server did not report is no range: the bar then follows the bytes received
  // instead of refusing every progress value with a box.
  size_unknown_ = file_size < 0;
  if (!size_unknown_) view_.ProgressBar1().SetMax(file_size);
}

void UpdateDriver::DownloadProgress(std::int32_t lBytesRead) {
  if (running_download_ != nullptr && lBytesRead > running_download_->limit) {
    // Stopped here; the bar keeps the last value that was within the range.
    if (!running_download_->cut_off) IntF_.CancelDownload();
    running_download_->cut_off = true;
    return;
  }
  if (size_unknown_) return;
  view_.ProgressBar1().SetValue(lBytesRead);
}

void UpdateDriver::cmdStopDownload_Click() {
  if (!stop_enabled_) return;  // a disabled button takes no clicks
  stop_clicked_ = true;
  IntF_.CancelDownload();
  view_.ProgressBar1().SetValue(0);
}

void UpdateDriver::DownloadComplete() {
  // This download is over; whatever its handler starts is another.
  running_download_ = nullptr;
  if (size_unknown_) {
    // The whole file is here: its size is the range, and the bar shows it done.
    const std::int64_t total = files_.Length(ToText(IntF_.LocalFile())).value_or(0);
    if (total >= 0 && total <= INT32_MAX) {
      TeskShapeProgressBar& bar = view_.ProgressBar1();
      bar.SetMax(static_cast<double>(total));
      bar.SetValue(static_cast<double>(total));
    }
    size_unknown_ = false;
  }
  switch (DownloadStage) {
    case kStageVersionFile:
      if (signed_update_.Required()) {
        VerifyVersionFile();
      } else {
        VersionFileArrived();
      }
      break;
    case kStageSetupArchive:
      if (signed_update_.Required()) {
        VerifySetupArchive();
      } else {
        SetupArchiveArrived();
      }
      break;
    case kStageVersionSignature:
    case kStageSetupSignature:
      // Looked at by FetchSignature once the run is over.
      signature_fetch_ = SignatureFetch::kArrived;
      break;
    default:
      break;
  }
}

void UpdateDriver::VersionFileArrived() {
  SetCheckCaption(kCheckCaption);
  const std::string downloaded = ModuloUp::ReadDownloadedVersion(TempDir(), files_);
  const std::string installed = ModuloUp::ReadInstalledVersion(setup_.app_dir, files_);
  // An error page or a truncated file is no version: saying "nothing newer" would be wrong.
  if (!ModuloUp::IsVersionText(downloaded)) {
    ReportUnreadableVersion();
    return;
  }
  announced_version_ = downloaded;
  if (ModuloUp::IsNewerVersion(installed, downloaded)) {
    const int answer =
        ui_.MessageBox(downloaded + " version of Zentri PC is available for the download" + "\r" +
                           "Would you like to download and install the new version?",
                       kStyleYesNoInformation, "Update available");
    if (answer == kAnswerYes) StartSetupDownload();
  } else {
    ui_.MessageBox("There are not available new versions of Zentri PC!", kStyleOkInformation,
                   "You have already the new version");
    Form_Unload();
  }
}

void UpdateDriver::ReturnToIdle() {
  SetCheckCaption(kCheckCaption);
  SetCheckEnabled(true);
  SetStopEnabled(false);
}

void UpdateDriver::Form_Unload() {
  // Every step ignores its own failure; there is no way back from here. A download still
  // running lets go of its file first, or Windows would keep it.
  IntF_.ReleaseLocalFile();
  // Without a check there is no folder of this run's to look in.
  if (!TempDir().empty()) {
    for (const std::string& name : kTemporaryFiles) {
      if (files_.Exists(TempDir() + name)) files_.Remove(TempDir() + name);
    }
  }
  extracted_.RemoveAll(files_);
  // Whatever else this run left in its own folder goes with it.
  system_.RemoveRunTempDirectory();
  if (!computer_restarting_) ModuloUp::RestartServedApplication(system_, setup_.app_dir);
  view_.ProcessEnding();
  system_.EndProcess(0);
  // Not reached: the compiler cannot see that through the virtual call.
  std::abort();
}

void UpdateDriver::cmdEsci_Click() { Form_Unload(); }

void UpdateDriver::mnuproxy_Click() {
  // A fresh dialog each time, released when it closes; it hands its settings back here.
  ProxySettingsTarget& target = *this;
  ProxyForm form(setup_.app_dir, files_, ui_, target);
  view_.ShowProxyDialog(form);
}

void UpdateDriver::mnuversion_Click() {
  ui_.MessageBox(std::to_string(ProgramVersion::kMajor) + "." +
                     std::to_string(ProgramVersion::kMinor) + "." +
                     std::to_string(ProgramVersion::kRevision),
                 kStyleOk);
}

void UpdateDriver::ApplyProxy(const std::string& server, std::int16_t port) {
  IntF_.SetProxyPort(port);
  IntF_.SetProxyServer(server);
}

}  // namespace rariduze
