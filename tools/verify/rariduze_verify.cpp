// rariduze-verify: checks a file against its signature with a public key, as the updater
// will, so a publisher can check the files before putting them on the update server.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "signing/bounded_file.h"
#include "signing/signature_format.h"
#include "signing/trusted_comment.h"
#include "signing/verify.h"
#include "tools/program_arguments.h"

namespace {

constexpr int kExitVerified = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: rariduze-verify PUBLIC_KEY FILE SIGNATURE [--version V]\n"
    "  PUBLIC_KEY  the key line, or the path of the key's .pub file; several separated by \";\"\n"
    "              (a signature by any one of them holds)\n"
    "  SIGNATURE   the path of FILE's signature file (FILE.minisig)\n"
    "  --version   also require the trusted comment to name version V (\"version:V\")\n"
    "Prints \"verified\" and the trusted comment (exit 0) or \"error REASON\" (exit 1).\n";

struct Arguments {
  std::string public_key;
  std::string file;
  std::string signature;
  std::optional<std::string> version;
};

std::optional<Arguments> Parse(const std::vector<std::string>& argv) {
  Arguments args;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    std::string_view arg = argv[i];
    if (arg == "--version") {
      if (i + 1 >= argv.size()) return std::nullopt;
      args.version = argv[++i];
    } else if (arg.starts_with("--")) {
      return std::nullopt;
    } else {
      positional.emplace_back(arg);
    }
  }
  if (positional.size() != 3) return std::nullopt;
  args.public_key = positional[0];
  args.file = positional[1];
  args.signature = positional[2];
  return args;
}

int Refuse(const std::string& reason) {
  std::printf("error %s\n", reason.c_str());
  return kExitRefused;
}

// The argument as a key line or .pub text when it reads as one, else the file it names.
rariduze::PublicKeyParse LoadPublicKey(const std::string& argument) {
  rariduze::PublicKeyParse direct = rariduze::ParsePublicKey(argument);
  if (direct.key) return direct;
  rariduze::BoundedFile file = rariduze::ReadFileUpTo(rariduze::FileSystem::Default(), argument,
                                                      rariduze::kMaxPublicKeyFileBytes);
  switch (file.outcome) {
    case rariduze::BoundedFile::Outcome::kRead:
      return rariduze::ParsePublicKey(file.bytes);
    case rariduze::BoundedFile::Outcome::kTooLarge:
      return {std::nullopt, "the public key file is too large"};
    case rariduze::BoundedFile::Outcome::kUnreadable:
      break;
  }
  return {std::nullopt, "the public key is neither a key nor a readable key file"};
}

struct PublicKeys {
  std::vector<rariduze::PublicKey> keys;  // empty when one could not be read
  std::string reason;
};

// The argument as one key, or else as several separated by ";", as the build setting holds
// them: a path with ";" in it still names one .pub file.
PublicKeys LoadPublicKeys(const std::string& argument) {
  rariduze::PublicKeyParse one = LoadPublicKey(argument);
  if (one.key) return {{*one.key}, {}};
  if (argument.find(';') == std::string::npos) return {{}, one.reason};
  PublicKeys list;
  std::vector<std::string> items;
  for (std::size_t start = 0;;) {
    const std::size_t end = argument.find(';', start);
    items.push_back(argument.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    rariduze::PublicKeyParse parsed = LoadPublicKey(items[i]);
    if (!parsed.key) {
      return {{},
              "key " + std::to_string(i + 1) + " of " + std::to_string(items.size()) + ": " +
                  parsed.reason};
    }
    list.keys.push_back(*parsed.key);
  }
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = rariduze::ProgramArguments(argc, argv);
  // Help only alone: beside other arguments "-h" may name a file, and a check asked for must
  // never end in success unchecked.
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return kExitVerified;
  }
  std::optional<Arguments> args = Parse(arguments);
  if (!args) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }

  const PublicKeys keys = LoadPublicKeys(args->public_key);
  if (keys.keys.empty()) return Refuse(keys.reason);

  rariduze::BoundedFile signature = rariduze::ReadFileUpTo(
      rariduze::FileSystem::Default(), args->signature, rariduze::kMaxSignatureFileBytes);
  if (signature.outcome == rariduze::BoundedFile::Outcome::kUnreadable) {
    return Refuse("the signature file could not be read");
  }
  if (signature.outcome == rariduze::BoundedFile::Outcome::kTooLarge) {
    return Refuse("the signature file is larger than " +
                  std::to_string(rariduze::kMaxSignatureFileBytes) + " bytes");
  }

  rariduze::Verification verification =
      rariduze::VerifyFile(keys.keys, rariduze::FileSystem::Default(), args->file, signature.bytes);
  if (!verification.ok) return Refuse(verification.reason);
  if (args->version &&
      !rariduze::TrustedCommentNamesVersion(verification.trusted_comment, *args->version)) {
    return Refuse("the trusted comment does not name version " + *args->version);
  }
  std::printf("verified\ntrusted comment: %s\n", verification.trusted_comment.c_str());
  return kExitVerified;
}
