// The Qt window's menu under Qt's offscreen platform: the proxy dialog it opens, whose choices
// reach the next check, the boxes over the window or the dialog, and the version box.
#include "tests/app/main_window_qt_fixture.h"

namespace rariduze::testing {
namespace {

using ::testing::IsEmpty;

// --- the menu ------------------------------------------------------------------------------

TEST_F(MainWindowTest, ProxyMenuOpensTheDialogModallyAndItsOkReachesTheDriver) {
  fixture.WriteSettings("10.0.0.1:8080\r\n1\r\n");
  fixture.Serve();
  auto window = MakeWindow();
  window->driver().Form_Load();
  window->show();

  std::string shown_address;
  bool owned = true;
  ModalHandler<frmProxy> user([&](frmProxy& dialog) {
    shown_address = dialog.txtAddress()->text().toStdString();
    owned = dialog.parentWidget() != nullptr;
    dialog.txtAddress()->setText("proxy.test");
    dialog.txtPort()->setText("3128");
    dialog.chkLAN()->setChecked(false);
    dialog.cmdOk()->click();
  });
  window->mnuproxy()->trigger();

  EXPECT_EQ(user.handled, 1);
  EXPECT_EQ(shown_address, "10.0.0.1");
  EXPECT_FALSE(owned) << "the dialog has no owner";
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(ReadFile(fixture.AppDir() + "proxy"), "proxy.test:3128\r\n0\r\n");
  EXPECT_EQ(window->driver().IntF().ProxyServer(), "proxy.test");
  EXPECT_EQ(window->driver().IntF().ProxyPort(), 3128);
  EXPECT_FALSE(window->driver().UsaLan);
  EXPECT_THAT(ui.boxes, IsEmpty());
}

// What the dialog hands over reaches the window and decides the next check: the LAN choice
// decides whether it goes on after asking the server. The proxy typed in the dialog does not
// carry the request: the window's requests follow the desktop's own proxy settings.
TEST_F(MainWindowTest, TheDialogsChoicesReachTheNextCheckWhoseRequestsFollowTheDesktopsProxy) {
  TinyproxyServer desktop_proxy;
  ScopedEnv http_proxy("http_proxy", "http://" + desktop_proxy.Address());
  ScopedEnv no_proxy("no_proxy", std::nullopt);
  ScopedEnv no_proxy_upper("NO_PROXY", std::nullopt);
  fixture.WriteSettings(":\r\n1\r\n");
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  const std::string version_url = fixture.server().Url("/versionZT.dat");
  auto proxy_saw = [&](const std::string& method) {
    return desktop_proxy.Log().find(method + " " + version_url + " HTTP/1.") != std::string::npos;
  };
  auto window = MakeWindow();
  window->driver().Form_Load();
  window->show();
  // A proxy that nothing listens on: a request sent there would never be answered.
  const std::string dead_port = std::to_string(FreeLoopbackPort(32768));
  bool lan = false;
  ModalHandler<frmProxy> user([&](frmProxy& dialog) {
    dialog.txtAddress()->setText("127.0.0.1");
    dialog.txtPort()->setText(QString::fromStdString(dead_port));
    dialog.chkLAN()->setChecked(lan);
    dialog.cmdOk()->click();
  });

  // Without a LAN (and there is no dial-up connection) the check stops after asking.
  window->mnuproxy()->trigger();
  ASSERT_EQ(user.handled, 1);
  EXPECT_EQ(window->driver().IntF().ProxyServer(), "127.0.0.1");
  EXPECT_EQ(window->driver().IntF().ProxyPort(), std::stoi(dead_port));
  window->cmdVerifica()->click();
  EXPECT_TRUE(WaitProcessingEvents([&] { return proxy_saw("HEAD"); })) << desktop_proxy.Log();
  EXPECT_THAT(ui.boxes, IsEmpty());
  EXPECT_TRUE(ShowsIdle(*window));

  // With a LAN the next check downloads the version file, through the desktop's proxy too.
  lan = true;
  window->mnuproxy()->trigger();
  ASSERT_EQ(user.handled, 2);
  window->cmdVerifica()->click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Update available") << ui.boxes[0].text;
  EXPECT_TRUE(WaitProcessingEvents([&] { return proxy_saw("GET"); })) << desktop_proxy.Log();
  EXPECT_TRUE(LogHas("GET /versionZT.dat"));
  EXPECT_EQ(ReadFile(fixture.AppDir() + "proxy"), "127.0.0.1:" + dead_port + "\r\n1\r\n");
}

// Boxes open over the window that asked for them, not in the middle of the screen: the main
// window's over it, the settings dialog's over the dialog.
TEST_F(MainWindowTest, BoxesOpenOverTheWindowOrTheDialogThatAskedForThem) {
  fixture.Serve();
  QtUiServices real_boxes;
  auto window = MakeWindow(real_boxes);
  window->driver().Form_Load();
  window->show();
  std::vector<const QWidget*> box_parents;
  ModalHandler<QMessageBox> boxes([&](QMessageBox& box) {
    box_parents.push_back(box.parentWidget());
    box.button(QMessageBox::Ok)->click();
  });
  const QWidget* dialog_seen = nullptr;
  ModalHandler<frmProxy> user([&](frmProxy& dialog) {
    dialog_seen = &dialog;
    dialog.txtPort()->setText("40000");
    dialog.cmdOk()->click();  // refused, with a box
    dialog.txtPort()->setText("3128");
    dialog.cmdOk()->click();
  });

  window->mnuversion()->trigger();
  window->mnuproxy()->trigger();
  ASSERT_EQ(user.handled, 1);
  ASSERT_EQ(box_parents.size(), 2u);
  EXPECT_EQ(box_parents[0], window.get());
  EXPECT_EQ(box_parents[1], dialog_seen);
}

TEST_F(MainWindowTest, VersionMenuReachesTheDriver) {
  fixture.Serve();
  auto window = MakeWindow();
  window->mnuversion()->trigger();
  // The menu shows the box the driver shows for it, whatever that says.
  window->driver().mnuversion_Click();
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, ui.boxes[1].text);
  EXPECT_EQ(ui.boxes[0].title, ui.boxes[1].title);
  EXPECT_EQ(ui.boxes[0].style, ui.boxes[1].style);
}

}  // namespace
}  // namespace rariduze::testing
