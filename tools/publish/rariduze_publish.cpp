// rariduze-publish: makes what goes on the update server for one version of Zentri PC: the
// version file, the setup archive with the installer at its top, and, with the publisher's
// key, both signatures; then checks them the way the updater will, and only then puts them
// into the output folder. A refusal changes nothing there.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/version.h"
#include "platform/file_system.h"
#include "signing/bounded_file.h"
#include "signing/signature_format.h"
#include "tools/program_arguments.h"
#include "tools/publish/input_rules.h"
#include "tools/publish/output_check.h"
#include "tools/publish/setup_archive_writer.h"
#include "tools/publish/signing_tool.h"

namespace {

namespace fs = std::filesystem;
using namespace rariduze::publish;

constexpr int kExitPublished = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: rariduze-publish --version V --installer PATH --out FOLDER\n"
    "                        [--key SECRET_KEY_FILE [--public-key PUBLIC_KEY_FILE]]\n"
    "  --version     the version the update installs, as 1.0.23\n"
    "  --installer   \"setupZT.exe\", or a folder holding it at its top with the files it needs\n"
    "  --out         the folder that receives what goes on the update server\n"
    "  --key         the publisher's minisign secret key: both files are signed with it\n"
    "  --public-key  its public key, to check the signatures (default: the key file's\n"
    "                companion, its name ending in .pub instead of .key)\n";

struct Arguments {
  std::string version;
  fs::path installer;
  fs::path out;
  std::optional<fs::path> secret_key;
  std::optional<fs::path> public_key;
};

std::optional<Arguments> Parse(const std::vector<std::string>& argv) {
  Arguments args;
  bool version = false;
  bool installer = false;
  bool out = false;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string_view option = argv[i];
    if (i + 1 >= argv.size()) return std::nullopt;
    const std::string& value = argv[++i];
    // Each option once: a second one is more likely a slip than a wish.
    if (option == "--version" && !version) {
      args.version = value;
      version = true;
    } else if (option == "--installer" && !installer) {
      args.installer = Utf8Path(value);
      installer = true;
    } else if (option == "--out" && !out) {
      args.out = Utf8Path(value);
      out = true;
    } else if (option == "--key" && !args.secret_key) {
      args.secret_key = Utf8Path(value);
    } else if (option == "--public-key" && !args.public_key) {
      args.public_key = Utf8Path(value);
    } else {
      return std::nullopt;
    }
  }
  if (!version || !installer || !out || (args.public_key && !args.secret_key)) return std::nullopt;
  return args;
}

// The public key that checks what the secret key signs, or why there is none.
std::optional<rariduze::PublicKey> LoadPublicKey(const Arguments& args,
                                                 std::vector<std::string>& problems) {
  fs::path path = args.public_key.value_or(fs::path(*args.secret_key).replace_extension(".pub"));
  const std::string hint = args.public_key ? "" : " (name it with --public-key)";
  if (path == *args.secret_key) {
    problems.push_back("the public key cannot be found beside " + PathText(*args.secret_key) +
                       hint);
    return std::nullopt;
  }
  const rariduze::BoundedFile file = rariduze::ReadFileUpTo(
      rariduze::FileSystem::Default(), PathText(path), rariduze::kMaxPublicKeyFileBytes);
  if (file.outcome != rariduze::BoundedFile::Outcome::kRead) {
    problems.push_back("the public key " + PathText(path) + " cannot be read" + hint);
    return std::nullopt;
  }
  rariduze::PublicKeyParse parse = rariduze::ParsePublicKey(file.bytes);
  if (!parse.key) problems.push_back("the public key " + PathText(path) + ": " + parse.reason);
  return parse.key;
}

// A fresh folder inside the output folder, removed with this object: everything is made and
// checked there, and moved into place only when it all holds.
class StagingFolder {
 public:
  explicit StagingFolder(const fs::path& out) {
    std::random_device random;
    std::error_code error;
    for (int attempt = 0; attempt < 10 && path_.empty(); ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "%s%08x", kStagingPrefix, random());
      if (fs::create_directory(out / name, error)) path_ = out / name;
    }
  }
  ~StagingFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

