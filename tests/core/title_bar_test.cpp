// The title bar's left-hand parts at every width: the design where it fits,
// then closing up and giving way in order, never overlapping Back.
#include <gtest/gtest.h>

#include "core/title_bar.h"

namespace vellum {
namespace {

TEST(TitleBar, ThePartsShareTheWidthAndNeverReachBack) {
  const struct {
    const char* what;
    int panel;
    int index_wanted;
    bool pending;
    TitleSlot location, pending_slot, index;
    bool cut;
  } cases[] = {
      {"wide: the design, Index as its caption",
       600,
       110,
       true,
       {28, 77, true},
       {108, 77, true},
       {198, 110, true},
       false},
      {"the design, Index cut at Back",
       400,
       110,
       true,
       {28, 77, true},
       {108, 77, true},
       {198, 72, true},
       true},
      {"a short caption keeps Index's least width",
       600,
       30,
       false,
       {28, 77, true},
       {108, 77, false},
       {198, 40, true},
       false},
      {"narrow, nothing offered: Index closes up",
       300,
       110,
       false,
       {28, 77, true},
       {108, 77, false},
       {108, 62, true},
       true},
      {"narrow with an offer: Index, the offer and the location give way",
       300,
       110,
       true,
       {28, 56, true},
       {87, 40, true},
       {130, 40, true},
       true},
      {"narrower: Index goes, the location takes its room back",
       260,
       110,
       true,
       {28, 59, true},
       {90, 40, true},
       {0, 0, false},
       true},
      {"narrower still: the offer goes",
       230,
       110,
       true,
       {28, 72, true},
       {0, 0, false},
       {0, 0, false},
       true},
      {"the narrowest: the location alone",
       kNarrowestPanel,
       110,
       true,
       {28, 40, true},
       {0, 0, false},
       {0, 0, false},
       true},
  };
  for (const auto& c : cases) {
    const TitleBarParts parts = LayOutTitleBar(c.panel, c.index_wanted, c.pending, 96);
    EXPECT_EQ(parts.location, c.location) << c.what;
    EXPECT_EQ(parts.pending.shown, c.pending_slot.shown) << c.what;
    if (c.pending_slot.shown) {
      EXPECT_EQ(parts.pending, c.pending_slot) << c.what;
    }
    EXPECT_EQ(parts.index.shown, c.index.shown) << c.what;
    if (c.index.shown) {
      EXPECT_EQ(parts.index, c.index) << c.what;
    }
    EXPECT_EQ(parts.index_cut, c.cut) << c.what;
    // Whatever is shown ends before Back, and each part after the one before.
    int right = 0;
    for (const TitleSlot& slot : {parts.location, parts.pending, parts.index}) {
      if (!slot.shown) continue;
      EXPECT_GE(slot.x, right) << c.what;
      right = slot.x + slot.width;
    }
    EXPECT_LE(right, c.panel - kBackFromRight - kIndexGapToBack) << c.what;
  }
}

TEST(TitleBar, EveryWidthFromTheNarrowestUpLaysOutWithoutOverlapAtAnyScale) {
  for (const int dpi : {96, 120, 144, 192}) {
    for (int panel = ScaledToDpi(kNarrowestPanel, dpi); panel < 900; ++panel) {
      for (const bool pending : {false, true}) {
        const TitleBarParts parts = LayOutTitleBar(panel, ScaledToDpi(150, dpi), pending, dpi);
        int right = 0;
        for (const TitleSlot& slot : {parts.location, parts.pending, parts.index}) {
          if (!slot.shown) continue;
          ASSERT_GE(slot.x, right) << panel << " at " << dpi;
          ASSERT_GT(slot.width, 0) << panel << " at " << dpi;
          right = slot.x + slot.width;
        }
        ASSERT_LE(right, panel - ScaledToDpi(kBackFromRight + kIndexGapToBack, dpi))
            << panel << " at " << dpi;
        ASSERT_TRUE(parts.location.shown);
      }
    }
  }
}

}  // namespace
}  // namespace vellum
