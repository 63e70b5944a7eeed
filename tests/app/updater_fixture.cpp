#include "tests/app/updater_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "app/paths.h"
#include "platform/property_store.h"
#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "unzip/unzip_binding.h"

namespace rariduze::testing {
namespace {

// Set where a scenario is expected to end the program: only there may the process end.
bool process_may_end = false;

// Set by the parent of a death test for a child that builds its fixture afresh.
constexpr const char* kSharedAppDir = "RARIDUZE_TEST_SHARED_APP_DIR";
constexpr const char* kSharedTempBase = "RARIDUZE_TEST_SHARED_TEMP_BASE";

std::optional<std::string> Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n')) {
      out += text[i + 1] == 'r' ? '\r' : '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

void Zip(const std::string& archive, const std::vector<std::string>& files) {
  std::vector<std::string> argv = {"zip", "-q", "-j", archive};
  argv.insert(argv.end(), files.begin(), files.end());
  ProgramRun run = RunProgram(argv);
  if (run.exit_status != 0) throw std::runtime_error("zip failed: " + run.errors);
}

void CopyStandIn(const std::string& to) {
  std::filesystem::copy_file(PlatformPath(RARIDUZE_TEST_STAND_IN), to,
                             std::filesystem::copy_options::overwrite_existing);
}

}  // namespace

// --- the user, the window -----------------------------------------------------------------

void ScriptedUi::Yield() {
  if (on_yield) on_yield();
}

int ScriptedUi::ShowMessageBox(const std::string& text, int style, const std::string& title) {
  boxes.push_back({text, style, title});
  std::ofstream log(log_path_, std::ios::app);
  log << style << '|' << title << '|' << Escape(text) << '\n';
  return style == kStyleYesNoInformation ? yes_no_answer : kAnswerOk;
}

std::vector<ShownBox> ReadBoxLog(const std::string& path) {
  std::vector<ShownBox> boxes;
  std::istringstream lines(ReadFile(path));
  std::string line;
  while (std::getline(lines, line)) {
    std::size_t first = line.find('|');
    std::size_t second = line.find('|', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    boxes.push_back({Unescape(line.substr(second + 1)), std::stoi(line.substr(0, first)),
                     line.substr(first + 1, second - first - 1)});
  }
  return boxes;
}

RecordingView::RecordingView(UiServices& ui, std::string ending_log)
    : bar_(ui, host_), ending_log_(std::move(ending_log)) {
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
  // The program ends with status 0 whatever led there; a test that did not expect it must
  // not pass for having ended quietly.
  if (!process_may_end) {
    std::fprintf(stderr, "The updater ended the program where the test did not expect it.\n");
    std::fflush(stderr);
    std::_Exit(1);
  }
  std::ofstream log(ending_log_, std::ios::app);
  log << "ending: caption \"" << check_caption << "\", check "
      << (check_enabled ? "enabled" : "disabled") << ", stop "
      << (stop_enabled ? "enabled" : "disabled") << '\n';
}

// --- the folders, the server and the programs ----------------------------------------------

UpdaterFixture::UpdaterFixture() {
  const std::optional<std::string> shared_app = Environment(kSharedAppDir);
  const std::optional<std::string> shared_temp = Environment(kSharedTempBase);
  if (shared_app && shared_temp) {
    app_dir_ = *shared_app;
    temp_base_dir_ = *shared_temp;
  } else {
    app_.emplace("app");
    temp_base_.emplace("tmp");
    app_dir_ = app_->path();
    temp_base_dir_ = temp_base_->path();
  }

  auto set = [this](const char* name, std::optional<std::string> value) {
    saved_environment_.emplace_back(name, Environment(name));
    SetEnv(name, value);
  };
  // The temporary folder's base, by the name each system looks at.
  for (const char* name : {"TMPDIR", "TEMP", "TMP"}) set(name, temp_base_dir_);
  // Window titles are not looked at here: the served application always counts as absent.
  set("DISPLAY", std::nullopt);
  set("RARIDUZE_STAND_IN_MARK", MarkFile());
  set("RARIDUZE_STAND_IN_EXIT", "0");

  mUnzip::SetLibraryDirectory(PlatformPath(RARIDUZE_TEST_UNZIP_DIR));
  InternetOptions options;
  options.limits.connect_seconds = 5;
  options.limits.stall_seconds = 5;
  internet_ = CreateInternetApi(options);

  InstallVersion("1.0.22");
  CopyStandIn(ServedAppPath());
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
  setup.dial_up_active = [] { return false; };  // no dial-up connection at all
  // Whatever key this build carries, a test signs with keys of its own or not at all.
  setup.publisher_keys.clear();
  return setup;
}

void UpdaterFixture::ExpectProcessEnds(const std::function<void()>& scenario) {
  SetEnv(kSharedAppDir, app_dir_);
  SetEnv(kSharedTempBase, temp_base_dir_);
  // A child started afresh makes its own server and folders, and never removes them: they go
  // below a folder of this parent's, which does.
  if (!child_work_) child_work_.emplace("child-work");
  const std::optional<std::string> work_root = Environment("RARIDUZE_TEST_WORK_DIR");
  SetEnv("RARIDUZE_TEST_WORK_DIR", child_work_->path());
  EXPECT_EXIT(
      {
        process_may_end = true;
        scenario();
        std::exit(3);  // the scenario came back: the process did not end
      },
      ::testing::ExitedWithCode(0), "");
  SetEnv("RARIDUZE_TEST_WORK_DIR", work_root);
  SetEnv(kSharedAppDir, std::nullopt);
  SetEnv(kSharedTempBase, std::nullopt);
}

std::string UpdaterFixture::TempFolder() const {
  std::string why;
  return TempDir(&why).value_or("");
}

std::vector<std::string> UpdaterFixture::ProgramsRun() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(MarkFile()));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> UpdaterFixture::WaitForProgramsRun(std::size_t count) const {
  WaitUntil([&] { return ProgramsRun().size() >= count; });
  return ProgramsRun();
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool AllTemporaryFilesGone(const UpdaterFixture& fixture) {
  for (const char* name : {"ZTVersion", "setupZT.zip", "setupZT.exe"}) {
    if (FileIsThere(fixture.TempFolder() + name)) return false;
  }
  return true;
}

}  // namespace rariduze::testing
