#include "settings/proxy_dialog_qt.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include "platform/pixel_rect_qt.h"
#include "settings/proxy_dialog_layout.h"

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
  setWindowTitle(kProxyDialogTitle);
  QFont small(kProxyDialogFontName);
  small.setStyleHint(QFont::SansSerif);
  small.setPointSizeF(kProxyDialogFontPoints);
  setFont(small);
  const ProxyDialogLayout layout = LayOutProxyDialog(logicalDpiX());
  setFixedSize(layout.client_width, layout.client_height);

  cmdOk_ = new QPushButton(kProxyOkCaption, this);
  cmdOk_->setGeometry(ToQRect(layout.cmdOk));
  cmdOk_->setDefault(true);
  txtAddress_ = new QLineEdit(this);
  txtAddress_->setGeometry(ToQRect(layout.txtAddress));
  txtPort_ = new QLineEdit(this);
  txtPort_->setGeometry(ToQRect(layout.txtPort));
  QFont bold = txtPort_->font();
  bold.setBold(true);
  txtPort_->setFont(bold);
  txtPort_->setValidator(new PortValidator(txtPort_));
  chkLAN_ = new QCheckBox(this);
  chkLAN_->setGeometry(ToQRect(layout.chkLAN));
  for (const ProxyDialogLabel& text : layout.labels) {
    auto* label = new QLabel(text.text, this);
    label->setGeometry(ToQRect(text.place));
    label->setWordWrap(true);
    label->setAlignment((text.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
  }

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
