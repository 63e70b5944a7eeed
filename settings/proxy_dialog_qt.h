#pragma once

#include <QDialog>
#include <string>

#include "settings/proxy_form.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace rariduze {

// "Set proxy options" on screen: the controls in their places, over the dialog's logic in
// ProxyForm. OK and the close box save and apply; Escape does not close it, and a desktop
// session that ends saves nothing.
class frmProxy : public QDialog, private ProxyFormView {
 public:
  // Builds the controls and fills them from the settings file (form's load step).
  explicit frmProxy(ProxyForm& form, QWidget* parent = nullptr);

  QLineEdit* txtAddress() const { return txtAddress_; }
  QLineEdit* txtPort() const { return txtPort_; }
  QCheckBox* chkLAN() const { return chkLAN_; }
  QPushButton* cmdOk() const { return cmdOk_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();

  std::string AddressText() const override;
  void SetAddressText(const std::string& text) override;
  std::string PortText() const override;
  void SetPortText(const std::string& text) override;
  bool LanChecked() const override;
  void SetLanChecked(bool checked) override;
  void SelectPort() override;
  void CloseDialog() override;

  ProxyForm& form_;
  QPushButton* cmdOk_ = nullptr;
  QLineEdit* txtAddress_ = nullptr;
  QLineEdit* txtPort_ = nullptr;
  QCheckBox* chkLAN_ = nullptr;
};

}  // namespace rariduze
