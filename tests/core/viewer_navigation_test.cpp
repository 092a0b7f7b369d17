// Scenarios of page navigation: start-up, locations, the Index and About
// pages, resizing, and navigations that meet a running page load.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/core/viewer_harness.h"

namespace vellum::testing {
namespace {

class Navigation : public ::testing::Test {
 protected:
  Harness h;
  Viewer& v = h.viewer;
};

TEST_F(Navigation, StartUpShowsTheStartPageTwiceWithoutHistory) {
  h.fs.files["C:\\Program\\web.htm\\index.ini"] =
      "[INFO]\r\nShortName=Std\r\n[Bookfiles]\r\nidx=zeta.htm\r\nALP=alpha.htm\r\n"
      "IDX=index.htm\r\n";
  h.fs.files[h.Path("zeta.htm")] = "<html></html>";
  h.Start();
  // The first start page still sees the catalogue in file order.
  EXPECT_EQ(h.browser.navigations,
            (std::vector<std::string>{h.Path("zeta.htm"), h.Path("index.htm")}));
  EXPECT_EQ(h.controls.Caption(Button::kIndex), "Index Std");
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "About");
  EXPECT_EQ(Name(v.ShownLocation()), "Index");
  EXPECT_EQ(Code(v.ShownLocation()), "IDX");
  EXPECT_EQ(Code(v.LoadedLocation()), "ABT");
  EXPECT_EQ(Name(v.TargetLocation()), "Index");
  EXPECT_TRUE(v.PageReady());
  EXPECT_FALSE(v.NavBusy());
  EXPECT_EQ(v.HistoryList().Count(), 0);
  EXPECT_FALSE(v.TimerRunning(TimerId::kTimerAddHistory));
  EXPECT_FALSE(h.controls.Enabled(Button::kBack));
  EXPECT_EQ(h.controls.bounds, (Bounds{100, 100, 600, 400}));
  EXPECT_EQ(h.controls.locks, h.controls.unlocks);
  h.Advance(5000);
  EXPECT_EQ(v.HistoryList().Count(), 0);
}

TEST_F(Navigation, StartUpPlacesTheSavedWindowAndReportsUnreadableFiles) {
  h.fs.files["C:\\Program\\Vellum.ini"] =
      "[Form1]\r\nleft=2000\r\ntop=700\r\nwidth=600\r\nheight=400\r\n[Misc]\r\nAlwaysOnTop=1\r\n";
  h.fs.unreadable["C:\\Program\\books.ini"] = "Access is denied";
  h.Start();
  EXPECT_EQ(h.controls.bounds, (Bounds{424, 368, 600, 400}));
  EXPECT_TRUE(h.controls.stay_on_top);
  EXPECT_TRUE(h.controls.stay_on_top_check);
  EXPECT_EQ(
      h.controls.messages,
      (std::vector<std::string>{"Cannot open file \"C:\\Program\\books.ini\". Access is denied"}));
  h.ShowNow(Loc("ALP", 1, 1));
  EXPECT_EQ(h.controls.Caption(Button::kLocation), " 1:1");  // no book names to be had
}

TEST_F(Navigation, ExactLocationScrollsAndUnderlines) {
  h.Start();
  h.ShowNow(Loc("ALP", 2, 3));
  EXPECT_TRUE(h.OnPage("alpha.htm"));
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "Alpha 2:3");
  EXPECT_TRUE(h.controls.Underlined());
  ASSERT_EQ(h.browser.scrolls.size(), 1u);
  EXPECT_EQ(h.browser.scrolls[0].ordinal, 13);  // "top", ten verses of chapter 1, then 2:1..
  EXPECT_EQ(v.CurrentAnchor(), 13);
  EXPECT_EQ(Code(v.LoadedLocation()), "ALP");
  EXPECT_EQ(v.Anchors().Count(), 30);
  EXPECT_EQ(h.controls.locks, h.controls.unlocks);
}

