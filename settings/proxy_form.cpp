#include "settings/proxy_form.h"

#include <optional>

#include "platform/failure.h"
#include "platform/number_text.h"
#include "settings/settings_file.h"

namespace rariduze {
namespace {

constexpr char32_t kBackspace = 8;

// The number the port text starts with, read digit by digit up to the first other character
// (a sign included), 0 when there is none; nothing when it passes the largest port.
std::optional<std::int16_t> PortNumber(const std::string& text) {
  std::int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > kLargestProxyPort) return std::nullopt;
  }
  return static_cast<std::int16_t>(value);
}

}  // namespace

ProxyForm::ProxyForm(const std::string& app_dir, FileSystem& files, UiServices& ui,
                     ProxySettingsTarget& target)
    : settings_path_(SettingsFilePath(app_dir)), files_(files), ui_(ui), target_(target) {}

void ProxyForm::ReportFailure(int number, const std::string& description) {
  ui_.MessageBox(std::to_string(number) + " " + description, kStyleOk);
}

void ProxyForm::Form_Load(ProxyFormView& view) {
  view_ = &view;
  std::optional<std::int64_t> length = files_.Length(settings_path_);
  if (!length || *length == 0) return;

  ConnectionSettings settings;
  try {
    settings = ReadSettings(files_, settings_path_);
  } catch (const RuntimeFailure& failure) {
    ReportFailure(failure.number(), failure.description());
    return;
  }

  const ProxyEntry proxy = SplitProxyEntry(settings.proxy);
  view.SetAddressText(proxy.address);
  if (proxy.port) {
    view.SetPortText(*proxy.port);
  } else {
    ReportFailure(kFailureSubscriptOutOfRange,
                  StandardFailureDescription(kFailureSubscriptOutOfRange));
  }

  if (!settings.lan_flag.empty()) {
    double number = 0;
    if (ParseWholeNumberText(settings.lan_flag, &number)) {
      view.SetLanChecked(number != 0);
    } else {
      ReportFailure(kFailureTypeMismatch, StandardFailureDescription(kFailureTypeMismatch));
    }
  }
}

bool ProxyForm::SaveAndApply() {
  if (view_ == nullptr) return false;  // not opened yet: there is nothing to save
  const std::string address = view_->AddressText();
  const std::string port_text = view_->PortText();
  const std::optional<std::int16_t> port = PortNumber(port_text);
  if (!port) {
    ui_.MessageBox("The proxy port must be a number from 0 to 32767.", kStyleOkStop);
    view_->SelectPort();
    return false;
  }
  const bool lan = view_->LanChecked();
  try {
    WriteSettingsIfPresent(files_, settings_path_, address, port_text, lan);
  } catch (const RuntimeFailure& failure) {
    // The old file is still whole; the settings still reach the running updater.
    ui_.MessageBox("The settings could not be saved: " + failure.description(), kStyleOkStop);
  }
  target_.ApplyProxy(address, *port);
  target_.SetUsaLan(lan);
  saved_ = true;
  return true;
}

void ProxyForm::cmdOk_Click() {
  if (SaveAndApply()) view_->CloseDialog();
}

bool ProxyForm::Form_QueryUnload() { return saved_ || SaveAndApply(); }

bool ProxyForm::AcceptsPortKey(char32_t key) {
  return (key >= U'0' && key <= U'9') || key == kBackspace;
}

bool ProxyForm::IsPortText(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace rariduze
