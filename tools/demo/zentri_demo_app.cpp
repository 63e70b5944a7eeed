// A stand-in for the served application in the demo: one small window whose title carries the
// mark the updater looks for, showing the version installed beside it.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QString version = "unknown";
  QFile file(QCoreApplication::applicationDirPath() + "/versionZT.dat");
  if (file.open(QIODevice::ReadOnly)) version = QString::fromLatin1(file.readLine()).trimmed();

  QWidget window;
  window.setWindowTitle("Zentri Computer demo");
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(new QLabel("Zentri PC (demo)\nInstalled version: " + version, &window));
  window.resize(320, 120);
  window.show();
  return QApplication::exec();
}