// A browser may show a page at its anchor as soon as it is parsed; only book
// pages loaded for a location are expected at one, and only for that load.
TEST_F(Navigation, EachBookLoadIsExpectedAtTheExactAnchorOfItsLocation) {
  h.Start();
  EXPECT_EQ(h.browser.expected, (std::vector<std::string>{"", ""}));  // start pages
  const struct {
    TbcvRec location;
    std::string expected;
  } cases[] = {
      {Loc("ALP", 2, 3), "CV002003"},
      {Loc("BET", 0, 0), "CV000000"},  // a book's introduction
      {Loc("ALP", 255, 255), "CV255255"},
      {Loc("BET", 1, -1), ""},   // no anchor can be an exact match
      {Loc("ALP", 1, 256), ""},  // nor here: "CV001256" is 1:0
      {Loc("IDX", 3, 4), ""},    // the index page is not a book page
      {Loc("MIS", 4, 2), ""},    // no file: about:blank
  };
  for (const auto& c : cases) {
    h.ShowNow(c.location);
    EXPECT_EQ(h.browser.expected.back(), c.expected) << Code(c.location);
  }
  h.viewer.OnIndexClicked();
  EXPECT_EQ(h.browser.expected.back(), "");
  h.ShowNow(Loc("ALP", 2, 3));
  h.Advance(2000);
  h.ShowNow(Loc("BET", 1, 2));
  h.Advance(2000);
  h.viewer.OnBackClicked();  // a step in history loads its book again, at its anchor
  EXPECT_TRUE(h.OnPage("alpha.htm"));
  EXPECT_EQ(h.browser.expected.back(), "CV002003");
}

TEST_F(Navigation, RepeatedLocationMakesNoScrollCall) {
  h.Start();
  h.ShowNow(Loc("ALP", 2, 3));
  h.viewer.OnLocationClicked();  // shows the same location again
  h.ShowNow(Loc("ALP", 2, 3, "x"));
  EXPECT_EQ(h.browser.scrolls.size(), 1u);
  EXPECT_TRUE(h.controls.Underlined());
}

TEST_F(Navigation, SameBookLoadsNothingAndReadsNoAnchors) {
  h.Start();
  h.ShowNow(Loc("ALP", 1, 1));
  const int loads = h.Loads();
  const int reads = h.browser.anchor_reads;
  h.ShowNow(Loc("ALP", 3, 7));
  h.ShowNow(Loc("ALP", 3, 99));
  EXPECT_EQ(h.Loads(), loads);
  EXPECT_EQ(h.browser.anchor_reads, reads);
  EXPECT_EQ(h.browser.scrolls.back().ordinal, 30);  // 3:10, the chapter's last
  EXPECT_FALSE(h.controls.Underlined());
  h.ShowNow(Loc("alp", 1, 1));  // codes are compared exactly: another book
  EXPECT_EQ(h.Loads(), loads + 1);
}

TEST_F(Navigation, AMissingBookShowsOurOwnPageOnce) {
  h.Start();
  h.ShowNow(Loc("MIS", 4, 2));
  h.ShowNow(Loc("XYZ", 1, 1));  // no catalogue entry at all
  h.ShowNow(Loc("XYZ", 1, 2));
  EXPECT_EQ(h.browser.navigations.back(), "(own page)");
  EXPECT_NE(h.browser.own_pages.back().find("Std has nothing on XYZ."), std::string::npos);
  EXPECT_EQ(h.Loads(), 4);  // two start pages, MIS, XYZ once
  EXPECT_EQ(h.controls.Caption(Button::kLocation), " 1:2");
  EXPECT_EQ(v.Anchors().Count(), 0);
  EXPECT_TRUE(h.browser.scrolls.empty());
  h.Advance(1000);
  EXPECT_EQ(h.HistoryTexts(), (std::vector<std::string>{" 1:2"}));
}

TEST_F(Navigation, SpecialCodesFromTheHost) {
  h.Start();
  h.ShowNow(Loc("ALP", 1, 1));
  h.ShowNow(Loc("IDX", 3, 4));
  EXPECT_TRUE(h.OnPage("index.htm"));
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "About");
  EXPECT_EQ(Code(v.ShownLocation()), "IDX");
  EXPECT_EQ(Code(v.LoadedLocation()), "ABT");
  EXPECT_EQ(v.LoadedLocation().chapter, 3);  // turned into the about location, numbers kept
  h.ShowNow(Loc("ABT", 1, 1));               // same code as loaded: nothing to load or scroll
  EXPECT_TRUE(h.OnPage("index.htm"));
  h.Advance(2000);
  EXPECT_EQ(h.HistoryTexts(), (std::vector<std::string>{"Alpha 1:1"}));

  h.ShowNow(Loc("ALP", 1, 1));
  h.ShowNow(Loc("ABT", 1, 1));  // another code loaded: ABT has no catalogue page
  EXPECT_EQ(h.browser.navigations.back(), "about:blank");
}

TEST_F(Navigation, IndexAndAboutPagesMakeTheBookLoadAgain) {
  h.Start();
  h.ShowNow(Loc("ALP", 1, 1));
  h.viewer.OnIndexClicked();
  EXPECT_EQ(h.browser.navigations.back(), h.Path("index.htm") + "#TOC");
  EXPECT_EQ(v.CurrentAnchor(), -2);
  h.ShowNow(Loc("ALP", 1, 1));
  EXPECT_TRUE(h.OnPage("alpha.htm"));
  h.viewer.OnAboutChosen();
  EXPECT_EQ(h.browser.navigations.back(), h.AboutPath());
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "About");
  h.ShowNow(Loc("ALP", 1, 1));
  EXPECT_TRUE(h.OnPage("alpha.htm"));
  EXPECT_EQ(h.Loads(), 7);
}

