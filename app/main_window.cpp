// The window itself: its controls, their places and pictures, and the menu.
#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QMenuBar>
#include <QStyle>
#include <QToolButton>

#include "app/paths.h"
#include "app/picture_button.h"
#include "platform/program_version.h"
#include "platform/twips_qt.h"
#include "progressbar/progress_bar_widget.h"
#include "settings/dialup.h"

namespace rariduze {
namespace {

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback, const QStyle& style) {
  return QIcon::fromTheme(name, style.standardIcon(fallback));
}

}  // namespace

UpdaterSetup UpdaterSetup::Default() {
  UpdaterSetup setup;
  setup.version_url = std::string(kUpdateDirectoryUrl) + "versionZT.dat";
  setup.setup_url = std::string(kUpdateDirectoryUrl) + "setupZT.zip";
  setup.app_dir = ModuloUp::AppDir();
  return setup;
}

frmMain::frmMain(UiServices& ui, InternetApi& internet, FileSystem& files, UpdaterSetup setup,
                 QWidget* parent)
    : QMainWindow(parent),
      ui_(ui),
      files_(files),
      setup_(std::move(setup)),
      IntF_(internet, ui, files, control_host_) {
  // The window saves nothing for its transfer control: every property takes its default.
  IntF_.ReadProperties(PropertyStore());
  IntF_.SetEvents(this);
  BuildWindow();
}

frmMain::~frmMain() { IntF_.SetEvents(nullptr); }

bool frmMain::RegAttiva() const {
  return setup_.links_dir.empty() ? rariduze::RegAttiva() : rariduze::RegAttiva(setup_.links_dir);
}

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
  cmdStopDownload_->setEnabled(false);
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

  connect(cmdVerifica_, &QToolButton::clicked, this, [this] { cmdVerifica_Click(); });
  connect(cmdStopDownload_, &QToolButton::clicked, this, [this] { cmdStopDownload_Click(); });
  connect(cmdEsci_, &QToolButton::clicked, this, [this] { Form_Unload(); });
  connect(mnuproxy_, &QAction::triggered, this, [this] { mnuproxy_Click(); });
  connect(mnuversion_, &QAction::triggered, this, [this] { mnuversion_Click(); });
  // However the session ends, the unload steps still run.
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { Form_Unload(); });

  adjustSize();
  setFixedSize(sizeHint());
}

void frmMain::closeEvent(QCloseEvent* event) {
  event->accept();
  Form_Unload();
}

void frmMain::mnuproxy_Click() {
  // A fresh dialog each time, without an owner, released when it closes.
  ProxySettingsTarget& target = *this;
  ProxyForm form(setup_.app_dir, files_, ui_, target);
  frmProxy dialog(form);
  dialog.exec();
}

void frmMain::mnuversion_Click() {
  ui_.MessageBox(std::to_string(ProgramVersion::kMajor) + "." +
                     std::to_string(ProgramVersion::kMinor) + "." +
                     std::to_string(ProgramVersion::kRevision),
                 kStyleOk);
}

void frmMain::ApplyProxy(const std::string& server, std::int16_t port) {
  IntF_.SetProxyPort(port);
  IntF_.SetProxyServer(server);
}

}  // namespace rariduze
