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

TEST(Layout, EveryButtonIsATargetOf24PixelsAndNoneOverlaps) {
  // The narrowest panel where the design fits as it stands; narrower ones
  // move the left-hand parts (LayOutTitleBar's own tests).
  const int width = kIndexLeft + kIndexMinWidth + kIndexGapToBack + kBackFromRight;
  int right = 0;
  for (const ControlPlace& place : kTitleBar) {
    const RECT rect = PlaceInPanel(place, width, 96);
    EXPECT_GE(rect.left, right) << place.name << ": left to right, without overlaps";
    EXPECT_GE(rect.bottom - rect.top, 24) << place.name;
    EXPECT_GE(rect.right - rect.left, 24) << place.name;
    EXPECT_LE(rect.bottom, 26) << place.name << ": inside Panel1";
    right = rect.right;
  }
  EXPECT_LE(right, width);
  // A button that shows a sign is named in words.
  EXPECT_STREQ(SpokenName(kSBtnBACK), L"Back");
  EXPECT_STREQ(SpokenName(kSpeedButton3), L"Close");
  EXPECT_EQ(SpokenName(kSBtnINDEX), nullptr);
  EXPECT_STREQ(ControlName(kPanel1), "Panel1");
  EXPECT_STREQ(ControlName(kSBtnINDEX), "SBtnINDEX");
  EXPECT_EQ(ControlName(0), nullptr);
}

}  // namespace
}  // namespace vellum::win32