TEST_F(Navigation, ResizeScrollsTheCurrentAnchorOnlyWhenItCan) {
  h.Start();
  h.viewer.OnResized();  // start page: no anchor scrolled yet
  EXPECT_TRUE(h.browser.scrolls.empty());
  h.ShowNow(Loc("ALP", 1, 2));
  h.viewer.OnResized();
  h.viewer.OnResized();
  ASSERT_EQ(h.browser.scrolls.size(), 3u);  // no suppression of repeats
  EXPECT_EQ(h.browser.scrolls[2].ordinal, 2);

  h.browser.pages[h.Path("alpha.htm")].anchors.resize(2);  // the page lost anchors
  h.viewer.OnResized();
  EXPECT_EQ(h.browser.scrolls.size(), 3u);

  h.viewer.OnIndexClicked();
  h.viewer.OnResized();
  h.viewer.OnAboutChosen();
  h.viewer.OnResized();
  EXPECT_EQ(h.browser.scrolls.size(), 3u);
}

TEST_F(Navigation, ResizeDuringALoadDoesNothing) {
  h.Start();
  h.ShowNow(Loc("ALP", 1, 2));
  h.AtPump(2, [&] { h.viewer.OnResized(); });
  h.ShowNow(Loc("BET", 1, 2));
  EXPECT_EQ(h.browser.scrolls.size(), 2u);
  EXPECT_EQ(h.browser.scrolls[1].url, h.Path("beta.htm"));
}

TEST(NavigationCases, PageWaitEndsOnFailureAndAfterTheTimeLimit) {
  struct Case {
    const char* what;
    FakePage page;
    bool refuse = false;
    bool fail_reads = false;
  } cases[] = {
      {"navigation error", {{"CV001001"}, 5, true, false}},
      {"page that never becomes ready", {{"CV001001"}, 5, false, true}},
      {"navigation refused", {{"CV001001"}, 5, false, false}, true},
      {"anchors cannot be read", {{"CV001001"}, 5, false, false}, false, true},
  };
  for (const Case& c : cases) {
    Harness h;
    h.browser.pages[h.Path("beta.htm")] = c.page;
    h.Start();
    h.browser.refuse_navigation = c.refuse;
    h.browser.fail_anchor_reads = c.fail_reads;
    const std::uint64_t before = h.timers.now;
    h.ShowNow(Loc("BET", 1, 1));
    EXPECT_FALSE(h.viewer.NavBusy()) << c.what;
    EXPECT_TRUE(h.viewer.PageReady()) << c.what;
    EXPECT_EQ(h.viewer.Anchors().Count(), 0) << c.what;
    EXPECT_TRUE(h.browser.scrolls.empty()) << c.what;
    EXPECT_EQ(h.controls.locks, h.controls.unlocks) << c.what;
    EXPECT_EQ(Code(h.viewer.LoadedLocation()), "BET") << c.what;
    EXPECT_EQ(h.controls.Caption(Button::kLocation), "Beta 1:1") << c.what;
    EXPECT_LE(h.timers.now - before, 250 + kPageWaitLimitMs + kPumpStepMs) << c.what;
  }
}

TEST_F(Navigation, APageReadyOnlyAfterTheWaitGaveUpIsIndexedAtTheNextLocation) {
  h.browser.pages[h.Path("beta.htm")] = {{"CV001001", "CV001002", "CV002001"}, 5, false, true};
  h.Start();
  h.ShowNow(Loc("BET", 1, 1));  // the wait gives up after ten seconds
  EXPECT_EQ(v.Anchors().Count(), 0);
  const int loads = h.Loads();
  h.browser.BecomeReady();  // eleven seconds in, the page is there
  h.ShowNow(Loc("BET", 2, 1));
  EXPECT_EQ(v.Anchors().Count(), 3) << "read once the page is ready";
  EXPECT_EQ(h.Loads(), loads) << "read, not loaded again";
  ASSERT_FALSE(h.browser.scrolls.empty());
  EXPECT_EQ(h.browser.scrolls.back().ordinal, 2);
  EXPECT_TRUE(h.controls.Underlined());
  const int reads = h.browser.anchor_reads;
  h.ShowNow(Loc("BET", 1, 2));
  EXPECT_EQ(h.browser.anchor_reads, reads) << "read once, not at every location";
  EXPECT_EQ(h.browser.scrolls.back().ordinal, 1);

  // A page that failed stays blank: nothing is read for it later.
  Harness failed;
  failed.browser.pages[failed.Path("beta.htm")] = {{"CV001001"}, 5, true, false};
  failed.Start();
  failed.ShowNow(Loc("BET", 1, 1));
  const int failed_reads = failed.browser.anchor_reads;
  failed.ShowNow(Loc("BET", 1, 2));
  EXPECT_EQ(failed.browser.anchor_reads, failed_reads);
}

