// What the window does: startup, the version check, the setup download, the installation and
// the unload that ends every run.
#include <QToolButton>
#include <cctype>
#include <cstdint>

#include "app/installer.h"
#include "app/main_window.h"
#include "app/paths.h"
#include "app/version.h"
#include "platform/failure.h"
#include "platform/process.h"
#include "progressbar/progress_bar_widget.h"
#include "settings/settings_file.h"
#include "unzip/unzip_object.h"

namespace rariduze {
namespace {

constexpr const char* kDownloadedVersionFile = "ZTVersion";
constexpr const char* kSetupArchiveFile = "setupZT.zip";
constexpr const char* kInstallerFile = "setupZT.exe";

bool HasDigit(const std::string& text) {
  for (unsigned char c : text) {
    if (std::isdigit(c)) return true;
  }
  return false;
}

}  // namespace

void frmMain::Form_Load() {
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
      const std::string& entry = settings.proxy;
      if (settings.HasProxy()) {
        std::size_t colon = entry.find(':');
        step([&] {
          if (colon == std::string::npos) throw RuntimeFailure(kFailureSubscriptOutOfRange);
          std::size_t second = entry.find(':', colon + 1);
          std::string port = entry.substr(
              colon + 1, second == std::string::npos ? std::string::npos : second - colon - 1);
          IntF_.SetProxyPort(ToInt16(port));
        });
        step([&] { IntF_.SetProxyServer(entry.substr(0, colon)); });
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

void frmMain::PrepareRequest(int stage) {
  IntF_.SetUrl(stage == 0 ? setup_.version_url : setup_.setup_url);
  IntF_.SetPort(80);
  IntF_.SetSiteUser("");
  IntF_.SetSitePassword("");
  IntF_.SetConnectType(0);
  IntF_.SetProxyServer("");
  IntF_.SetProxyPort(0);
}

std::optional<std::string> frmMain::TempDirOrReport() {
  std::string why;
  std::optional<std::string> dir = TempDir(&why);
  if (!dir) {
    ui_.MessageBox("The private temporary folder could not be prepared: " + why, kStyleOkStop);
  }
  return dir;
}

void frmMain::cmdVerifica_Click() {
  if (cmdVerifica_->text() == kBusyCaption) return;
  // Nothing can be downloaded without a safe place to put it.
  if (!TempDirOrReport()) return;
  PrepareRequest(0);
  IntF_.RequestInformation();
  if (!UsaLan && !RegAttiva()) return;
  cmdVerifica_->setText(kBusyCaption);
  if (IntF_.FileExists()) StartDownloadInto(kDownloadedVersionFile, 0);
  // Otherwise the check stalls: the caption stays busy until the program ends.
}

void frmMain::StartSetupDownload() {
  PrepareRequest(1);
  IntF_.RequestInformation();
  if (!IntF_.FileExists()) return;
  cmdVerifica_->setEnabled(false);
  cmdStopDownload_->setEnabled(true);
  StartDownloadInto(kSetupArchiveFile, 1);
}

bool frmMain::StartDownloadInto(const std::string& file_name, int stage) {
  std::optional<std::string> temp = TempDirOrReport();
  if (!temp) {
    ReturnToIdle();
    return false;
  }
  SetBarRange(IntF_.FileSize());
  IntF_.SetLocalFile(*temp + file_name);
  DownloadStage = stage;
  try {
    IntF_.StartDownload();
  } catch (const RuntimeFailure& failure) {
    // The local file could not be written: say so instead of leaving the window stuck.
    ui_.MessageBox("The download could not be saved: " + failure.description(), kStyleOkStop);
    ReturnToIdle();
    return false;
  }
  return true;
}

void frmMain::SetBarRange(std::int32_t file_size) {
  // A size the server did not report is no range: the bar then follows the bytes received
  // instead of refusing every progress value with a box.
  size_unknown_ = file_size < 0;
  if (!size_unknown_) ProgressBar1_->bar().SetMax(file_size);
}

void frmMain::DownloadProgress(std::int32_t lBytesRead) {
  TeskShapeProgressBar& bar = ProgressBar1_->bar();
  if (size_unknown_) return;
  // A server that sends more than it announced must not raise a box per chunk.
  if (lBytesRead > bar.Max()) bar.SetMax(lBytesRead);
  bar.SetValue(lBytesRead);
}

void frmMain::cmdStopDownload_Click() {
  IntF_.CancelDownload();
  ProgressBar1_->bar().SetValue(0);
}

void frmMain::DownloadComplete() {
  if (size_unknown_) {
    // The whole file is here: its size is the range, and the bar shows it done.
    const std::int64_t total = files_.Length(ToText(IntF_.LocalFile())).value_or(0);
    if (total >= 0 && total <= INT32_MAX) {
      TeskShapeProgressBar& bar = ProgressBar1_->bar();
      bar.SetMax(static_cast<double>(total));
      bar.SetValue(static_cast<double>(total));
    }
    size_unknown_ = false;
  }
  if (DownloadStage == 0) {
    VersionFileArrived();
  } else if (DownloadStage == 1) {
    SetupArchiveArrived();
  }
}

void frmMain::VersionFileArrived() {
  cmdVerifica_->setText(kCheckCaption);
  std::optional<std::string> temp = TempDirOrReport();
  if (!temp) return;
  const std::string downloaded = ModuloUp::ReadDownloadedVersion(*temp, files_);
  const std::string installed = ModuloUp::ReadInstalledVersion(setup_.app_dir, files_);
  // An error page or a truncated file is no version: saying "nothing newer" would be wrong.
  if (!HasDigit(downloaded)) {
    ui_.MessageBox("The version information on the update server could not be read.",
                   kStyleOkInformation);
    return;
  }
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

void frmMain::SetupArchiveArrived() {
  cmdStopDownload_->setEnabled(false);
  cmdVerifica_->setEnabled(true);
  std::optional<std::string> temp = TempDirOrReport();
  if (!temp) return;
  const std::string installer = *temp + kInstallerFile;
  // A stale installer from an earlier run must not pass for the new one.
  files_.Remove(installer);

  bool extracted = false;
  try {
    cUnzip Uzip;
    Uzip.SetZipFile(*temp + kSetupArchiveFile);
    Uzip.SetUnzipFolder(*temp);
    Uzip.SetOverwriteExisting(true);
    extracted = Uzip.Unzip();
  } catch (const RuntimeFailure&) {
    extracted = false;
  }
  if (!extracted) {
    ReportInstallFailure("the setup archive could not be extracted.");
    return;
  }
  if (!files_.Exists(installer)) {
    ReportInstallFailure("the setup archive holds no \"setupZT.exe\".");
    return;
  }
  const ProcessOutcome outcome = ModuloUp::RunAndWait(installer);
  if (!outcome.started) {
    ReportInstallFailure("the installer could not be started.");
    return;
  }
  if (!outcome.Succeeded()) {
    ReportInstallFailure(
        outcome.signal != 0
            ? "the installer was ended by signal " + std::to_string(outcome.signal) + "."
            : "the installer ended with exit status " + std::to_string(outcome.exit_status) + ".");
    return;
  }
  ui_.MessageBox("Update successfully completed! It will be started Zentri PC",
                 kStyleOkInformation);
  Form_Unload();
}

void frmMain::ReportInstallFailure(const std::string& what) {
  ui_.MessageBox("The update could not be installed: " + what, kStyleOkStop);
  ReturnToIdle();
}

void frmMain::ReturnToIdle() {
  cmdVerifica_->setText(kCheckCaption);
  cmdVerifica_->setEnabled(true);
  cmdStopDownload_->setEnabled(false);
}

void frmMain::Form_Unload() {
  // Every step ignores its own failure; there is no way back from here.
  std::string ignored;
  if (std::optional<std::string> temp = TempDir(&ignored)) {
    for (const char* name : {kDownloadedVersionFile, kInstallerFile, kSetupArchiveFile}) {
      if (files_.Exists(*temp + name)) files_.Remove(*temp + name);
    }
  }
  IntF_.CancelDownload();
  ModuloUp::RestartServedApplication(setup_.app_dir);
  EndProcess(0);
}

}  // namespace rariduze
