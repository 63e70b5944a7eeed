// The signature checks of a build with the publisher's key: each update file counts only once
// its signature, fetched after it, holds.
#include <optional>
#include <string>

#include "app/update_driver.h"
#include "app/update_files.h"

namespace rariduze {

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
  const std::string local_name = SignedUpdate::SignatureOf(
      stage == kStageVersionSignature ? kDownloadedVersionFile : kSetupArchiveFile);
  const Download download = DownloadInto(local_name, stage, kMaxSignatureFileBytes);
  if (download == Download::kNotSaved) return SignatureFetch::kNotSaved;
  if (stop_clicked_) return SignatureFetch::kStopped;
  if (download == Download::kCutOff) return SignatureFetch::kRefused;
  return signature_fetch_;
}

void UpdateDriver::VerifyVersionFile() {
  const SignatureFetch fetch = FetchSignature(kStageVersionSignature);
  if (fetch == SignatureFetch::kNotSaved) return;
  if (fetch == SignatureFetch::kArrived &&
      signed_update_.VersionFileHolds(TempDir() + kDownloadedVersionFile)) {
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
  const std::string archive = TempDir() + kSetupArchiveFile;
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

}  // namespace rariduze
