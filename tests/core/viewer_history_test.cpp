// Scenarios of the history: dwelling, the cursor, Back and Forward, holding
// a button down, and the Index and About entries.
#include <gtest/gtest.h>

#include "tests/core/viewer_harness.h"

namespace vellum::testing {
namespace {

using Texts = std::vector<std::string>;

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override { h.Start(); }
  void BackForwardEnabled(bool back, bool forward) {
    EXPECT_EQ(h.controls.Enabled(Button::kBack), back);
    EXPECT_EQ(h.controls.Enabled(Button::kForward), forward);
  }
  std::string Shown() { return LocationCaption(h.viewer.ShownLocation()); }

  Harness h;
};

TEST_F(HistoryTest, ButtonsStayDisabledWithFewerThanTwoEntries) {
  BackForwardEnabled(false, false);
  h.Dwell(Loc("ALP", 1, 1));
  EXPECT_EQ(h.HistoryTexts(), (Texts{"Alpha 1:1"}));
  EXPECT_EQ(h.viewer.HistoryList().Cursor(), 0);
  BackForwardEnabled(false, false);
}

TEST_F(HistoryTest, BackAndForwardWalkTheDweltLocations) {
  h.Dwell(Loc("ALP", 1, 1));
  h.Dwell(Loc("BET", 1, 2));
  h.Dwell(Loc("GAM", 2, 3));
  EXPECT_EQ(h.HistoryTexts(), (Texts{"Gamma 2:3", "Beta 1:2", "Alpha 1:1"}));
  BackForwardEnabled(true, false);
  h.viewer.OnBackClicked();
  EXPECT_EQ(Shown(), "Beta 1:2");
  BackForwardEnabled(true, true);
  h.viewer.OnBackClicked();
  EXPECT_EQ(Shown(), "Alpha 1:1");
  BackForwardEnabled(false, true);
  h.viewer.OnBackClicked();  // disabled: nothing
  EXPECT_EQ(Shown(), "Alpha 1:1");
  h.viewer.OnForwardClicked();
  EXPECT_EQ(Shown(), "Beta 1:2");
  h.Advance(3000);  // steps do not feed the dwell timer
  EXPECT_EQ(h.viewer.HistoryList().Count(), 3);

  // A new location goes on top, not next to the cursor, and the cursor jumps to it.
  h.Dwell(Loc("ALP", 3, 3));
  EXPECT_EQ(h.HistoryTexts(), (Texts{"Alpha 3:3", "Gamma 2:3", "Beta 1:2", "Alpha 1:1"}));
  EXPECT_EQ(h.viewer.HistoryList().Cursor(), 0);
  h.viewer.OnBackClicked();
  EXPECT_EQ(Shown(), "Gamma 2:3");
}

TEST_F(HistoryTest, ADoubleClickDuringAStepsLoadNeverLeavesTheList) {
  h.Dwell(Loc("ALP", 1, 1));
  h.Dwell(Loc("BET", 1, 2));
  // One Back is possible; the second click of a double click lands while the
  // first step still loads its page, before the buttons are refreshed.
  h.browser.pages[h.Path("alpha.htm")].load_pumps = 20;
  h.AtPump(2, [&] { h.viewer.OnBackClicked(); });
  h.viewer.OnBackClicked();
  EXPECT_EQ(Shown(), "Alpha 1:1");
  EXPECT_EQ(h.viewer.HistoryList().Cursor(), 1) << "the cursor stays on the list";
  BackForwardEnabled(false, true);
  h.viewer.OnForwardClicked();
  EXPECT_EQ(Shown(), "Beta 1:2") << "the next Forward is not lost";
  BackForwardEnabled(true, false);
}

TEST_F(HistoryTest, OnlyALocationThatStaysASecondIsAdded) {
  h.ShowNow(Loc("ALP", 1, 1));
  h.Advance(700);  // Beta is shown 950 ms after Alpha
  h.ShowNow(Loc("BET", 1, 1));
  h.Advance(700);
  EXPECT_EQ(h.viewer.HistoryList().Count(), 0);
  h.Advance(300);
  EXPECT_EQ(h.HistoryTexts(), (Texts{"Beta 1:1"}));
}

TEST_F(HistoryTest, TheNewestLocationIsNotAddedTwice) {
  h.Dwell(Loc("ALP", 1, 1));
  h.Dwell(Loc("BET", 1, 1));
  h.viewer.OnBackClicked();
  h.Dwell(Loc("BET", 1, 1, "Other"));  // same code, chapter and verse as the newest
  EXPECT_EQ(h.HistoryTexts(), (Texts{"Beta 1:1", "Alpha 1:1"}));
  EXPECT_EQ(h.viewer.HistoryList().Cursor(), 1) << "the cursor stays where it is";
  h.Dwell(Loc("ALP", 1, 1));  // equal to an older entry: added again
  EXPECT_EQ(h.HistoryTexts(), (Texts{"Alpha 1:1", "Beta 1:1", "Alpha 1:1"}));
}

TEST_F(HistoryTest, IndexButtonAddsOneIndexEntryAtOnce) {
  h.Dwell(Loc("ALP", 1, 1));
  h.viewer.OnIndexClicked();
  EXPECT_EQ(h.HistoryTexts(), (Texts{"Index", "Alpha 1:1"}));
  h.viewer.OnIndexClicked();
  EXPECT_EQ(h.HistoryTexts(), (Texts{"Index", "Alpha 1:1"}));
  EXPECT_EQ(h.browser.navigations.back(), h.Path("index.htm") + "#TOC");
}

TEST_F(HistoryTest, StepsToIndexAndAboutEntriesShowThosePages) {
  h.viewer.OnIndexClicked();
  h.viewer.OnLocationClicked();  // on the Index page: the About page and an About entry
  h.Dwell(Loc("ALP", 1, 1));
  EXPECT_EQ(h.HistoryTexts(), (Texts{"Alpha 1:1", "About 0:0", "Index"}));
  h.viewer.OnBackClicked();
  EXPECT_EQ(h.browser.navigations.back(), h.AboutPath());
  h.viewer.OnBackClicked();
  EXPECT_EQ(h.browser.navigations.back(), h.Path("index.htm"));  // the start page, no #TOC
  EXPECT_EQ(Code(h.viewer.ShownLocation()), "IDX");
}

TEST_F(HistoryTest, ALocationShownJustBeforeAStepStillEntersTheHistory) {
  h.Dwell(Loc("ALP", 1, 1));
  h.Dwell(Loc("BET", 1, 1));
  h.ShowNow(Loc("GAM", 1, 1));
  h.Advance(400);
  h.viewer.OnBackClicked();
  EXPECT_EQ(Shown(), "Alpha 1:1");
  h.Advance(600);
  EXPECT_EQ(h.HistoryTexts(), (Texts{"Gamma 1:1", "Beta 1:1", "Alpha 1:1"}));
  EXPECT_EQ(h.viewer.HistoryList().Cursor(), 0);
  BackForwardEnabled(true, false);
}

TEST_F(HistoryTest, HoldingBackRepeatsEveryTenthOfASecondAfterHalfASecond) {
  for (int verse = 1; verse <= 8; ++verse)
    h.Dwell(Loc("ALP", 1, verse));
  const auto shown = [&] { return static_cast<int>(h.viewer.ShownLocation().verse); };
  h.viewer.OnBackPressed();
  h.Advance(599);
  EXPECT_EQ(shown(), 8) << "no step before 600 ms";
  h.Advance(1);
  EXPECT_EQ(shown(), 7);
  h.Advance(300);
  EXPECT_EQ(shown(), 4);
  h.viewer.OnBackReleased();
  h.viewer.OnBackClicked();  // the click that follows the release
  EXPECT_EQ(shown(), 3);
  h.Advance(1000);
  EXPECT_EQ(shown(), 3) << "releasing stops the repeat";
  EXPECT_FALSE(h.viewer.TimerRunning(TimerId::kTimer1));
  EXPECT_FALSE(h.viewer.TimerRunning(TimerId::kTimer2));

  h.viewer.OnBackPressed();
  h.Advance(5000);
  EXPECT_EQ(shown(), 1) << "the repeat stops at the oldest entry";
  BackForwardEnabled(false, true);
  h.viewer.OnBackReleased();  // delivered although the button is disabled by now
  h.viewer.OnForwardClicked();
  h.Dwell(Loc("GAM", 1, 1));  // Back becomes enabled again: no repeat is left running
  h.Advance(2000);
  EXPECT_EQ(Code(h.viewer.ShownLocation()), "GAM");

  // Forward repeats the same way.
  h.viewer.OnBackClicked();
  h.viewer.OnBackClicked();
  h.viewer.OnBackClicked();
  EXPECT_EQ(LocationCaption(h.viewer.ShownLocation()), "Alpha 1:6");
  h.viewer.OnForwardPressed();
  h.Advance(650);
  EXPECT_EQ(LocationCaption(h.viewer.ShownLocation()), "Alpha 1:7");
  h.viewer.OnForwardReleased();
}

TEST_F(HistoryTest, RepeatTicksDuringAStepsLoadAreDropped) {
  for (const char* code : {"ALP", "BET", "GAM", "ALP", "BET", "GAM"})
    h.Dwell(Loc(code, 1, 1));
  for (auto& [path, page] : h.browser.pages)
    page.load_pumps = 25;  // 250 ms per load
  const std::size_t before = h.browser.navigations.size();
  h.viewer.OnBackPressed();
  h.Advance(2000);
  h.viewer.OnBackReleased();
  // Steps start at 600, 900, 1200, 1500 and 1800 ms: each loads its own
  // entry's page to the end before the next tick may step on.
  const std::vector<std::string> steps(
      h.browser.navigations.begin() + static_cast<std::ptrdiff_t>(before),
      h.browser.navigations.end());
  EXPECT_EQ(steps,
            (std::vector<std::string>{h.Path("beta.htm"), h.Path("alpha.htm"), h.Path("gamma.htm"),
                                      h.Path("beta.htm"), h.Path("alpha.htm")}));
  EXPECT_EQ(h.viewer.HistoryList().Cursor(), 5);
}

TEST_F(HistoryTest, StepsClearAwaitingHostButKeepThePendingJump) {
  h.Dwell(Loc("ALP", 1, 1));
  h.Dwell(Loc("BET", 1, 1));
  h.host.answer = [&](const std::string&) { h.HostShows(Loc("GAM", 2, 1)); };
  h.viewer.OnBeforeNavigate("beta.htm$BCVGAM2:1");
  h.Advance(300);
  ASSERT_TRUE(h.viewer.AwaitingHost());
  h.viewer.OnBackClicked();
  EXPECT_FALSE(h.viewer.AwaitingHost());
  EXPECT_TRUE(h.controls.Visible(Button::kPendingJump));
  h.viewer.OnPendingJumpClicked();
  EXPECT_EQ(LocationCaption(h.viewer.ShownLocation()), "Gamma 2:1");
}

}  // namespace
}  // namespace vellum::testing
