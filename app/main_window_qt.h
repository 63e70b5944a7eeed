#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

#include "app/update_driver.h"
#include "app/updater_view.h"
#include "platform/control_host.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/ui_services_qt.h"

class QAction;
class QToolButton;

namespace rariduze {

class ProgressBarWidget;

// The updater's window on screen: three picture buttons, a progress bar and a two-item menu.
// What they do is the update driver's; the window shows what the driver tells it and hands it
// every click, the menu and the close box. Every way of closing it ends the program.
class frmMain : public QMainWindow, private UpdaterView {
 public:
  // Boxes shown through ui open over the window (and over the settings dialog while it is up).
  frmMain(QtUiServices& ui, InternetApi& internet, FileSystem& files, SystemServices& system,
          UpdaterSetup setup, QWidget* parent = nullptr);
  ~frmMain() override;

  UpdateDriver& driver() { return *driver_; }

  QToolButton* cmdVerifica() const { return cmdVerifica_; }
  QToolButton* cmdStopDownload() const { return cmdStopDownload_; }
  QToolButton* cmdEsci() const { return cmdEsci_; }
  QAction* mnuproxy() const { return mnuproxy_; }
  QAction* mnuversion() const { return mnuversion_; }
  ProgressBarWidget& ProgressBar1Widget() const { return *ProgressBar1_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();

  void SetCheckCaption(const std::string& caption) override;
  void SetCheckEnabled(bool enabled) override;
  void SetStopEnabled(bool enabled) override;
  TeskShapeProgressBar& ProgressBar1() override;
  void ShowProxyDialog(ProxyForm& form) override;
  void ProcessEnding() override;

  QtUiServices& ui_;
  NullControlHost control_host_;
  QToolButton* cmdVerifica_ = nullptr;
  QToolButton* cmdStopDownload_ = nullptr;
  QToolButton* cmdEsci_ = nullptr;
  ProgressBarWidget* ProgressBar1_ = nullptr;
  QAction* mnuproxy_ = nullptr;
  QAction* mnuversion_ = nullptr;
  // Made once the controls exist, so that it can show its first state on them.
  std::unique_ptr<UpdateDriver> driver_;
};

}  // namespace rariduze
