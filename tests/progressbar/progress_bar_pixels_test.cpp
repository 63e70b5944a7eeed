// The progress bar's three parts in pixels, as a drawing layer gets them.
#include "progressbar/progress_bar_pixels.h"

#include <gtest/gtest.h>

#include "platform/property_store.h"

namespace rariduze {
namespace {

class Surface : public ProgressBarView {
 public:
  float text_height = 195;  // twips: 13 pixels at 96 dpi
  void Redraw() override {}
  void PartChanged() override {}
  float SurfaceTextHeight(const std::string&) override { return text_height; }
};

class ProgressBarPixelsTest : public ::testing::Test {
 protected:
  ProgressBarPixelsTest() {
    bar.SetView(&surface);
    bar.InitProperties();
    // The main window's instance: the whole client width, 240 twips high.
    bar.Resize(5550, 240);
  }
  HeadlessUiServices ui;
  NullControlHost host;
  Surface surface;
  TeskShapeProgressBar bar{ui, host};
};

TEST_F(ProgressBarPixelsTest, TheMainWindowsBarAtNinetySixDotsPerInch) {
  const ProgressBarPixels empty = ProgressBarToPixels(bar, 96);
  // 5549 twips is 369.93 pixels: the background ends one twip short of the edge, which rounds
  // to the edge itself.
  EXPECT_EQ(empty.background, (PixelRect{0, 0, 370, 16}));
  EXPECT_EQ(empty.bar.width, 0);
  // The caption box is centred on the line height and 30 twips short of the right edge.
  EXPECT_EQ(empty.caption, (PixelRect{0, 2, 368, 16}));

  bar.SetValue(100);
  const ProgressBarPixels full = ProgressBarToPixels(bar, 96);
  EXPECT_EQ(full.bar, full.background);
}

TEST_F(ProgressBarPixelsTest, TheBarAdvancesInWholePercentSteps) {
  bar.SetMax(1000);
  bar.SetValue(999);
  EXPECT_EQ(bar.Caption(), "99 %");
  // 99 % of 5549 twips is 5493.51 twips, 366.23 pixels.
  EXPECT_EQ(ProgressBarToPixels(bar, 96).bar.width, 366);
  bar.SetValue(500);
  EXPECT_EQ(ProgressBarToPixels(bar, 96).bar.width, 185);
  // Twice the resolution, twice the pixels.
  EXPECT_EQ(ProgressBarToPixels(bar, 192).bar.width, 370);
}

TEST_F(ProgressBarPixelsTest, StoredValuesOutsideTheRangeKeepTheBarWithinTheBackground) {
  PropertyStore store;
  store.Write("Max", 10.0, 100.0);
  store.Write("Value", 25.0, 0.0);
  bar.ReadProperties(store);
  bar.Resize(5550, 240);
  ASSERT_EQ(bar.Caption(), "250 %");
  ProgressBarPixels pixels = ProgressBarToPixels(bar, 96);
  EXPECT_EQ(pixels.bar.width, pixels.background.width);

  store.Write("Value", -5.0, 0.0);
  bar.ReadProperties(store);
  bar.Resize(5550, 240);
  pixels = ProgressBarToPixels(bar, 96);
  EXPECT_EQ(pixels.bar.width, 0);
}

TEST_F(ProgressBarPixelsTest, AControlNarrowerThanThirtyTwipsGetsAnEmptyCaptionBox) {
  bar.Resize(20, 240);
  const ProgressBarPixels pixels = ProgressBarToPixels(bar, 96);
  EXPECT_EQ(pixels.caption.width, 0);
  EXPECT_GE(pixels.background.width, 0);
}

}  // namespace
}  // namespace rariduze
