#pragma once

#include <string>

namespace rariduze {

// The container of a reusable control: it hears which property changed so it knows the
// window's saved state needs writing.
class ControlHost {
 public:
  virtual ~ControlHost() = default;
  virtual void PropertyChanged(const std::string& name) = 0;
};

class NullControlHost : public ControlHost {
 public:
  void PropertyChanged(const std::string&) override {}
};

}  // namespace rariduze
