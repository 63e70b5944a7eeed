#pragma once

#include <string>

#include "settings/proxy_form.h"

namespace rariduze::testing {

// The settings dialog without a toolkit, as the user sees it: three fields, and whether the
// dialog's logic closed it or selected the port.
class FakeProxyDialog : public ProxyFormView {
 public:
  std::string address;
  std::string port;
  bool lan = false;
  bool closed = false;
  int port_selections = 0;

  std::string AddressText() const override { return address; }
  void SetAddressText(const std::string& text) override { address = text; }
  std::string PortText() const override { return port; }
  void SetPortText(const std::string& text) override { port = text; }
  bool LanChecked() const override { return lan; }
  void SetLanChecked(bool checked) override { lan = checked; }
  void SelectPort() override { ++port_selections; }
  void CloseDialog() override { closed = true; }
};

}  // namespace rariduze::testing
