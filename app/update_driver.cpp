// The update sequence: startup, the version check, the setup download, the installation and
// the unload that ends every run.
#include "app/update_driver.h"

#include <cstdint>
#include <utility>

#include "app/installer.h"
#include "app/paths.h"
#include "app/version.h"
#include "platform/failure.h"
#include "platform/process.h"
#include "platform/program_version.h"
#include "progressbar/progress_bar.h"
#include "settings/dialup.h"
#include "settings/settings_file.h"
#include "unzip/unzip_object.h"

namespace rariduze {
namespace {

constexpr const char* kDownloadedVersionFile = "ZTVersion";
constexpr const char* kSetupArchiveFile = "setupZT.zip";
constexpr const char* kInstallerFile = "setupZT.exe";

// What DownloadStage says is downloading. The two signatures are fetched only with a key.
constexpr std::int32_t kStageVersionFile = 0;
constexpr std::int32_t kStageSetupArchive = 1;
constexpr std::int32_t kStageVersionSignature = 2;
constexpr std::int32_t kStageSetupSignature = 3;

bool IsSignatureStage(std::int32_t stage) {
  return stage == kStageVersionSignature || stage == kStageSetupSignature;
}

// A reason as the end of a sentence.
std::string EndedWithFullStop(const std::string& reason) {
  return !reason.empty() && reason.back() == '.' ? reason : reason + ".";
}

}  // namespace

UpdaterSetup UpdaterSetup::Default() {
  UpdaterSetup setup;
  setup.version_url = std::string(kUpdateDirectoryUrl) + "versionZT.dat";
  setup.setup_url = std::string(kUpdateDirectoryUrl) + "setupZT.zip";
  setup.app_dir = ModuloUp::AppDir();
  return setup;
}

UpdateDriver::UpdateDriver(UpdaterView& view, UiServices& ui, InternetApi& internet,
                           FileSystem& files, UpdaterSetup setup)
    : view_(view),
      ui_(ui),
      files_(files),
      setup_(std::move(setup)),
      IntF_(internet, ui, files, control_host_),
      signed_update_(setup_.publisher_keys) {
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

bool UpdateDriver::RegAttiva() const {
  return setup_.dial_up_active ? setup_.dial_up_active() : rariduze::RegAttiva();
}

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

std::optional<std::string> UpdateDriver::TempDirOrReport() {
  std::string why;
  std::optional<std::string> dir = TempDir(&why);
  if (!dir) {
    ui_.MessageBox("The private temporary folder could not be prepared: " + why, kStyleOkStop);
  }
  return dir;
}

void UpdateDriver::cmdVerifica_Click() {
  // A disabled button takes no clicks, and a running or stalled check ignores them.
  if (!check_enabled_ || check_caption_ == kBusyCaption) return;
  // Nothing can be downloaded without a safe place to put it.
  if (!TempDirOrReport()) return;
  PrepareRequest(kStageVersionFile);
  IntF_.RequestInformation();
  if (!UsaLan && !RegAttiva()) return;
  SetCheckCaption(kBusyCaption);
  if (IntF_.FileExists()) StartDownloadInto(kDownloadedVersionFile, kStageVersionFile);
  // Otherwise the check stalls: the caption stays busy until the program ends.
}

void UpdateDriver::StartSetupDownload() {
  PrepareRequest(kStageSetupArchive);
  IntF_.RequestInformation();
  if (!IntF_.FileExists()) return;
  SetCheckEnabled(false);
  SetStopEnabled(true);
  StartDownloadInto(kSetupArchiveFile, kStageSetupArchive);
}

bool UpdateDriver::StartDownloadInto(const std::string& file_name, int stage) {
  std::optional<std::string> temp = TempDirOrReport();
  if (!temp) {
    ReturnToIdle();
    return false;
  }
  // Every download starts from an empty bar, whatever the one before left on it.
  view_.ProgressBar1().SetValue(0);
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

void UpdateDriver::SetBarRange(std::int32_t file_size) {
  // A size the server did not report is no range: the bar then follows the bytes received
  // instead of refusing every progress value with a box.
  size_unknown_ = file_size < 0;
  if (!size_unknown_) view_.ProgressBar1().SetMax(file_size);
}

void UpdateDriver::DownloadProgress(std::int32_t lBytesRead) {
  // A signature is never read whole past the size of one, whatever the server announced.
  if (IsSignatureStage(DownloadStage) && !signature_too_large_ &&
      SignedUpdate::TooLargeForASignature(lBytesRead)) {
    signature_too_large_ = true;
    IntF_.CancelDownload();
  }
  TeskShapeProgressBar& bar = view_.ProgressBar1();
  if (size_unknown_) return;
  // A server that sends more than it announced must not raise a box per chunk.
  if (lBytesRead > bar.Max()) bar.SetMax(lBytesRead);
  bar.SetValue(lBytesRead);
}

void UpdateDriver::cmdStopDownload_Click() {
  if (!stop_enabled_) return;  // a disabled button takes no clicks
  stop_clicked_ = true;
  IntF_.CancelDownload();
  view_.ProgressBar1().SetValue(0);
}

void UpdateDriver::DownloadComplete() {
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
      signature_fetch_ = signature_too_large_ ? SignatureFetch::kRefused : SignatureFetch::kArrived;
      break;
    default:
      break;
  }
}

UpdateDriver::SignatureFetch UpdateDriver::FetchSignature(int stage) {
  // "Stop Download" may be clicked while the server is asked or while the signature comes.
  stop_clicked_ = false;
  PrepareRequest(stage);
  IntF_.RequestInformation();
  if (stop_clicked_) return SignatureFetch::kStopped;
  // Neither a missing signature nor one announced larger than any signature is fetched.
  if (!IntF_.FileExists() || SignedUpdate::TooLargeForASignature(IntF_.FileSize())) {
    return SignatureFetch::kRefused;
  }
  // A run that ends in an error or is cancelled raises nothing here: it stays refused.
  signature_fetch_ = SignatureFetch::kRefused;
  signature_too_large_ = false;
  const std::string local_name = SignedUpdate::SignatureOf(
      stage == kStageVersionSignature ? kDownloadedVersionFile : kSetupArchiveFile);
  if (!StartDownloadInto(local_name, stage)) return SignatureFetch::kNotSaved;
  if (stop_clicked_) return SignatureFetch::kStopped;
  return signature_fetch_;
}

void UpdateDriver::VerifyVersionFile() {
  const SignatureFetch fetch = FetchSignature(kStageVersionSignature);
  if (fetch == SignatureFetch::kNotSaved) return;
  std::optional<std::string> temp = TempDirOrReport();
  if (!temp) {
    ReturnToIdle();
    return;
  }
  if (fetch == SignatureFetch::kArrived &&
      signed_update_.VersionFileHolds(*temp + kDownloadedVersionFile)) {
    VersionFileArrived();
    return;
  }
  // Nothing is asked about a version the publisher did not sign.
  ReturnToIdle();
  ui_.MessageBox("The version information on the update server could not be verified.",
                 kStyleOkStop);
}

void UpdateDriver::VerifySetupArchive() {
  const SignatureFetch fetch = FetchSignature(kStageSetupSignature);
  // "Stop Download" during the signature's download stops the update, as during the archive's.
  if (fetch == SignatureFetch::kStopped) return;
  std::optional<std::string> temp = TempDirOrReport();
  if (!temp) {
    ReturnToIdle();
    return;
  }
  const std::string archive = *temp + kSetupArchiveFile;
  if (fetch == SignatureFetch::kArrived &&
      signed_update_.SetupArchiveHolds(archive, announced_version_)) {
    SetupArchiveArrived();
    return;
  }
  // Nothing of an archive the publisher did not sign for this version is extracted or kept.
  files_.Remove(archive);
  if (fetch == SignatureFetch::kNotSaved) return;
  ReportInstallFailure("the setup archive's signature is not valid.");
}

void UpdateDriver::VersionFileArrived() {
  SetCheckCaption(kCheckCaption);
  std::optional<std::string> temp = TempDirOrReport();
  if (!temp) return;
  const std::string downloaded = ModuloUp::ReadDownloadedVersion(*temp, files_);
  const std::string installed = ModuloUp::ReadInstalledVersion(setup_.app_dir, files_);
  // An error page or a truncated file is no version: saying "nothing newer" would be wrong.
  if (!ModuloUp::IsVersionText(downloaded)) {
    ui_.MessageBox("The version information on the update server could not be read.",
                   kStyleOkInformation);
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

void UpdateDriver::SetupArchiveArrived() {
  SetStopEnabled(false);
  SetCheckEnabled(true);
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
    // Listed first, so that the unload knows what the extraction puts in the temporary folder
    // besides the installer, and takes exactly that away again.
    Uzip.Directory();
    for (std::int32_t i = 1; i <= Uzip.FileCount(); ++i) {
      extracted_.Expect(files_, *temp, Uzip.FileDirectory(i), Uzip.Filename(i),
                        Uzip.UseFolderNames(), Uzip.SpaceToUnderScore());
    }
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
    ReportInstallFailure("the installer could not be started: " + EndedWithFullStop(outcome.error));
    return;
  }
  if (!outcome.error.empty()) {
    ReportInstallFailure("the end of the installer could not be awaited: " +
                         EndedWithFullStop(outcome.error));
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

void UpdateDriver::ReportInstallFailure(const std::string& what) {
  ui_.MessageBox("The update could not be installed: " + what, kStyleOkStop);
  ReturnToIdle();
}

void UpdateDriver::ReturnToIdle() {
  SetCheckCaption(kCheckCaption);
  SetCheckEnabled(true);
  SetStopEnabled(false);
}

void UpdateDriver::Form_Unload() {
  // Every step ignores its own failure; there is no way back from here.
  std::string ignored;
  if (std::optional<std::string> temp = TempDir(&ignored)) {
    for (const std::string& name :
         {std::string(kDownloadedVersionFile), std::string(kInstallerFile),
          std::string(kSetupArchiveFile), SignedUpdate::SignatureOf(kDownloadedVersionFile),
          SignedUpdate::SignatureOf(kSetupArchiveFile)}) {
      if (files_.Exists(*temp + name)) files_.Remove(*temp + name);
    }
  }
  extracted_.RemoveAll(files_);
  IntF_.CancelDownload();
  ModuloUp::RestartServedApplication(setup_.app_dir);
  view_.ProcessEnding();
  EndProcess(0);
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
