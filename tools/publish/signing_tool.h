#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rariduze::publish {

// Signs each file with the secret key through the publisher's signing tool (minisign), in
// its default form, with trusted_comment; the tool writes each signature beside its file
// (file + ".minisig") and asks for the key's password on the terminal, as it always does.
// Nothing when every file was signed, else why not (the tool tells its own reason first).
std::optional<std::string> SignWithTool(const std::filesystem::path& secret_key,
                                        const std::string& trusted_comment,
                                        const std::vector<std::filesystem::path>& files);

}  // namespace rariduze::publish
