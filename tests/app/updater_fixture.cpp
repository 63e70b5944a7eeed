#include "tests/app/updater_fixture.h"

#include <sys/stat.h>

#include <QDir>
#include <QPixmap>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/paths.h"
#include "tests/support/child_process.h"
#include "unzip/unzip_binding.h"

namespace rariduze::testing {
namespace {

void WriteScript(const std::string& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0755);
}

std::string Escape(std::string text) {
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

}  // namespace

void ScriptedUi::Yield() {
  QtUiServices::Yield();
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

UpdaterFixture::UpdaterFixture() {
  if (const char* old = std::getenv("TMPDIR")) {
    had_tmpdir_ = true;
    saved_tmpdir_ = old;
  }
  ::setenv("TMPDIR", temp_base_.path().c_str(), 1);
  // Window titles are not looked at here: the served application always counts as absent.
  ::unsetenv("DISPLAY");
  mUnzip::SetLibraryDirectory(RARIDUZE_TEST_UNZIP_DIR);
  InternetOptions options;
  options.limits.connect_seconds = 5;
  options.limits.stall_seconds = 5;
  internet_ = CreateInternetApi(options);

  InstallVersion("1.0.22");
  WriteScript(app_.File("Zentri Pc.exe"), "echo started >> '" + ServedAppMark() + "'\n");
}

UpdaterFixture::~UpdaterFixture() {
  if (had_tmpdir_)
    ::setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
}

void UpdaterFixture::PublishVersion(const std::string& version) {
  PublishFile("versionZT.dat", version + "\r\n");
}

void UpdaterFixture::PublishSetup(int exit_status, const std::string& extra_content) {
  WriteScript(installer_.File("setupZT.exe"), "echo \"$0 $*\" >> '" + InstallerMark() + "'\nexit " +
                                                  std::to_string(exit_status) + "\n");
  std::vector<std::string> argv = {"zip", "-q", "-j", www_.File("setupZT.zip"),
                                   installer_.File("setupZT.exe")};
  if (!extra_content.empty()) {
    WriteFile(installer_.File("payload.bin"), extra_content);
    argv.push_back(installer_.File("payload.bin"));
  }
  ProgramRun run = RunProgram(argv);
  if (run.exit_status != 0) throw std::runtime_error("zip failed: " + run.errors);
}

void UpdaterFixture::PublishSetupWithoutInstaller() {
  WriteFile(installer_.File("readme.txt"), "no installer here");
  ProgramRun run =
      RunProgram({"zip", "-q", "-j", www_.File("setupZT.zip"), installer_.File("readme.txt")});
  if (run.exit_status != 0) throw std::runtime_error("zip failed: " + run.errors);
}

void UpdaterFixture::PublishFile(const std::string& name, const std::string& bytes) {
  WriteFile(www_.File(name), bytes);
}

void UpdaterFixture::InstallVersion(const std::string& version) {
  WriteFile(app_.File("versionZT.dat"), version + "\r\n");
}

void UpdaterFixture::WriteSettings(const std::string& bytes) {
  WriteFile(app_.File("proxy"), bytes);
}

void UpdaterFixture::Serve(const std::string& server_config) {
  NginxOptions options;
  options.root = www_.path();
  options.server_config = server_config;
  nginx_ = std::make_unique<NginxServer>(options);
}

std::unique_ptr<frmMain> UpdaterFixture::MakeWindow(UiServices& ui) {
  if (!nginx_) Serve();
  return MakeWindow(ui, nginx_->Url("/versionZT.dat"), nginx_->Url("/setupZT.zip"));
}

std::unique_ptr<frmMain> UpdaterFixture::MakeWindow(UiServices& ui, const std::string& version_url,
                                                    const std::string& setup_url) {
  UpdaterSetup setup;
  setup.version_url = version_url;
  setup.setup_url = setup_url;
  setup.app_dir = AppDir();
  setup.links_dir = links_.path();  // no dial-up link at all
  return std::make_unique<frmMain>(ui, *internet_, FileSystem::Default(), setup);
}

std::string UpdaterFixture::TempFolder() const {
  std::string why;
  return TempDir(&why).value_or("");
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

void SaveImage(QWidget& widget, const std::string& name) {
  const QString folder = QString(RARIDUZE_TEST_ARTIFACTS_DIR) + "/main-window";
  QDir().mkpath(folder);
  widget.grab().save(folder + "/" + QString::fromStdString(name) + ".png");
}

}  // namespace rariduze::testing
