#include "settings/proxy_dialog_qt.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include "platform/twips_qt.h"

namespace rariduze {
namespace {

// Holds the port box to the form's rule, whether the text is typed or pasted; Backspace
// always leaves digits only, so it still works.
class PortValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& /*position*/) const override {
    return ProxyForm::IsPortText(input.toStdString()) ? Acceptable : Invalid;
  }
};

}  // namespace

frmProxy::frmProxy(ProxyForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  BuildControls();
  form_.Form_Load(*this);
}

void frmProxy::BuildControls() {
  setWindowTitle("Set proxy options");
  // The layout was drawn for a small dialog font; larger ones would not fit its boxes.
  QFont small("MS Sans Serif");
  small.setStyleHint(QFont::SansSerif);
  small.setPointSizeF(8.25);
  setFont(small);
  setFixedSize(TwipsToPixels(*this, 4440), TwipsToPixels(*this, 1695, true));

  auto place = [this](QWidget* widget, double left, double top, double width, double height) {
    widget->setGeometry(TwipsRect(*this, left, top, width, height));
  };
  cmdOk_ = new QPushButton("OK", this);
  place(cmdOk_, 1710, 1200, 1230, 465);
  cmdOk_->setDefault(true);
  txtAddress_ = new QLineEdit(this);
  place(txtAddress_, 990, 255, 1950, 330);
  txtPort_ = new QLineEdit(this);
  place(txtPort_, 3555, 255, 780, 330);
  QFont bold = txtPort_->font();
  bold.setBold(true);
  txtPort_->setFont(bold);
  txtPort_->setValidator(new PortValidator(txtPort_));

  auto* address_label = new QLabel("Address:", this);
  place(address_label, 45, 300, 945, 240);
  auto* port_label = new QLabel("Port:", this);
  place(port_label, 3015, 300, 495, 240);
  auto* heading = new QLabel("Set the proxy", this);
  place(heading, 45, 0, 4335, 240);
  heading->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  chkLAN_ = new QCheckBox(this);
  place(chkLAN_, 150, 750, 195, 195);
  auto* lan_label =
      new QLabel("Check this Box If your Pc is connected through a LAN Gateway", this);
  lan_label->setWordWrap(true);
  place(lan_label, 870, 690, 3135, 435);
  auto* arrow = new QLabel("<--", this);
  place(arrow, 420, 720, 345, 300);

  // Labels take no focus; the tab order runs OK, address, port, then the check box.
  setTabOrder(cmdOk_, txtAddress_);
  setTabOrder(txtAddress_, txtPort_);
  setTabOrder(txtPort_, chkLAN_);
  cmdOk_->setFocus();

  connect(cmdOk_, &QPushButton::clicked, this, [this] { form_.cmdOk_Click(); });
}

std::string frmProxy::AddressText() const { return txtAddress_->text().toStdString(); }

void frmProxy::SetAddressText(const std::string& text) {
  txtAddress_->setText(QString::fromStdString(text));
}

std::string frmProxy::PortText() const { return txtPort_->text().toStdString(); }

void frmProxy::SetPortText(const std::string& text) {
  // Set directly, as the file has it: the typing rule is for the user's keys.
  txtPort_->setText(QString::fromStdString(text));
}

bool frmProxy::LanChecked() const { return chkLAN_->isChecked(); }

void frmProxy::SetLanChecked(bool checked) { chkLAN_->setChecked(checked); }

void frmProxy::SelectPort() {
  txtPort_->setFocus();
  txtPort_->selectAll();
}

void frmProxy::CloseDialog() { accept(); }

void frmProxy::closeEvent(QCloseEvent* event) {
  // The close box saves like OK; a desktop session that is shutting down saves nothing.
  if (!qApp->isSavingSession() && !form_.Form_QueryUnload()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void frmProxy::keyPressEvent(QKeyEvent* event) {
  // Escape would close without saving, a way out the dialog does not offer.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace rariduze
