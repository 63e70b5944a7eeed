// The proxy dialog on screen, under Qt's offscreen platform, with a real settings file: the
// fields it shows, the keys its port box takes, and its OK, close box and Escape. What it does
// with the settings is tested on ProxyForm (proxy_form_test.cpp).
#include "settings/proxy_dialog_qt.h"

#include <optional>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "tests/settings/recording_settings_doubles.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

using testing::RecordingTarget;
using testing::RecordingUi;

class ProxyDialogTest : public ::testing::Test {
 protected:
  testing::TestDir app{"proxy-dialog"};
  RecordingUi ui;
  RecordingTarget target;
  std::optional<ProxyForm> form;

  std::string SettingsPath() const { return app.File("proxy"); }
  std::unique_ptr<frmProxy> Open() {
    form.emplace(app.path() + "/", FileSystem::Default(), ui, target);
    auto dialog = std::make_unique<frmProxy>(*form);
    dialog->show();
    return dialog;
  }
};

TEST_F(ProxyDialogTest, ShowsTheStoredSettingsAndOkWritesThemBackUnchanged) {
  testing::WriteFile(SettingsPath(), "10.0.0.1:8080\r\n1\r\n");
  auto dialog = Open();
  EXPECT_EQ(dialog->windowTitle().toStdString(), "Set proxy options");
  EXPECT_EQ(dialog->txtAddress()->text().toStdString(), "10.0.0.1");
  EXPECT_EQ(dialog->txtPort()->text().toStdString(), "8080");
  EXPECT_TRUE(dialog->chkLAN()->isChecked());
  // A picture for a person to look at, not a check.
  QDir().mkpath(RARIDUZE_TEST_ARTIFACTS_DIR "/main-window");
  dialog->grab().save(RARIDUZE_TEST_ARTIFACTS_DIR "/main-window/proxy-dialog.png");
  dialog->cmdOk()->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(testing::ReadFile(SettingsPath()), "10.0.0.1:8080\r\n1\r\n");
  EXPECT_EQ(target.applied, 1);
  EXPECT_EQ(target.server, "10.0.0.1");
  EXPECT_EQ(target.port, 8080);
  EXPECT_EQ(target.usa_lan, true);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ProxyDialogTest, PortBoxTakesDigitsOnlyTypedOrPasted) {
  testing::WriteFile(SettingsPath(), "");
  auto dialog = Open();
  QLineEdit* port = dialog->txtPort();
  port->setFocus();
  QTest::keyClicks(port, "8a0-8 0");
  EXPECT_EQ(port->text().toStdString(), "8080");
  QTest::keyClick(port, Qt::Key_Backspace);
  EXPECT_EQ(port->text().toStdString(), "808");
  QApplication::clipboard()->setText("12x");
  port->paste();
  EXPECT_EQ(port->text().toStdString(), "808");
  QApplication::clipboard()->setText("1");
  port->paste();
  EXPECT_EQ(port->text().toStdString(), "8081");
}

TEST_F(ProxyDialogTest, CloseBoxSavesAndAppliesLikeOk) {
  testing::WriteFile(SettingsPath(), "");
  auto dialog = Open();
  dialog->txtAddress()->setText("proxy.test");
  dialog->txtPort()->setText("3128");
  dialog->chkLAN()->setChecked(true);
  dialog->close();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(testing::ReadFile(SettingsPath()), "proxy.test:3128\r\n1\r\n");
  EXPECT_EQ(target.applied, 1);
  EXPECT_EQ(target.port, 3128);
}

TEST_F(ProxyDialogTest, EscapeDoesNotCloseTheDialog) {
  testing::WriteFile(SettingsPath(), "");
  auto dialog = Open();
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(target.applied, 0);
}

TEST_F(ProxyDialogTest, PortAboveTheRangeIsRefusedAndNothingIsSaved) {
  testing::WriteFile(SettingsPath(), "h:1\r\n1\r\n");
  auto dialog = Open();
  dialog->txtPort()->setText("40000");
  dialog->cmdOk()->click();
  EXPECT_TRUE(dialog->isVisible());
  // The refused port is selected, ready to be typed over.
  EXPECT_EQ(dialog->focusWidget(), dialog->txtPort());
  EXPECT_EQ(dialog->txtPort()->selectedText().toStdString(), "40000");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].find("32767"), std::string::npos);
  EXPECT_EQ(testing::ReadFile(SettingsPath()), "h:1\r\n1\r\n");
  EXPECT_EQ(target.applied, 0);
  // So does the close box.
  dialog->close();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(target.applied, 0);
  dialog->txtPort()->setText("32767");
  dialog->cmdOk()->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(target.port, 32767);
}

}  // namespace
}  // namespace rariduze

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
