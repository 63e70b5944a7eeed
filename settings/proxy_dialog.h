#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "platform/file_system.h"
#include "platform/ui_services.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QLabel;

namespace rariduze {

// What the dialog hands its settings to: the main window's transfer control and LAN flag.
class ProxySettingsTarget {
 public:
  virtual ~ProxySettingsTarget() = default;
  virtual void ApplyProxy(const std::string& server, std::int16_t port) = 0;
  virtual void SetUsaLan(bool usa_lan) = 0;
};

// "Set proxy options": edits the settings file "proxy" in the updater's directory and hands
// the proxy and the LAN choice to the main window. OK and the close box save and apply; Escape
// does not close it, and a desktop session that ends saves nothing.
class frmProxy : public QDialog {
 public:
  frmProxy(const std::string& app_dir, FileSystem& files, UiServices& ui,
           ProxySettingsTarget& target, QWidget* parent = nullptr);

  QLineEdit* txtAddress() const { return txtAddress_; }
  QLineEdit* txtPort() const { return txtPort_; }
  QCheckBox* chkLAN() const { return chkLAN_; }
  QPushButton* cmdOk() const { return cmdOk_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();
  void Load();
  // Saves and applies; false when the port was refused and the dialog stays open.
  bool SaveAndApply();
  void ReportFailure(int number, const std::string& description);

  std::string settings_path_;
  FileSystem& files_;
  UiServices& ui_;
  ProxySettingsTarget& target_;
  QPushButton* cmdOk_ = nullptr;
  QLineEdit* txtAddress_ = nullptr;
  QLineEdit* txtPort_ = nullptr;
  QCheckBox* chkLAN_ = nullptr;
  bool saved_ = false;
};

}  // namespace rariduze
