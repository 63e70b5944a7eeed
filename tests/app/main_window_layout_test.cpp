// frmMain's places in pixels for a screen resolution, as the Win32 window lays them out.
#include "app/main_window_layout.h"

#include <gtest/gtest.h>

namespace rariduze {
namespace {

TEST(MainWindowLayout, AtNinetySixDotsPerInchFifteenTwipsMakeOnePixel) {
  const MainWindowLayout layout = LayOutMainWindow(96);
  EXPECT_EQ(layout.client_width, 370);
  EXPECT_EQ(layout.client_height, 120);
  EXPECT_EQ(layout.cmdVerifica, (PixelRect{9, 3, 121, 100}));
  EXPECT_EQ(layout.cmdStopDownload, (PixelRect{129, 3, 121, 100}));
  EXPECT_EQ(layout.cmdEsci, (PixelRect{249, 3, 115, 100}));
  // The bar spans the whole client width below the buttons, down to the bottom edge.
  EXPECT_EQ(layout.ProgressBar1, (PixelRect{0, 104, 370, 16}));
  EXPECT_EQ(layout.picture_side, 48);
}

TEST(MainWindowLayout, ScalesWithTheScreensResolutionEdgeByEdge) {
  const MainWindowLayout layout = LayOutMainWindow(144);
  EXPECT_EQ(layout.client_width, 555);
  EXPECT_EQ(layout.client_height, 180);
  // 1935 twips at 144 dpi is 193.5 pixels, which rounds up; the designer's buttons overlap by
  // 15 twips, which stays one pixel.
  EXPECT_EQ(layout.cmdVerifica.right(), 195);
  EXPECT_EQ(layout.cmdStopDownload.left, 194);
  EXPECT_EQ(layout.cmdStopDownload.right(), 375);
  EXPECT_EQ(layout.ProgressBar1.bottom(), layout.client_height);
  EXPECT_EQ(layout.ProgressBar1.width, layout.client_width);

  const MainWindowLayout large = LayOutMainWindow(192);
  EXPECT_EQ(large.client_width, 740);
  EXPECT_EQ(large.cmdEsci, (PixelRect{498, 6, 230, 200}));
  EXPECT_EQ(large.picture_side, 96);
}

TEST(MainWindowLayout, AnUnknownResolutionCountsAsNinetySix) {
  EXPECT_EQ(LayOutMainWindow(0).client_width, 370);
}

TEST(ButtonFaceLayout, PictureAboveTwoCaptionLinesInsideTheFrame) {
  // "Check for New version" at 96 dpi: 121 x 100 pixels, a 13-pixel line, a 48-pixel picture.
  const ButtonFaceLayout face = LayOutButtonFace(121, 100, 13, 48, 96);
  EXPECT_EQ(face.caption, (PixelRect{3, 71, 115, 26}));
  EXPECT_EQ(face.picture.width, 48);
  EXPECT_EQ(face.picture.height, 48);
  EXPECT_EQ(face.picture.left, (121 - 48) / 2);
  EXPECT_LE(face.picture.bottom(), face.caption.top);
  EXPECT_GE(face.picture.top, 3);
}

TEST(ButtonFaceLayout, ASmallButtonShrinksThePictureRatherThanOverlapTheCaption) {
  const ButtonFaceLayout face = LayOutButtonFace(60, 50, 13, 48, 96);
  EXPECT_LE(face.picture.bottom(), face.caption.top);
  EXPECT_EQ(face.picture.width, face.picture.height);
  EXPECT_LT(face.picture.width, 48);

  const ButtonFaceLayout tiny = LayOutButtonFace(4, 4, 13, 48, 96);
  EXPECT_EQ(tiny.picture.width, 0);
  EXPECT_GE(tiny.caption.height, 0);
}

}  // namespace
}  // namespace rariduze
