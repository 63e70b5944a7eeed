#pragma once

// The files of an update in the temporary folder, and the stages of its downloads: shared by
// the parts of the update driver.
#include <cstdint>
#include <string>

#include "app/signed_update.h"

namespace rariduze {

inline constexpr const char* kDownloadedVersionFile = "ZTVersion";
inline constexpr const char* kSetupArchiveFile = "setupZT.zip";
inline constexpr const char* kInstallerFile = "setupZT.exe";

// Every file of an update that the unload takes away by name, signatures included.
inline const std::string kTemporaryFiles[] = {kDownloadedVersionFile, kInstallerFile,
                                              kSetupArchiveFile,
                                              SignedUpdate::SignatureOf(kDownloadedVersionFile),
                                              SignedUpdate::SignatureOf(kSetupArchiveFile)};

// What DownloadStage says is downloading. The two signatures are fetched only with a key.
inline constexpr std::int32_t kStageVersionFile = 0;
inline constexpr std::int32_t kStageSetupArchive = 1;
inline constexpr std::int32_t kStageVersionSignature = 2;
inline constexpr std::int32_t kStageSetupSignature = 3;

inline bool IsSignatureStage(std::int32_t stage) {
  return stage == kStageVersionSignature || stage == kStageSetupSignature;
}

}  // namespace rariduze
