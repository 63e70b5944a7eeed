#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "unzip/unzip_object.h"

namespace rariduze::testing {

// Notes every event of an unzip object and answers as told.
struct RecordingEvents : UnzipEvents {
  std::vector<std::string> progress, cancels, overwrites;
  int password_requests = 0;
  std::optional<std::string> password_to_give;
  std::optional<std::int32_t> overwrite_answer;
  std::string cancel_at;
  bool throw_in_progress = false;
  bool throw_in_overwrite = false;

  void Cancel(const std::string& sMsg, bool& bCancel) override {
    cancels.push_back(sMsg);
    if (sMsg == cancel_at) bCancel = true;
  }
  void OverwritePrompt(const std::string& sFIle, std::int32_t& eResponse) override {
    overwrites.push_back(sFIle);
    if (overwrite_answer) eResponse = *overwrite_answer;
    if (throw_in_overwrite) throw std::runtime_error("handler failed");
  }
  void PasswordRequest(std::string& sPassword, bool& /*bCancel*/) override {
    ++password_requests;
    if (password_to_give) sPassword = *password_to_give;
  }
  void Progress(std::int32_t lCount, const std::string& sMsg) override {
    EXPECT_EQ(lCount, 1);
    progress.push_back(sMsg);
    if (throw_in_progress) throw std::runtime_error("handler failed");
  }

  // True when some progress message holds text.
  bool Told(const std::string& text) const {
    for (const std::string& message : progress) {
      if (message.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

}  // namespace rariduze::testing