int Refuse(const std::vector<std::string>& problems) {
  for (const std::string& problem : problems) {
    std::fprintf(stderr, "rariduze-publish: %s\n", problem.c_str());
  }
  std::fprintf(stderr, "rariduze-publish: nothing was published\n");
  return kExitRefused;
}

// Moves the staged files into the output folder: the archive first and the version file last,
// so that an updater that sees the new version finds its archive. A signature that an earlier
// publication left there, and this one has none of, goes.
std::optional<std::string> MoveIntoPlace(const fs::path& staged, const fs::path& out) {
  for (const std::string& name :
       {std::string(kSetupArchive) + kSignatureSuffix, std::string(kSetupArchive),
        std::string(kVersionFile) + kSignatureSuffix, std::string(kVersionFile)}) {
    std::error_code error;
    if (fs::exists(staged / name)) {
      fs::rename(staged / name, out / name, error);
    } else {
      fs::remove(out / name, error);
    }
    if (error) return "\"" + name + "\" cannot be put into place: " + error.message();
  }
  return std::nullopt;
}

int Publish(const Arguments& args) {
  std::vector<std::string> problems;
  std::optional<std::string> previous;
  const std::string in_place = rariduze::ModuloUp::ReadInstalledVersion(
      PathText(args.out / ""), rariduze::FileSystem::Default());
  if (rariduze::ModuloUp::IsVersionText(in_place)) previous = in_place;
  if (std::optional<std::string> problem = VersionProblem(args.version, previous)) {
    problems.push_back(*problem);
  }
  const InstallerLayout layout = CollectInstaller(args.installer);
  problems.insert(problems.end(), layout.problems.begin(), layout.problems.end());
  if (std::optional<std::string> problem = OutputFolderProblem(args.out)) {
    problems.push_back(*problem);
  }
  std::optional<rariduze::PublicKey> key;
  if (args.secret_key) {
    if (!std::ifstream(*args.secret_key).is_open()) {
      problems.push_back("the secret key " + PathText(*args.secret_key) + " cannot be read");
    }
    key = LoadPublicKey(args, problems);
  }
  if (!problems.empty()) return Refuse(problems);

  std::error_code error;
  fs::create_directories(args.out, error);
  StagingFolder staging(args.out);
  if (staging.path().empty()) {
    return Refuse({"the output folder " + PathText(args.out) + " cannot be written to"});
  }
  const fs::path version_file = staging.path() / kVersionFile;
  const fs::path archive = staging.path() / kSetupArchive;
  // The version's line ends as the updater's own files have them.
  std::ofstream(version_file, std::ios::binary) << args.version << "\r\n";
  if (std::optional<std::string> problem = WriteSetupArchive(layout.files, archive)) {
    return Refuse({*problem});
  }
  if (args.secret_key) {
    // The updater requires the archive's trusted comment to name the version it installs.
    if (std::optional<std::string> problem =
            SignWithTool(*args.secret_key, "version:" + args.version, {version_file, archive})) {
      return Refuse({*problem});
    }
  }
  problems =
      CheckPublication(staging.path(), args.version, layout.files, key, staging.path() / "check");
  if (!problems.empty()) return Refuse(problems);
  fs::remove_all(staging.path() / "check", error);
  if (std::optional<std::string> problem = MoveIntoPlace(staging.path(), args.out)) {
    return Refuse({*problem});
  }

  std::printf("published version %s in %s\n", args.version.c_str(), PathText(args.out).c_str());
  std::printf("  %s\n  %s:", kVersionFile, kSetupArchive);
  for (const InstallerFile& file : layout.files) std::printf(" %s", file.name.c_str());
  std::printf("\n");
  if (key) {
    std::printf("  both signed with key %s, trusted comment \"version:%s\"\n",
                rariduze::KeyIdText(key->key_id).c_str(), args.version.c_str());
  } else {
    std::printf("  unsigned: only an updater built without a publisher key installs it\n");
  }
  return kExitPublished;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Arguments> args = Parse(rariduze::ProgramArguments(argc, argv));
  if (!args) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  return Publish(*args);
}