TEST_F(Navigation, AFailingPageCallLeavesNoFlagOrLockBehind) {
  h.Start();
  h.browser.throw_on_anchor_read = true;
  h.viewer.OnIndexClicked();
  EXPECT_THROW(h.ShowNow(Loc("ALP", 1, 1)), std::runtime_error);
  EXPECT_FALSE(v.NavBusy());
  EXPECT_EQ(h.controls.locks, h.controls.unlocks);
  h.browser.throw_on_anchor_read = false;
  h.ShowNow(Loc("BET", 1, 1));  // the viewer goes on working
  EXPECT_TRUE(h.OnPage("beta.htm"));
  EXPECT_EQ(h.browser.scrolls.back().url, h.Path("beta.htm"));
}

TEST_F(Navigation, LockNotTakenIsNotReleased) {
  h.controls.lock_succeeds = false;
  h.Start();
  h.ShowNow(Loc("ALP", 1, 1));
  h.viewer.OnIndexClicked();
  EXPECT_GT(h.controls.locks, 0);
  EXPECT_EQ(h.controls.unlocks, 0);
}

// Navigations asked for while a page is loading wait for that load, so the
// anchor table and the loaded location always belong to the page on screen.
TEST(NavigationCases, NavigationsDuringALoadWaitForIt) {
  struct Case {
    const char* what;
    std::function<void(Harness&)> during_load;
    std::string page;
    std::string loaded;  // the code of the page on screen
  } cases[] = {
      {"Back click", [](Harness& x) { x.viewer.OnBackClicked(); }, "beta.htm", "BET"},
      {"second Back click",
       [](Harness& x) {
         x.viewer.OnBackClicked();
         x.viewer.OnBackClicked();
       },
       "alpha.htm", "ALP"},
      {"pending jump", [](Harness& x) { x.viewer.OnPendingJumpClicked(); }, "gamma.htm", "GAM"},
      {"About from the menu", [](Harness& x) { x.viewer.OnAboutChosen(); }, "", "ABT"},
      {"Index button", [](Harness& x) { x.viewer.OnIndexClicked(); }, "index.htm", "ABT"},
  };
  for (const Case& c : cases) {
    Harness h;
    h.browser.pages[h.Path("beta.htm")].load_pumps = 30;
    h.Start();
    h.Dwell(Loc("GAM", 1, 1));
    h.Dwell(Loc("ALP", 1, 1));
    h.Dwell(Loc("BET", 1, 1));
    h.Dwell(Loc("ALP", 2, 2));  // history: ALP 2:2, BET 1:1, ALP 1:1, GAM 1:1
    // A link request whose answer waits on the pending-jump button.
    h.host.answer = [&h](const std::string&) { h.HostShows(Loc("GAM", 2, 2)); };
    EXPECT_TRUE(h.viewer.OnBeforeNavigate(h.Path("alpha.htm") + "$BCVGAM2:2"));
    h.host.answer = nullptr;
    h.Advance(300);
    h.viewer.OnBackClicked();
    h.viewer.OnForwardClicked();  // no longer awaiting the host; the jump stays offered
    ASSERT_TRUE(h.controls.Visible(Button::kPendingJump)) << c.what;
    ASSERT_FALSE(h.viewer.AwaitingHost()) << c.what;

    h.AtPump(5, [&] { c.during_load(h); });
    h.ShowNow(Loc("BET", 2, 3));  // a long load of beta
    const std::string on_screen = h.browser.current_url;
    EXPECT_EQ(on_screen, c.page.empty() ? h.AboutPath() : h.Path(c.page)) << c.what;
    EXPECT_EQ(Code(h.viewer.LoadedLocation()), c.loaded) << c.what;
    // A later location in the loaded book scrolls the page on screen.
    const std::string loaded(Code(h.viewer.LoadedLocation()));
    if (loaded != "ABT") {
      h.ShowNow(Loc(loaded, 1, 3));
      EXPECT_EQ(h.browser.scrolls.back().url, on_screen) << c.what;
      EXPECT_EQ(h.browser.scrolls.back().ordinal, 3) << c.what;
    }
    EXPECT_FALSE(h.viewer.NavBusy()) << c.what;
    EXPECT_EQ(h.controls.locks, h.controls.unlocks) << c.what;
  }
}

}  // namespace
}  // namespace vellum::testing
