#include <windows.h>
// After windows.h, which they need:
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/wide_text_windows.h"
#include "tests/support/child_process.h"
#include "tests/support/folder_access.h"
#include "tests/support/host.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

std::string SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(sid, &text)) return "(unreadable SID)";
  std::string narrow = Narrow(text);
  ::LocalFree(text);
  return narrow;
}

std::string CurrentUserSidText() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  std::vector<BYTE> buffer(512);
  DWORD size = 0;
  std::string text;
  if (::GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                            &size)) {
    text = SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
  }
  ::CloseHandle(token);
  return text;
}

bool IsReparsePoint(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Utf8Path(path).wstring().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

std::string WhyNotPrivate(const std::string& folder) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD read = ::GetNamedSecurityInfoW(Utf8Path(folder).wstring().c_str(), SE_FILE_OBJECT,
                                             DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                             nullptr, &descriptor);
  if (read != ERROR_SUCCESS) return "its DACL cannot be read: " + SystemErrorText(read);
  std::string why;
  if (dacl == nullptr) why = "it has no DACL: everyone may reach it";
  const std::string user = CurrentUserSidText();
  bool user_granted = false;
  for (DWORD index = 0; dacl != nullptr && index < dacl->AceCount; ++index) {
    void* ace = nullptr;
    if (!::GetAce(dacl, index, &ace)) continue;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    const std::string text = SidText(sid);
    if (text == user) {
      user_granted = true;
    } else if (text != "S-1-5-18" && text != "S-1-5-32-544") {  // the system, administrators
      why += (why.empty() ? "" : "; ") + text + " is granted access";
    }
  }
  ::LocalFree(descriptor);
  if (!user_granted && dacl != nullptr) why += (why.empty() ? "" : "; ") + user + " is not granted";
  return why;
}

void OpenToEveryone(const std::string& folder) {
  EXPLICIT_ACCESSW everyone{};
  everyone.grfAccessPermissions = GENERIC_ALL;
  everyone.grfAccessMode = SET_ACCESS;
  everyone.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  everyone.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  everyone.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  everyone.Trustee.ptstrName = const_cast<wchar_t*>(L"EVERYONE");
  PACL dacl = nullptr;
  if (::SetEntriesInAclW(1, &everyone, nullptr, &dacl) != ERROR_SUCCESS) return;
  std::wstring path = Utf8Path(folder).wstring();
  ::SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          dacl, nullptr);
  ::LocalFree(dacl);
}

bool MakeFolderLink(const std::string& link, const std::string& target, std::string* why) {
  // Wine's mklink makes nothing and says nothing.
  const ProgramRun mklink = RunProgram({"cmd.exe", "/c", "mklink", "/J", link, target});
  if (IsReparsePoint(link)) return true;
  const ProgramRun ln = RunProgram({"ln", "-s", UnixPath(target), UnixPath(link)});
  if (IsReparsePoint(link)) return true;
  *why = "mklink /J: " + mklink.output + mklink.errors + "; ln -s: " + ln.errors;
  return false;
}

void WriteExactFile(const std::string& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(ExactPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace rariduze::testing
