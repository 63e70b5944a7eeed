// The installation: the setup archive's download, its extraction into the temporary folder,
// the installer run and what its end means for the user.
#include <cstdint>
#include <string>

#include "app/installer.h"
#include "app/paths.h"
#include "app/update_driver.h"
#include "app/update_files.h"
#include "platform/failure.h"
#include "unzip/unzip_object.h"

namespace rariduze {
namespace {

// A reason as the end of a sentence.
std::string EndedWithFullStop(const std::string& reason) {
  return !reason.empty() && reason.back() == '.' ? reason : reason + ".";
}

// Hears what the unzip library reports as it writes, so that the unload takes away exactly
// what was written.
class ExtractionReports : public UnzipEvents {
 public:
  ExtractionReports(ExtractedFiles& extracted, std::string folder)
      : extracted_(extracted), folder_(std::move(folder)) {}
  void Progress(std::int32_t /*lCount*/, const std::string& sMsg) override {
    extracted_.NoteReport(folder_, sMsg);
  }

 private:
  ExtractedFiles& extracted_;
  std::string folder_;
};

}  // namespace

void UpdateDriver::StartSetupDownload() {
  PrepareRequest(kStageSetupArchive);
  IntF_.RequestInformation();
  if (!IntF_.FileExists() || !SetupArchiveFits()) return;
  SetCheckEnabled(false);
  SetStopEnabled(true);
  if (DownloadInto(kSetupArchiveFile, kStageSetupArchive, INT32_MAX) == Download::kCutOff) {
    // More than the server announced is not the archive it announced: nothing of it is kept.
    files_.Remove(TempDir() + kSetupArchiveFile);
    ReportInstallFailure("the setup archive is larger than the update server announced.");
  }
}

bool UpdateDriver::SetupArchiveFits() {
  const std::int32_t size = IntF_.FileSize();
  if (size < 0) return true;  // not announced: the download itself finds out
  const std::optional<std::int64_t> free = system_.FreeSpace(TempDir());
  if (!free || size <= *free) return true;
  ReportInstallFailure("the setup archive (" + std::to_string(size) +
                       " bytes) does not fit in the temporary folder (" + std::to_string(*free) +
                       " bytes free).");
  return false;
}

void UpdateDriver::SetupArchiveArrived() {
  SetStopEnabled(false);
  SetCheckEnabled(true);
  const std::string installer = TempDir() + kInstallerFile;
  // A stale installer from an earlier run must not pass for the new one.
  files_.Remove(installer);
  // A library that is missing or cannot be loaded is no fault of the archive: the user and
  // the publisher must look for it, not for a damaged download.
  const std::string library_problem = mUnzip::LibraryProblem();
  if (!library_problem.empty()) {
    ReportInstallFailure(library_problem);
    return;
  }
  if (!ExtractSetupArchive(TempDir())) {
    ReportInstallFailure("the setup archive could not be extracted.");
    return;
  }
  if (!files_.Exists(installer)) {
    ReportInstallFailure("the setup archive holds no \"setupZT.exe\".");
    return;
  }
  RunInstaller(installer);
}

bool UpdateDriver::ExtractSetupArchive(const std::string& temp) {
  try {
    ExtractionReports reports(extracted_, temp);
    cUnzip Uzip;
    Uzip.SetEventHandler(&reports);
    Uzip.SetZipFile(temp + kSetupArchiveFile);
    Uzip.SetUnzipFolder(temp);
    Uzip.SetOverwriteExisting(true);
    return Uzip.Unzip();
  } catch (const RuntimeFailure&) {
    return false;
  }
}

void UpdateDriver::RunInstaller(const std::string& installer) {
  const ProcessOutcome outcome = ModuloUp::RunAndWait(system_, installer);
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
  const std::string done = "Update successfully completed! ";
  if (outcome.restart_initiated) {
    // The installer has begun to restart the computer: starting Zentri PC now would only
    // start it into the shutdown.
    computer_restarting_ = true;
    ui_.MessageBox(done + "The computer is restarting to complete it.", kStyleOkInformation);
  } else if (outcome.restart_needed) {
    ui_.MessageBox(
        done + "It will be started Zentri PC\r" + "Restart the computer to complete the update.",
        kStyleOkInformation);
  } else {
    ui_.MessageBox(done + "It will be started Zentri PC", kStyleOkInformation);
  }
  Form_Unload();
}

void UpdateDriver::ReportInstallFailure(const std::string& what) {
  ui_.MessageBox("The update could not be installed: " + what, kStyleOkStop);
  ReturnToIdle();
}

}  // namespace rariduze
