// Placeholder until the Windows internet operations land: every operation fails.
#include "platform/internet.h"

namespace rariduze {
namespace {

class UnavailableInternetApi : public InternetApi {
 public:
  void SetWaitHook(InternetWaitHook) override {}
  InternetHandle OpenSession(const std::string&, InternetAccess, const std::string&) override {
    return 0;
  }
  InternetHandle OpenUrl(InternetHandle, const std::string&) override { return 0; }
  std::int32_t SetFilePointer(InternetHandle, std::int32_t) override {
    return kInvalidSetFilePointer;
  }
  bool ReadFile(InternetHandle, char*, std::uint32_t, std::uint32_t*) override { return false; }
  InternetHandle Connect(InternetHandle, const std::string&, std::uint16_t, const std::string&,
                         const std::string&) override {
    return 0;
  }
  InternetHandle OpenRequest(InternetHandle, const std::string&, const std::string&,
                             const std::string&, std::uint32_t) override {
    return 0;
  }
  void SendRequest(InternetHandle) override {}
  bool QueryRawHeaders(InternetHandle, char*, std::uint32_t*) override { return false; }
  bool QueryStatusCode(InternetHandle, char*, std::uint32_t*) override { return false; }
  void CloseHandle(InternetHandle) override {}
};

}  // namespace

std::unique_ptr<InternetApi> CreateInternetApi(const InternetOptions&) {
  return std::make_unique<UnavailableInternetApi>();
}

}  // namespace rariduze
