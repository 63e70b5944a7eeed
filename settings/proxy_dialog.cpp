#include "settings/proxy_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "platform/failure.h"
#include "platform/number_text.h"
#include "platform/twips_qt.h"
#include "settings/settings_file.h"

namespace rariduze {
namespace {

constexpr double kLargestPort = 32767;

}  // namespace

frmProxy::frmProxy(const std::string& app_dir, FileSystem& files, UiServices& ui,
                   ProxySettingsTarget& target, QWidget* parent)
    : QDialog(parent),
      settings_path_(SettingsFilePath(app_dir)),
      files_(files),
      ui_(ui),
      target_(target) {
  BuildControls();
  Load();
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
  // Only digits get in, whether typed or pasted; Backspace still works.
  txtPort_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), txtPort_));

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

  connect(cmdOk_, &QPushButton::clicked, this, [this] {
    if (SaveAndApply()) accept();
  });
}

void frmProxy::ReportFailure(int number, const std::string& description) {
  ui_.MessageBox(std::to_string(number) + " " + description, kStyleOk);
}

void frmProxy::Load() {
  std::optional<std::int64_t> length = files_.Length(settings_path_);
  if (!length || *length == 0) return;

  ConnectionSettings settings;
  try {
    settings = ReadSettings(files_, settings_path_);
  } catch (const RuntimeFailure& failure) {
    ReportFailure(failure.number(), failure.description());
    return;
  }

  const std::string& entry = settings.proxy;
  std::size_t colon = entry.find(':');
  txtAddress_->setText(QString::fromStdString(entry.substr(0, colon)));
  if (colon == std::string::npos) {
    ReportFailure(kFailureSubscriptOutOfRange,
                  StandardFailureDescription(kFailureSubscriptOutOfRange));
  } else {
    std::size_t second = entry.find(':', colon + 1);
    std::string port = entry.substr(
        colon + 1, second == std::string::npos ? std::string::npos : second - colon - 1);
    txtPort_->setText(QString::fromStdString(port));
  }

  if (!settings.lan_flag.empty()) {
    double number = 0;
    if (ParseWholeNumberText(settings.lan_flag, &number)) {
      chkLAN_->setChecked(number != 0);
    } else {
      ReportFailure(kFailureTypeMismatch, StandardFailureDescription(kFailureTypeMismatch));
    }
  }
}

bool frmProxy::SaveAndApply() {
  const std::string address = txtAddress_->text().toStdString();
  const std::string port_text = txtPort_->text().toStdString();
  const double port = ReadLeadingNumber(port_text);
  if (port > kLargestPort) {
    ui_.MessageBox("The proxy port must be a number from 0 to 32767.", kStyleOkStop);
    txtPort_->setFocus();
    txtPort_->selectAll();
    return false;
  }
  const bool lan = chkLAN_->isChecked();
  try {
    WriteSettingsIfPresent(files_, settings_path_, address, port_text, lan);
  } catch (const RuntimeFailure& failure) {
    // The old file is still whole; the settings still reach the running updater.
    ui_.MessageBox("The settings could not be saved: " + failure.description(), kStyleOkStop);
  }
  target_.ApplyProxy(address, static_cast<std::int16_t>(port));
  target_.SetUsaLan(lan);
  saved_ = true;
  return true;
}

void frmProxy::closeEvent(QCloseEvent* event) {
  // The close box saves like OK; a desktop session that is shutting down saves nothing.
  if (!saved_ && !qApp->isSavingSession() && !SaveAndApply()) {
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
