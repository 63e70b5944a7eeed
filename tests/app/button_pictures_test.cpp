// The buttons' pictures as this build's front end draws them (QPainter on Linux, GDI on
// Windows): the same shapes in the same colours at every size, and light greys when the button
// is disabled.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/app/button_picture_canvas.h"

namespace rariduze::testing {
namespace {

struct Sample {
  ButtonPicture picture;
  double x, y;  // in the 100 x 100 design square
  PictureColour colour;
  const char* what;
};

constexpr PictureColour kWhite{255, 255, 255};

const Sample kSamples[] = {
    {ButtonPicture::kCheck, 50, 9, {32, 112, 200}, "check: the blue disc"},
    {ButtonPicture::kCheck, 23, 50, kWhite, "check: the circling arrow"},
    {ButtonPicture::kCheck, 50, 43, {255, 214, 64}, "check: the arrow coming down"},
    {ButtonPicture::kStop, 20, 50, {204, 36, 36}, "stop: the red octagon"},
    {ButtonPicture::kStop, 50, 50, kWhite, "stop: the white square"},
    {ButtonPicture::kExit, 60, 54, {40, 168, 72}, "exit: the green arrow"},
    {ButtonPicture::kExit, 26, 40, {176, 112, 56}, "exit: the open door"},
    {ButtonPicture::kExit, 50, 30, {40, 40, 40}, "exit: the dark doorway"},
};

bool Near(PictureColour a, PictureColour b) {
  return std::abs(a.red - b.red) <= 12 && std::abs(a.green - b.green) <= 12 &&
         std::abs(a.blue - b.blue) <= 12;
}

std::string Text(PictureColour c) {
  return std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue);
}

PictureColour SampleOf(const DrawnPicture& drawn, const Sample& sample) {
  return drawn.At(static_cast<int>(sample.x * drawn.side / 100),
                  static_cast<int>(sample.y * drawn.side / 100));
}

TEST(ButtonPictures, EachShowsItsShapesInItsColoursAtEverySize) {
  // The sides of the pictures at 72, 96 and 192 dots per inch.
  for (int side : {36, 48, 96}) {
    for (const Sample& sample : kSamples) {
      const PictureColour seen = SampleOf(DrawWithFrontEnd(sample.picture, side, true), sample);
      EXPECT_TRUE(Near(seen, sample.colour)) << sample.what << " at side " << side << ": "
                                             << Text(seen) << ", wanted " << Text(sample.colour);
    }
  }
}

TEST(ButtonPictures, ADisabledPictureKeepsItsShapesInGreys) {
  for (ButtonPicture picture :
       {ButtonPicture::kCheck, ButtonPicture::kStop, ButtonPicture::kExit}) {
    const DrawnPicture drawn = DrawWithFrontEnd(picture, 48, false);
    for (const PictureColour& pixel : drawn.pixels) {
      ASSERT_LE(std::abs(pixel.red - pixel.green) + std::abs(pixel.green - pixel.blue), 4)
          << Text(pixel);
    }
  }
  // The stop's square still stands out from its octagon.
  const DrawnPicture stop = DrawWithFrontEnd(ButtonPicture::kStop, 48, false);
  EXPECT_GT(SampleOf(stop, kSamples[4]).red - SampleOf(stop, kSamples[3]).red, 30);
}

}  // namespace
}  // namespace rariduze::testing
