// One download through the transfer control, with a progress handler attached, as the
// updater does it; run as its own process so its time and peak memory can be measured.
//   rariduze-download-client URL LOCAL_FILE

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "platform/control_host.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/ui_services.h"
#include "transfer/internet_file.h"

namespace {

class CountingEvents : public rariduze::InternetFileEvents {
 public:
  void DownloadComplete() override { complete = true; }
  void DownloadProgress(std::int32_t lBytesRead) override {
    ++progress_events;
    bytes = lBytesRead;
  }
  void DownloadError(const std::string& sErrorDescription) override {
    std::fprintf(stderr, "error %s\n", sErrorDescription.c_str());
  }
  void DownloadCancelled(std::int32_t) override {}

  bool complete = false;
  long progress_events = 0;
  std::int32_t bytes = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: rariduze-download-client URL LOCAL_FILE\n");
    return 2;
  }
  try {
    std::unique_ptr<rariduze::InternetApi> internet = rariduze::CreateInternetApi();
    rariduze::HeadlessUiServices ui;
    rariduze::NullControlHost host;
    rariduze::InternetFile file(*internet, ui, rariduze::FileSystem::Default(), host);
    CountingEvents events;
    file.SetEvents(&events);
    file.SetConnectType(2);
    file.SetUrl(argv[1]);
    file.SetLocalFile(std::string(argv[2]));
    file.StartDownload();
    std::printf("bytes=%d progress_events=%ld\n", static_cast<int>(events.bytes),
                events.progress_events);
    return events.complete ? 0 : 1;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    return 2;
  }
}
