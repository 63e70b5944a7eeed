#include "tests/app/updater_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "app/installer.h"
#include "app/paths.h"
#include "platform/property_store.h"
#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "unzip/unzip_binding.h"

namespace rariduze::testing {
namespace {

void Zip(const std::string& archive, const std::vector<std::string>& files) {
  std::vector<std::string> argv = {"zip", "-q", "-j", archive};
  argv.insert(argv.end(), files.begin(), files.end());
  ProgramRun run = RunProgram(argv);
  if (run.exit_status != 0) throw std::runtime_error("zip failed: " + run.errors);
}

void CopyStandIn(const std::string& to) {
  std::filesystem::copy_file(PlatformPath(RARIDUZE_TEST_STAND_IN), Utf8Path(to),
                             std::filesystem::copy_options::overwrite_existing);
}

}  // namespace

// --- the user, the window -----------------------------------------------------------------

void ScriptedUi::Yield() {
  if (on_yield) on_yield();
}

int ScriptedUi::ShowMessageBox(const std::string& text, int style, const std::string& title) {
  boxes.push_back({text, style, title});
  if (on_box) on_box(boxes.back());
  return style == kStyleYesNoInformation ? yes_no_answer : kAnswerOk;
}

std::vector<std::string> ScriptedUi::Texts() const {
  std::vector<std::string> texts;
  for (const ShownBox& box : boxes) texts.push_back(box.text);
  return texts;
}

RecordingView::RecordingView(UiServices& ui) : bar_(ui, host_) {
  // Nothing stored: the range and value the window's bar starts with.
  bar_.ReadProperties(PropertyStore());
}

bool RecordingView::IsIdle() const {
  return check_caption == kCheckCaption && check_enabled && !stop_enabled;
}

void RecordingView::SetCheckCaption(const std::string& caption) {
  check_caption = caption;
  captions_shown.push_back(caption);
}

void RecordingView::ShowProxyDialog(ProxyForm& form) {
  ++proxy_dialogs_shown;
  if (on_proxy_dialog) on_proxy_dialog(form);
}

void RecordingView::ProcessEnding() {
  ending = "ending: caption \"" + check_caption + "\", check " +
           (check_enabled ? "enabled" : "disabled") + ", stop " +
           (stop_enabled ? "enabled" : "disabled") + "\n";
}

// --- the folders, the server and the programs ----------------------------------------------

UpdaterFixture::UpdaterFixture() {
  auto set = [this](const char* name, std::optional<std::string> value) {
    saved_environment_.emplace_back(name, GetEnv(name));
    SetEnv(name, value);
  };
  set("RARIDUZE_STAND_IN_MARK", MarkFile());
  set("RARIDUZE_STAND_IN_EXIT", "0");
  // Seen once, a window of the served application stays seen for the rest of the process.
  ModuloUp::AppRunning = false;

  mUnzip::SetLibraryDirectory(PlatformPath(RARIDUZE_TEST_UNZIP_DIR));
  InternetOptions options;
  options.limits.connect_seconds = 5;
  options.limits.stall_seconds = 5;
  internet_ = CreateInternetApi(options);

  InstallVersion("1.0.22");
}

UpdaterFixture::~UpdaterFixture() {
  for (auto it = saved_environment_.rbegin(); it != saved_environment_.rend(); ++it) {
    SetEnv(it->first, it->second);
  }
}

void UpdaterFixture::PublishVersion(const std::string& version) {
  PublishFile("versionZT.dat", version + "\r\n");
}

void UpdaterFixture::PublishSetup(int exit_status, const std::string& extra_content) {
  // The installer inherits the updater's environment, and this process is the updater.
  SetEnv("RARIDUZE_STAND_IN_EXIT", std::to_string(exit_status));
  CopyStandIn(installer_.File("setupZT.exe"));
  std::vector<std::string> files = {installer_.File("setupZT.exe")};
  if (!extra_content.empty()) {
    WriteFile(installer_.File("payload.bin"), extra_content);
    files.push_back(installer_.File("payload.bin"));
  }
  Zip(www_.File("setupZT.zip"), files);
}

void UpdaterFixture::PublishSetupWorthStopping() {
  // Random bytes, so the archive is as large as its content.
  std::mt19937 random(7);
  std::string payload(400 * 1024, '\0');
  for (char& c : payload) c = static_cast<char>(random());
  PublishSetup(0, payload);
  Serve("limit_rate 64k;");
}

void UpdaterFixture::PublishSetupWithoutInstaller() {
  WriteFile(installer_.File("readme.txt"), "no installer here");
  Zip(www_.File("setupZT.zip"), {installer_.File("readme.txt")});
}

void UpdaterFixture::PublishSetupNotExecutable() {
  CopyStandIn(installer_.File("setupZT.exe"));
  std::filesystem::permissions(
      installer_.File("setupZT.exe"),
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
          std::filesystem::perms::group_read | std::filesystem::perms::others_read);
  Zip(www_.File("setupZT.zip"), {installer_.File("setupZT.exe")});
}

void UpdaterFixture::PublishSetupWithEntries(const std::map<std::string, std::string>& entries,
                                             int exit_status) {
  SetEnv("RARIDUZE_STAND_IN_EXIT", std::to_string(exit_status));
  const std::string tree = installer_.File("tree");
  std::filesystem::create_directories(tree);
  CopyStandIn(tree + "/setupZT.exe");
  for (const auto& [name, bytes] : entries) {
    std::filesystem::create_directories(std::filesystem::path(tree + "/" + name).parent_path());
    WriteFile(tree + "/" + name, bytes);
  }
  // Stored with their folders, as the zip tool does when it is given a tree.
  std::filesystem::remove(www_.File("setupZT.zip"));
  ProgramRun run = RunProgram(
      {"sh", "-c", "cd \"$1\" && zip -q -r \"$2\" .", "sh", tree, www_.File("setupZT.zip")});
  if (run.exit_status != 0) throw std::runtime_error("zip failed: " + run.errors);
}

void UpdaterFixture::PublishFile(const std::string& name, const std::string& bytes) {
  WriteFile(www_.File(name), bytes);
}

void UpdaterFixture::InstallVersion(const std::string& version) {
  WriteFile(AppDir() + "versionZT.dat", version + "\r\n");
}

void UpdaterFixture::WriteSettings(const std::string& bytes) {
  WriteFile(AppDir() + "proxy", bytes);
}

void UpdaterFixture::Serve(const std::string& server_config) {
  NginxOptions options;
  options.root = www_.path();
  options.server_config = server_config;
  nginx_ = std::make_unique<NginxServer>(options);
}

UpdaterSetup UpdaterFixture::Setup() {
  if (!nginx_) Serve();
  return Setup(nginx_->Url("/versionZT.dat"), nginx_->Url("/setupZT.zip"));
}

UpdaterSetup UpdaterFixture::Setup(const std::string& version_url, const std::string& setup_url) {
  UpdaterSetup setup;
  setup.version_url = version_url;
  setup.setup_url = setup_url;
  setup.app_dir = AppDir();
  // Whatever key this build carries, a test signs with keys of its own or not at all.
  setup.publisher_keys.clear();
  return setup;
}

void UpdaterFixture::ExpectProcessEnds(const std::function<void()>& scenario) {
  try {
    scenario();
    ADD_FAILURE() << "the scenario came back: the program did not end";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(ended.exit_code, 0);
  }
}

std::string UpdaterFixture::TempFolder() {
  std::string why;
  return system_.RunTempDirectory(&why).value_or("");
}

std::vector<std::string> UpdaterFixture::InstallersThatRan() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(MarkFile()));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool AllTemporaryFilesGone(UpdaterFixture& fixture) {
  const std::string folder = fixture.TempFolder();
  if (!fixture.system().run_dir_removed()) return false;
  for (const char* name : {"ZTVersion", "setupZT.zip", "setupZT.exe"}) {
    if (FileIsThere(folder + name)) return false;
  }
  return true;
}

}  // namespace rariduze::testing
