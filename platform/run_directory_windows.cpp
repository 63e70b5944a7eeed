#include "platform/windows_api.h"
// After windows.h:
#include <bcrypt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/run_directory.h"
#include "platform/wide_text_windows.h"

namespace rariduze {
namespace {

constexpr int kNameAttempts = 16;

// The current user's SID, copied out of the process's token.
std::vector<BYTE> CurrentUserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  std::vector<BYTE> sid;
  if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const auto* bytes = static_cast<const BYTE*>(user);
    sid.assign(bytes, bytes + ::GetLengthSid(user));
  }
  ::CloseHandle(token);
  return sid;
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

// A DACL that lets only these accounts in, handed down to everything made inside.
std::vector<BYTE> AccessListFor(const std::vector<std::vector<BYTE>>& sids) {
  DWORD size = sizeof(ACL);
  for (const auto& sid : sids) {
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + static_cast<DWORD>(sid.size());
  }
  std::vector<BYTE> list(size);
  auto* acl = reinterpret_cast<ACL*>(list.data());
  if (!::InitializeAcl(acl, size, ACL_REVISION)) return {};
  for (const auto& sid : sids) {
    if (!::AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                 FILE_ALL_ACCESS, const_cast<BYTE*>(sid.data()))) {
      return {};
    }
  }
  return list;
}

std::wstring RandomName() {
  std::uint8_t bytes[8] = {};
  if (!BCRYPT_SUCCESS(
          ::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return {};
  }
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = L"RARiduze-";
  for (std::uint8_t byte : bytes) {
    name += kDigits[byte >> 4];
    name += kDigits[byte & 15];
  }
  return name;
}

bool Gone(BOOL removed) {
  if (removed) return true;
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Deletes the folder at path (a "\\?\" path) and what it holds; false when anything stays. A
// link, junction or mount point inside goes itself, without what it leads to being touched.
bool RemoveTree(const std::wstring& path) {
  struct Entry {
    std::wstring name;
    DWORD attributes;
  };
  std::vector<Entry> entries;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") entries.push_back({name, found.dwFileAttributes});
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  bool all_gone = true;
  for (const Entry& entry : entries) {
    const std::wstring inner = path + L'\\' + entry.name;
    const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      all_gone = Gone(folder ? ::RemoveDirectoryW(inner.c_str()) : ::DeleteFileW(inner.c_str())) &&
                 all_gone;
      continue;
    }
    // Installers leave read-only files and folders; those are this run's too.
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      ::SetFileAttributesW(inner.c_str(), entry.attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    all_gone = (folder ? RemoveTree(inner) : Gone(::DeleteFileW(inner.c_str()))) && all_gone;
  }
  return Gone(::RemoveDirectoryW(path.c_str())) && all_gone;
}

}  // namespace

std::optional<std::string> MakeRunDirectory(const std::string& parent, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<std::string> {
    if (error != nullptr) *error = parent + ": no folder for this run can be made (" + why + ")";
    return std::nullopt;
  };
  // The user, and the accounts that can reach every file anyway: the system's own and the
  // administrators (an installer that the user let run as an administrator reads itself).
  const std::vector<std::vector<BYTE>> sids = {CurrentUserSid(), WellKnownSid(WinLocalSystemSid),
                                               WellKnownSid(WinBuiltinAdministratorsSid)};
  for (const auto& sid : sids) {
    if (sid.empty())
      return fail("the accounts cannot be told: " + SystemErrorText(::GetLastError()));
  }
  std::vector<BYTE> access = AccessListFor(sids);
  SECURITY_DESCRIPTOR descriptor;
  // Protected: nothing that the parent hands down (Everyone, in a shared folder) is added.
  if (access.empty() ||
      !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(access.data()),
                                   FALSE) ||
      !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return fail(SystemErrorText(::GetLastError()));
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  std::string folder = parent;
  if (folder.empty() || (folder.back() != '\\' && folder.back() != '/')) folder += '\\';
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::wstring name = RandomName();
    if (name.empty()) return fail("no random name: " + SystemErrorText(::GetLastError()));
    const std::string path = folder + Narrow(name);
    // Made here, never taken over: a name that another made first is passed by.
    if (::CreateDirectoryW(ExactPath(path).c_str(), &attributes)) return path + '\\';
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return fail(SystemErrorText(::GetLastError()));
  }
  return fail("every name tried is taken");
}

bool RemoveDirectoryTree(const std::string& folder) {
  std::wstring path = ExactPath(folder);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  // Neither nothing nor a drive's root ("\\?\C:") is a run's folder.
  if (path.size() < 4 || path.back() == L':' || path.rfind(L"\\\\?\\", 0) != 0) return false;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Gone(FALSE);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  // A link or junction in the folder's place goes; what it leads to stays.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return Gone(::RemoveDirectoryW(path.c_str()));
  return RemoveTree(path);
}

}  // namespace rariduze
