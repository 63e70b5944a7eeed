#include "platform/ui_services_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace rariduze {

QtUiServices::QtUiServices(QWidget* owner) {
  if (owner != nullptr) owners_.push_back(owner);
}

void QtUiServices::Yield() { QApplication::processEvents(QEventLoop::AllEvents); }

int QtUiServices::ShowMessageBox(const std::string& text, int style, const std::string& title) {
  // A hidden window has no place on the screen to open over.
  QWidget* owner = owners_.empty() ? nullptr : owners_.back();
  QMessageBox box(owner != nullptr && owner->isVisible() ? owner : nullptr);
  box.setWindowTitle(QString::fromStdString(title));
  // Some texts part their sentences with a lone carriage return; show it as a line break.
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n").replace('\r', '\n');
  box.setText(shown);
  const int icon = style & 0xF0;
  if (icon == 16)
    box.setIcon(QMessageBox::Critical);
  else if (icon == 64)
    box.setIcon(QMessageBox::Information);
  else
    box.setIcon(QMessageBox::NoIcon);
  if ((style & 0x0F) == 4) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  box.setModal(true);
  const int answer = box.exec();
  if (answer == QMessageBox::Yes) return kAnswerYes;
  if (answer == QMessageBox::No) return kAnswerNo;
  return kAnswerOk;
}

}  // namespace rariduze
