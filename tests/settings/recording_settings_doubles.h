#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui_services.h"
#include "settings/proxy_form.h"

namespace rariduze::testing {

// Message boxes recorded and answered OK; yields do nothing.
class RecordingUi : public UiServices {
 public:
  std::vector<std::string> boxes;
  std::vector<int> styles;
  void Yield() override {}

 protected:
  int ShowMessageBox(const std::string& text, int style, const std::string&) override {
    boxes.push_back(text);
    styles.push_back(style);
    return kAnswerOk;
  }
};

// What the dialog hands on to the transfer settings.
class RecordingTarget : public ProxySettingsTarget {
 public:
  int applied = 0;
  std::string server;
  std::int16_t port = -1;
  std::optional<bool> usa_lan;
  void ApplyProxy(const std::string& s, std::int16_t p) override {
    ++applied;
    server = s;
    port = p;
  }
  void SetUsaLan(bool value) override { usa_lan = value; }
};

}  // namespace rariduze::testing
