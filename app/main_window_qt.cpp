// The window itself: its controls, their places and pictures, and the menu.
#include "app/main_window_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QMenuBar>
#include <QStyle>
#include <QToolButton>

#include "app/picture_button_qt.h"
#include "platform/twips_qt.h"
#include "progressbar/progress_bar_qt.h"
#include "settings/proxy_dialog_qt.h"

namespace rariduze {
namespace {

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback, const QStyle& style) {
  return QIcon::fromTheme(name, style.standardIcon(fallback));
}

}  // namespace

frmMain::frmMain(UiServices& ui, InternetApi& internet, FileSystem& files, UpdaterSetup setup,
                 QWidget* parent)
    : QMainWindow(parent), ui_(ui) {
  BuildWindow();
  UpdaterView& view = *this;
  driver_ = std::make_unique<UpdateDriver>(view, ui, internet, files, std::move(setup));
}

frmMain::~frmMain() = default;

void frmMain::BuildWindow() {
  setWindowTitle("ZT --> Check update Availability ");
  setWindowIcon(ThemeIcon("system-software-update", QStyle::SP_BrowserReload, *style()));

  auto* client = new QWidget(this);
  client->setFixedSize(TwipsToPixels(*this, 5550), TwipsToPixels(*this, 1800, true));
  setCentralWidget(client);

  auto make_button = [&](const char* caption, const char* icon, QStyle::StandardPixmap fallback,
                         double left, double width) {
    auto* button = new PictureButton(client);
    button->setText(caption);
    button->setIcon(ThemeIcon(icon, fallback, *style()));
    button->setIconSize(QSize(TwipsToPixels(*this, 720), TwipsToPixels(*this, 720, true)));
    button->setFocusPolicy(Qt::StrongFocus);
    button->setGeometry(TwipsRect(*this, left, 45, width, 1500));
    return button;
  };
  cmdVerifica_ =
      make_button(kCheckCaption, "system-software-update", QStyle::SP_BrowserReload, 135, 1815);
  cmdStopDownload_ =
      make_button("Stop Download", "process-stop", QStyle::SP_BrowserStop, 1935, 1815);
  cmdEsci_ = make_button("Exit", "application-exit", QStyle::SP_DialogCloseButton, 3735, 1725);
  setTabOrder(cmdVerifica_, cmdEsci_);
  setTabOrder(cmdEsci_, cmdStopDownload_);
  cmdVerifica_->setFocus();

  ProgressBar1_ = new ProgressBarWidget(client, &ui_, &control_host_);
  PropertyStore stored;
  stored.Write("backcolor", std::int64_t{0x00EEE3E7}, std::monostate{});
  stored.Write("caption", std::string("0 %"), std::monostate{});
  stored.Write("font", std::string("MS Sans Serif,8.25,bold"), std::monostate{});
  ProgressBar1_->bar().ReadProperties(stored);
  ProgressBar1_->SetGeometryTwips(0, 1560, 5550, 240);

  // Two top-level items without sub-items: a click triggers them.
  mnuproxy_ = menuBar()->addAction("Set Proxy / Lan Connection");
  mnuversion_ = menuBar()->addAction("Version");

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
  // No owner: the dialog stands on its own, modal to the whole application.
  frmProxy dialog(form);
  dialog.exec();
}

void frmMain::ProcessEnding() {
  // Nothing of the window is kept or saved: it goes with the process.
}

}  // namespace rariduze
