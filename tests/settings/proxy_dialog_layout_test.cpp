// frmProxy's places in pixels for a screen resolution.
#include "settings/proxy_dialog_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace rariduze {
namespace {

TEST(ProxyDialogLayout, AtNinetySixDotsPerInch) {
  const ProxyDialogLayout layout = LayOutProxyDialog(96);
  EXPECT_EQ(layout.client_width, 296);
  EXPECT_EQ(layout.client_height, 113);
  EXPECT_EQ(layout.cmdOk, (PixelRect{114, 80, 82, 31}));
  EXPECT_EQ(layout.txtAddress, (PixelRect{66, 17, 130, 22}));
  EXPECT_EQ(layout.txtPort, (PixelRect{237, 17, 52, 22}));
  EXPECT_EQ(layout.chkLAN, (PixelRect{10, 50, 13, 13}));
  EXPECT_EQ(layout.labels[2].place, (PixelRect{3, 0, 289, 16}));
  EXPECT_TRUE(layout.labels[2].centred);
}

TEST(ProxyDialogLayout, EveryControlStaysInsideTheClientAreaAtAnyResolution) {
  for (int dpi : {96, 120, 144, 168, 192, 288}) {
    const ProxyDialogLayout layout = LayOutProxyDialog(dpi);
    std::vector<PixelRect> places = {layout.cmdOk, layout.txtAddress, layout.txtPort,
                                     layout.chkLAN};
    for (const ProxyDialogLabel& label : layout.labels) places.push_back(label.place);
    for (const PixelRect& r : places) {
      EXPECT_GE(r.left, 0) << dpi;
      EXPECT_GE(r.top, 0) << dpi;
      EXPECT_LE(r.right(), layout.client_width) << dpi;
      EXPECT_LE(r.bottom(), layout.client_height) << dpi;
    }
    // The address box ends before the port label begins, at every size.
    EXPECT_LE(layout.txtAddress.right(), layout.labels[1].place.left) << dpi;
  }
}

}  // namespace
}  // namespace rariduze
