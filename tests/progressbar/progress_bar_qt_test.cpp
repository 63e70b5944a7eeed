#include "progressbar/progress_bar_qt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <cstdlib>
#include <set>
#include <string>

namespace rariduze {
namespace {

// One application for the whole run, always on the offscreen platform.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "progressbar_widget_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  void TearDown() override { delete app_; }

 private:
  QApplication* app_ = nullptr;
};
[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class SilentUi : public UiServices {
 public:
  int boxes = 0;
  void Yield() override {}

 protected:
  int ShowMessageBox(const std::string&, int, const std::string&) override { return ++boxes; }
};

class ProgressBarWidgetTest : public ::testing::Test {
 protected:
  ProgressBarWidgetTest() : widget(nullptr, &ui) {
    // The main window's instance: its stored settings and its place, 5550 x 240 twips at 96
    // dots per inch.
    PropertyStore stored;
    stored.Write("backcolor", std::int64_t{0x00EEE3E7}, std::monostate{});
    stored.Write("caption", std::string("0 %"), std::monostate{});
    stored.Write("font", std::string("MS Sans Serif,8.25,bold"), std::monostate{});
    widget.bar().ReadProperties(stored);
    widget.Place({0, 0, 370, 16});
  }

  QImage Grab(const std::string& artifact = {}) {
    QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (!artifact.empty()) {
      QDir().mkpath(RARIDUZE_ARTIFACT_DIR);
      image.save(QString::fromStdString(std::string(RARIDUZE_ARTIFACT_DIR) + "/" + artifact));
    }
    return image;
  }

  QRgb Colour(ColourCode code) const { return ResolveColour(code, widget.palette()).rgb(); }

  // Columns in which some pixel inside the border rows has the bar's fill colour.
  int FilledColumns(const QImage& image) const {
    int columns = 0;
    for (int x = 0; x < image.width(); ++x) {
      for (int y = 1; y < image.height() - 1; ++y) {
        if (image.pixel(x, y) == Colour(widget.bar().ForeColor())) {
          ++columns;
          break;
        }
      }
    }
    return columns;
  }

  // Pixels of the caption: neither fill nor border.
  std::vector<QPoint> CaptionPixels(const QImage& image) const {
    const std::set<QRgb> plain = {Colour(widget.bar().BackColor()),
                                  Colour(widget.bar().ForeColor()),
                                  Colour(widget.bar().BorderColor())};
    std::vector<QPoint> pixels;
    for (int y = 1; y < image.height() - 1; ++y) {
      for (int x = 1; x < image.width() - 1; ++x) {
        if (plain.count(image.pixel(x, y)) == 0) pixels.emplace_back(x, y);
      }
    }
    return pixels;
  }

  SilentUi ui;
  ProgressBarWidget widget;
};

TEST_F(ProgressBarWidgetTest, DrawsTheMainWindowBarAtZeroAThirdAndFull) {
  ASSERT_EQ(widget.logicalDpiX(), 96);
  ASSERT_EQ(widget.size(), QSize(370, 16));
  widget.bar().SetMax(300);

  struct Step {
    double value;
    const char* caption;
    int bar_pixels;  // 5549 twips of background at 15 per pixel: 370
    const char* artifact;
  };
  const Step steps[] = {{0, "0 %", 0, "progressbar-0.png"},
                        {99, "33 %", 122, "progressbar-33.png"},
                        {300, "100 %", 370, "progressbar-100.png"}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.caption);
    widget.bar().SetValue(step.value);
    EXPECT_EQ(widget.bar().Caption(), step.caption);
    const QImage image = Grab(step.artifact);
    // The bar's own border takes its first and last column.
    EXPECT_EQ(FilledColumns(image), step.bar_pixels > 0 ? step.bar_pixels - 2 : 0);
    if (step.bar_pixels > 0) {
      EXPECT_EQ(image.pixel(step.bar_pixels - 1, 1), Colour(widget.bar().BorderColor()));
    }
    // The caption is drawn, centred on the caption box (5520 twips, centre at pixel 184).
    const std::vector<QPoint> caption = CaptionPixels(image);
    ASSERT_GT(caption.size(), 10u);
    int left = image.width(), right = 0;
    for (const QPoint& p : caption) {
      left = std::min(left, p.x());
      right = std::max(right, p.x());
    }
    EXPECT_NEAR((left + right) / 2.0, 184, 3);
  }
}

TEST_F(ProgressBarWidgetTest, AlignmentAndBorderStylesShowInTheImage) {
  widget.bar().SetAlignment(kAlignLeft);
  std::vector<QPoint> caption = CaptionPixels(Grab());
  ASSERT_FALSE(caption.empty());
  int left = widget.width();
  for (const QPoint& p : caption) left = std::min(left, p.x());
  EXPECT_LT(left, 5);

  auto top_row_borders = [&] {
    const QImage image = Grab();
    int count = 0;
    for (int x = 0; x < image.width(); ++x) {
      count += image.pixel(x, 0) == Colour(widget.bar().BorderColor()) ? 1 : 0;
    }
    return count;
  };
  EXPECT_EQ(top_row_borders(), 370);
  widget.bar().SetBorderStyle(kBorderDash);
  const int dashed = top_row_borders();
  EXPECT_GT(dashed, 100);
  EXPECT_LT(dashed, 370);
  widget.bar().SetBorderStyle(kBorderNone);
  EXPECT_EQ(top_row_borders(), 0);
}

TEST_F(ProgressBarWidgetTest, SystemColoursFollowThePaletteAndPlainOnesStay) {
  widget.bar().SetMax(300);
  widget.bar().SetValue(150);
  // Left of the caption: the filled bar; right of it: the background, the main window's plain
  // colour 0x00EEE3E7 (red in the low byte).
  auto bar_and_background = [&] {
    const QImage image = Grab();
    return std::pair{image.pixel(20, 8), image.pixel(350, 8)};
  };
  for (int shift : {0, 90}) {
    // Every role of the palette gets a colour of its own, other than those of the pass before.
    QPalette palette = widget.palette();
    std::set<QRgb> roles;
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
      const QColor colour(10 + shift, 3 * role, 250 - 3 * role);
      palette.setColor(static_cast<QPalette::ColorRole>(role), colour);
      roles.insert(colour.rgb());
    }
    widget.setPalette(palette);
    const auto [bar, background] = bar_and_background();
    EXPECT_EQ(roles.count(bar), 1u) << std::hex << bar;
    EXPECT_EQ(background, QColor(231, 227, 238).rgb());
  }
  // A system colour the platform has no entry for is drawn black.
  EXPECT_EQ(ResolveColour(0x800000FF, widget.palette()), QColor(Qt::black));
}

TEST_F(ProgressBarWidgetTest, PointersShowTheirPictureOnlyWhenTheyHaveOne) {
  widget.bar().SetMousePointer(11);
  EXPECT_NE(widget.cursor().shape(), Qt::ArrowCursor);
  widget.bar().SetMousePointer(kPointerCustom);
  EXPECT_EQ(widget.cursor().shape(), Qt::ArrowCursor);  // no picture yet
  QImage icon(16, 16, QImage::Format_ARGB32);
  icon.fill(Qt::red);
  QBuffer png;
  png.open(QIODevice::WriteOnly);
  icon.save(&png, "PNG");
  widget.bar().SetMouseIcon(png.data().toStdString());
  EXPECT_EQ(widget.cursor().shape(), Qt::BitmapCursor);
  widget.bar().SetMousePointer(kPointerDefault);
  EXPECT_EQ(widget.cursor().shape(), Qt::ArrowCursor);
}

}  // namespace
}  // namespace rariduze
