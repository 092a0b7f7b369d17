// The Windows window's creation style and title-bar table.
#include "app/win32/layout_win.h"

#include <gtest/gtest.h>

namespace vellum::win32 {
namespace {

TEST(Layout, TheCreationStyleIsACaptionlessResizablePopup) {
  const DWORD style = AdjustCreationStyle(kBaseStyle);
  EXPECT_EQ(style & WS_POPUP, static_cast<DWORD>(WS_POPUP));
  EXPECT_EQ(style & WS_DLGFRAME, 0u) << "no caption bar";
  EXPECT_EQ(style & WS_BORDER, static_cast<DWORD>(WS_BORDER));
  for (DWORD kept : {WS_THICKFRAME, WS_SYSMENU, WS_MINIMIZEBOX, WS_MAXIMIZEBOX})
    EXPECT_EQ(style & kept, kept);
  // The bit is toggled, not cleared: a base without it would gain it.
  EXPECT_EQ(AdjustCreationStyle(WS_BORDER) & WS_DLGFRAME, static_cast<DWORD>(WS_DLGFRAME));
}

TEST(Layout, RightAnchoredControlsKeepTheirDesignDistance) {
  // Panel1 is 461 wide at design time: each distance is its design offset.
  for (const ControlPlace& place : kTitleBar) {
    if (place.right != 0) {
      EXPECT_EQ(461 - place.right, place.x) << place.name;
    }
  }
  // Left to right, without overlaps.
  for (std::size_t i = 1; i < kTitleBar.size(); ++i)
    EXPECT_GE(kTitleBar[i].x, kTitleBar[i - 1].x + kTitleBar[i - 1].width) << kTitleBar[i].name;
  EXPECT_STREQ(ControlName(kPanel1), "Panel1");
  EXPECT_STREQ(ControlName(kSBtnINDEX), "SBtnINDEX");
  EXPECT_EQ(ControlName(0), nullptr);
}

}  // namespace
}  // namespace vellum::win32
