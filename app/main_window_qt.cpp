// The window itself: its controls, their places and pictures, and the menu.
#include "app/main_window_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QIconEngine>
#include <QMenuBar>
#include <QPainter>

#include "app/main_window_layout.h"
#include "app/picture_button_qt.h"
#include "platform/pixel_rect_qt.h"
#include "progressbar/progress_bar_qt.h"
#include "settings/proxy_dialog_qt.h"

namespace rariduze {
namespace {

// The program's own icon, the one the Windows build carries, read only once a desktop asks
// for a picture of it: a window that shows no icon pays nothing for it.
class ProgramIconEngine : public QIconEngine {
 public:
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().pixmap(size, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().actualSize(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Icon().availableSizes(mode, state);
  }
  QIconEngine* clone() const override { return new ProgramIconEngine; }

 private:
  const QIcon& Icon() {
    if (icon_.isNull()) icon_ = QIcon(":/rariduze/rariduze.ico");
    return icon_;
  }
  QIcon icon_;
};

}  // namespace

frmMain::frmMain(QtUiServices& ui, InternetApi& internet, FileSystem& files, SystemServices& system,
                 UpdaterSetup setup, QWidget* parent)
    : QMainWindow(parent), ui_(ui) {
  BuildWindow();
  ui_.PushOwner(this);
  UpdaterView& view = *this;
  driver_ = std::make_unique<UpdateDriver>(view, ui, internet, files, system, std::move(setup));
}

frmMain::~frmMain() {
  driver_.reset();
  ui_.PopOwner();
}

void frmMain::BuildWindow() {
  setWindowTitle(kMainWindowTitle);
  setWindowIcon(QIcon(new ProgramIconEngine));
  const MainWindowLayout layout = LayOutMainWindow(logicalDpiX());

  auto* client = new QWidget(this);
  client->setFixedSize(layout.client_width, layout.client_height);
  setCentralWidget(client);

  auto make_button = [&](const char* caption, ButtonPicture picture, const PixelRect& place) {
    auto* button = new PictureButton(picture, layout.picture_side, client);
    button->setText(caption);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setGeometry(ToQRect(place));
    return button;
  };
  cmdVerifica_ = make_button(kCheckCaption, ButtonPicture::kCheck, layout.cmdVerifica);
  cmdStopDownload_ = make_button(kStopCaption, ButtonPicture::kStop, layout.cmdStopDownload);
  cmdEsci_ = make_button(kExitCaption, ButtonPicture::kExit, layout.cmdEsci);
  setTabOrder(cmdVerifica_, cmdEsci_);
  setTabOrder(cmdEsci_, cmdStopDownload_);
  cmdVerifica_->setFocus();

  ProgressBar1_ = new ProgressBarWidget(client, &ui_, &control_host_);
  ProgressBar1_->bar().ReadProperties(ProgressBar1Settings());
  ProgressBar1_->Place(layout.ProgressBar1);

  // Two top-level items without sub-items: a click triggers them.
  mnuproxy_ = menuBar()->addAction(kProxyMenuCaption);
  mnuversion_ = menuBar()->addAction(kVersionMenuCaption);

  connect(cmdVerifica_, &QToolButton::clicked, this, [this] { driver_->cmdVerifica_Click(); });
  connect(cmdStopDownload_, &QToolButton::clicked, this,
          [this] { driver_->cmdStopDownload_Click(); });
  connect(cmdEsci_, &QToolButton::clicked, this, [this] { driver_->cmdEsci_Click(); });
  connect(mnuproxy_, &QAction::triggered, this, [this] { driver_->mnuproxy_Click(); });
  connect(mnuversion_, &QAction::triggered, this, [this] { driver_->mnuversion_Click(); });
  // However the session ends, the unload steps still run.
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { driver_->Form_Unload(); });

  adjustSize();
  setFixedSize(sizeHint());
}

void frmMain::closeEvent(QCloseEvent* event) {
  event->accept();
  driver_->Form_Unload();
}

void frmMain::SetCheckCaption(const std::string& caption) {
  cmdVerifica_->setText(QString::fromStdString(caption));
}

void frmMain::SetCheckEnabled(bool enabled) { cmdVerifica_->setEnabled(enabled); }

void frmMain::SetStopEnabled(bool enabled) { cmdStopDownload_->setEnabled(enabled); }

TeskShapeProgressBar& frmMain::ProgressBar1() { return ProgressBar1_->bar(); }

void frmMain::ShowProxyDialog(ProxyForm& form) {
  // No owner: the dialog stands on its own, modal to the whole application. Its boxes open
  // over it.
  frmProxy dialog(form);
  ui_.PushOwner(&dialog);
  dialog.exec();
  ui_.PopOwner();
}

void frmMain::ProcessEnding() {
  // Nothing of the window is kept or saved: it goes with the process.
}

}  // namespace rariduze
