// Scenarios of the window shell: closing and the settings, the menu
// commands, the mouse hook's decision and the docking drag.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>

#include "tests/core/viewer_harness.h"

namespace vellum::testing {
namespace {

const std::string kSettings = "C:\\Program\\Vellum.ini";

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override { h.Start(); }
  Harness h;
};

TEST_F(ShellTest, ClosingWritesTheBoundsAndTheStayOnTopState) {
  h.fs.files[kSettings] = "; mine\r\n[Form1]\r\nleft=1\r\n";
  h.controls.bounds = {-30, 40, 640, 480};
  h.viewer.OnAlwaysOnTopChosen();
  h.viewer.OnCloseClicked();
  EXPECT_TRUE(h.controls.window_closed);
  EXPECT_EQ(h.fs.files[kSettings],
            "; mine\r\n[Form1]\r\nleft=-30\r\ntop=40\r\nwidth=640\r\nheight=480\r\n[Misc]\r\n"
            "AlwaysOnTop=1\r\n");
}

// Every way of closing still closes when the settings cannot be written
// anywhere; the user is told once, and the viewer is already closed while
// the message is up, so nothing that arrives meanwhile reaches it.
TEST(StartUp, AWindowSavedOnAMonitorThatIsGoneComesBackToThePrimary) {
  for (const bool monitor_left_exists : {true, false}) {
    Harness h;
    h.fs.files[kSettings] = "[Form1]\r\nleft=-1200\r\ntop=100\r\nwidth=600\r\nheight=400\r\n";
    h.controls.monitors = std::vector<ScreenRect>{{0, 0, 1024, 768}};
    if (monitor_left_exists) h.controls.monitors->push_back({-1280, 0, 0, 1024});
    h.Start();
    EXPECT_EQ(h.controls.bounds,
              (monitor_left_exists ? Bounds{-1200, 100, 600, 400} : Bounds{0, 100, 600, 400}));
  }
}

TEST(ClosingWithoutAWritableFolder, ToldOnceAndTheWindowCloses) {
  struct Case {
    const char* how;
    std::function<void(Harness&)> close;
  } cases[] = {
      {"the Close button", [](Harness& h) { h.viewer.OnCloseClicked(); }},
      {"the menu", [](Harness& h) { h.viewer.OnCloseChosen(); }},
      {"the host",
       [](Harness& h) {
         h.HostSends(kHostClose, Loc("", 0, 0));
         h.Advance(250);
       }},
      {"the system", [](Harness& h) { h.controls.CloseWindow(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    Harness h;
    h.fs.read_only_folders = {"C:\\Program\\", "C:\\Users\\me\\AppData\\Roaming\\"};
    h.Start();
    h.ShowNow(Loc("ALP", 1, 1));
    h.HostShows(Loc("BET", 1, 1));  // its debounce tick would fall while the message is up
    const std::map<std::string, std::string> files_before = h.fs.files;
    const int loads = h.Loads();
    int messages_at_message = -1;
    h.controls.on_message = [&] {
      if (messages_at_message >= 0) return;  // a second message is counted, not nested
      messages_at_message = static_cast<int>(h.controls.messages.size());
      EXPECT_TRUE(h.viewer.Closed()) << "closed before the message is shown";
      h.controls.CloseWindow();  // the system asks again
      h.viewer.OnCloseChosen();
      h.HostSends(kHostClose, Loc("", 0, 0));
      h.Advance(500);
    };

    c.close(h);

    EXPECT_TRUE(h.controls.window_closed);
    EXPECT_EQ(h.controls.messages,
              (std::vector<std::string>{
                  "Unable to write to C:\\Users\\me\\AppData\\Roaming\\Vellum\\Vellum.ini"}));
    EXPECT_EQ(messages_at_message, 1);
    EXPECT_EQ(h.Loads(), loads) << "the host location that fell due was dropped";
    EXPECT_EQ(h.fs.files, files_before);
    const std::size_t ticks = h.timers.ticks.size();
    h.Advance(5000);
    EXPECT_EQ(h.timers.ticks.size(), ticks) << "every timer stopped at the close";
  }
}

TEST_F(ShellTest, NoEventAfterACloseTouchesTheViewer) {
  h.ShowNow(Loc("ALP", 1, 1));
  h.HostShows(Loc("BET", 1, 1));  // its debounce tick would fall after the close
  h.viewer.OnCloseClicked();
  ASSERT_TRUE(h.controls.window_closed);
  const int loads = h.Loads();
  const std::size_t ticks = h.timers.ticks.size();
  h.Advance(5000);
  h.HostShows(Loc("GAM", 1, 1));
  for (TimerId id :
       {TimerId::kTimer1, TimerId::kTimer2, TimerId::kTimer3, TimerId::kTimerAddHistory}) {
    h.viewer.OnTimer(id);
  }
  h.viewer.OnIndexClicked();
  h.viewer.OnPendingJumpClicked();
  h.viewer.OnLocationClicked();
  h.viewer.OnBackPressed();
  h.viewer.OnAboutChosen();
  h.viewer.OnResized();
  EXPECT_EQ(h.Loads(), loads);
  EXPECT_EQ(h.timers.ticks.size(), ticks) << "every timer stopped at the close";
  EXPECT_EQ(h.viewer.HistoryList().Count(), 0);
  EXPECT_TRUE(h.viewer.OnClosing()) << "a second close request finds the window closed";
}

TEST_F(ShellTest, ACloseDuringAPageLoadEndsTheWait) {
  h.browser.pages[h.Path("beta.htm")].hangs = true;
  h.AtPump(3, [&] { h.viewer.OnCloseChosen(); });
  h.ShowNow(Loc("BET", 1, 1));
  EXPECT_TRUE(h.controls.window_closed);
  EXPECT_FALSE(h.viewer.NavBusy());
  EXPECT_EQ(h.controls.locks, h.controls.unlocks);
  EXPECT_LT(h.pump.waits, 10);
}

TEST_F(ShellTest, StayOnTopSwitchesAndLeavesThePageAndTheHistory) {
  h.Dwell(Loc("PSA", 1, 1));
  h.Dwell(Loc("ALP", 1, 5));
  const int loads = h.Loads();
  const std::vector<std::string> history = h.HistoryTexts();
  for (const bool on : {true, false}) {
    h.viewer.OnAlwaysOnTopChosen();
    EXPECT_EQ(h.controls.stay_on_top, on);
    EXPECT_EQ(h.controls.stay_on_top_check, on);
    EXPECT_EQ(h.viewer.AlwaysOnTopChecked(), on);
    EXPECT_EQ(h.Loads(), loads) << "the page stays";
    EXPECT_TRUE(h.OnPage("alpha.htm"));
    EXPECT_EQ(h.controls.Caption(Button::kLocation), "Alpha 1:5");
    EXPECT_EQ(h.HistoryTexts(), history);
  }
  h.viewer.OnBackClicked();
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "Ps 1:1")
      << "Back still reaches the place before";
}

TEST_F(ShellTest, MenuCommands) {
  h.ShowNow(Loc("ALP", 1, 1));
  h.viewer.OnAboutChosen();
  EXPECT_EQ(h.browser.navigations.back(), h.AboutPath());
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "About");
  h.Advance(2000);
  EXPECT_EQ(h.HistoryTexts(), (std::vector<std::string>{"Alpha 1:1"})) << "About adds nothing";
  h.viewer.OnCopyChosen();
  EXPECT_EQ(h.browser.copies, 1);
  h.viewer.OnMinimizeClicked();
  EXPECT_EQ(h.controls.minimizes, 1);
  h.viewer.OnMenuIconPressed({403, 302});
  h.viewer.OpenMenuAt({700, 500});
  ASSERT_EQ(h.controls.menus.size(), 2u);
  EXPECT_EQ(h.controls.menus[0], (ScreenPoint{403, 302}));
  EXPECT_EQ(h.controls.menus[1], (ScreenPoint{700, 500}));
}

TEST(MouseHook, OpensTheMenuOnlyForRightButtonsOverThePage) {
  struct Case {
    int code;
    unsigned message;
    std::string_view target;
    bool opens;
  } cases[] = {
      {0, kRightButtonDown, "Internet Explorer_Server", true},
      {0, kRightButtonUp, "Internet Explorer_Server", true},
      {3, kRightButtonUp, "Internet Explorer_Server", false},  // HC_NOREMOVE: only a peek
      {-1, kRightButtonDown, "Internet Explorer_Server", false},
      {0, 513, "Internet Explorer_Server", false},  // left button
      {0, 518, "Internet Explorer_Server", false},  // right double click
      {0, kRightButtonDown, "internet explorer_server", false},
      {0, kRightButtonDown, "TfrmHView", false},
      {0, kRightButtonDown, "Shell Embedding", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HookOpensMenu(c.code, c.message, c.target), c.opens) << c.target << " " << c.message;
  }
}

TEST_F(ShellTest, DragDocksToTheHostWindow) {
  h.controls.bounds = {500, 300, 300, 400};
  h.viewer.OnDragHandlePressed({900, 310});
  EXPECT_TRUE(h.controls.captured);
  EXPECT_EQ(h.host.lookups, 1);
  struct Step {
    ScreenPoint mouse;
    Bounds expected;
  } steps[] = {
      {{1305, 120}, {900, 100, 300, 400}},   // raw 905,110: right of the host, tops aligned
      {{205, 310}, {-200, 300, 300, 400}},   // raw -195,300
      {{800, 722}, {400, 700, 300, 400}},    // raw 400,712: below the host
      {{800, -280}, {400, -300, 300, 400}},  // raw 400,-290: above the host
      {{1325, 135}, {925, 125, 300, 400}},   // raw 925,125: exactly 25 away, no snap
  };
  for (const Step& s : steps) {
    h.viewer.DragStep(s.mouse);
    EXPECT_EQ(h.controls.bounds, s.expected) << s.mouse.x << "," << s.mouse.y;
  }
  const int changes = h.controls.bounds_changes;
  h.viewer.DragStep({1325, 135});  // the same point again
  EXPECT_EQ(h.controls.bounds_changes, changes);

  h.host.rect = {0, 0, 400, 300};  // the host moved: followed at the next step
  h.viewer.DragStep({420, 320});
  EXPECT_EQ(h.controls.bounds, (Bounds{0, 300, 300, 400}));

  h.viewer.OnDragHandleReleased();
  EXPECT_FALSE(h.controls.captured);
  h.viewer.DragStep({600, 600});
  EXPECT_EQ(h.controls.bounds, (Bounds{0, 300, 300, 400})) << "no drag after the release";
}

TEST_F(ShellTest, ADragWhoseCaptureIsTakenAwayEndsWithoutARelease) {
  h.controls.bounds = {100, 100, 300, 400};
  h.viewer.OnDragHandlePressed({110, 110});
  h.viewer.DragStep({150, 150});
  EXPECT_EQ(h.controls.bounds, (Bounds{140, 140, 300, 400}));
  h.viewer.DragCaptureLost();  // Alt+Tab, a dialog: no release will come
  EXPECT_FALSE(h.viewer.Dragging());
  const int changes = h.controls.bounds_changes;
  h.viewer.DragStep({400, 400});  // hovering over the title bar afterwards
  EXPECT_EQ(h.controls.bounds_changes, changes);
  h.viewer.OnDragHandleReleased();  // a late release changes nothing either
  EXPECT_EQ(h.controls.bounds, (Bounds{140, 140, 300, 400}));
}

TEST_F(ShellTest, DragWidensToTheHostWhenLeftEdgesAlign) {
  for (int width : {790, 770}) {
    h.controls.bounds = {0, 0, width, 400};
    h.viewer.OnDragHandlePressed({10, 10});
    h.viewer.DragStep({120, 310});  // raw 110,300
    EXPECT_EQ(h.controls.bounds, (Bounds{100, 300, width == 790 ? 800 : 770, 400}));
    h.viewer.OnDragHandleReleased();
  }
}

TEST_F(ShellTest, WithoutAHostTheDragFollowsTheMouse) {
  h.host.exists = false;
  h.controls.bounds = {500, 300, 300, 400};
  h.viewer.OnDragHandlePressed({900, 310});
  h.viewer.DragStep({1305, 120});
  EXPECT_EQ(h.controls.bounds, (Bounds{905, 110, 300, 400}));
  h.viewer.OnDragHandleReleased();
}

}  // namespace
}  // namespace vellum::testing

namespace vellum::testing {
namespace {

TEST(TextSize, StepsThroughTheUsualSizesWithinTheirRange) {
  struct Case {
    int from;
    int direction;
    int to;
  } cases[] = {
      {100, +1, 110}, {110, +1, 125}, {250, +1, 300}, {300, +1, 300}, {100, -1, 90},
      {67, -1, 50},   {50, -1, 50},   {133, +1, 150}, {133, -1, 125},
  };
  for (const Case& c : cases)
    EXPECT_EQ(StepTextSize(c.from, c.direction), c.to) << c.from << " " << c.direction;
  for (const auto& [read, size] : std::map<int, int>{
           {100, 100}, {133, 125}, {0, 100}, {-5, 100}, {9999, 300}, {1, 50}, {70, 67}})
    EXPECT_EQ(NearestTextSize(read), size) << read;
}

TEST(TextSize, ChosenItAppliesToThePagesKeepsTheAnchorAndIsSavedThen) {
  Harness h;
  h.fs.files[kSettings] = "[Reader]\r\nTextSize=133\r\n";
  h.Start();
  EXPECT_EQ(h.browser.text_sizes, std::vector<int>{125}) << "the nearest step, before any page";
  h.ShowNow(Loc("ALP", 1, 2));
  const std::size_t scrolls = h.browser.scrolls.size();
  h.viewer.OnTextSizeChosen(+1);
  h.viewer.OnTextSizeChosen(+1);
  EXPECT_EQ(h.browser.text_sizes, (std::vector<int>{125, 150, 175}));
  ASSERT_EQ(h.browser.scrolls.size(), scrolls + 2) << "the anchor scrolled to again";
  EXPECT_EQ(h.browser.scrolls.back().ordinal, h.browser.scrolls[scrolls - 1].ordinal);
  h.viewer.OnTextSizeChosen(0);
  EXPECT_EQ(h.viewer.TextSize(), 100);
  h.viewer.OnCloseClicked();
  EXPECT_NE(h.fs.files[kSettings].find("[Reader]\r\nTextSize=100\r\n"), std::string::npos)
      << h.fs.files[kSettings];

  // Never chosen: the file keeps what it had, whatever it was.
  Harness untouched;
  untouched.fs.files[kSettings] = "[Reader]\r\nTextSize=oops\r\n";
  untouched.Start();
  EXPECT_EQ(untouched.viewer.TextSize(), 100);
  untouched.viewer.OnCloseClicked();
  EXPECT_NE(untouched.fs.files[kSettings].find("TextSize=oops"), std::string::npos);
}

TEST(TextSize, TheWheelStepsOncePerWholeNotchGathered) {
  const struct {
    std::vector<double> notches;
    int size;
  } cases[] = {
      {{1}, 110},
      {{-1}, 90},
      {{1.0 / 3, 1.0 / 3, 1.0 / 3 + 1e-9}, 110},  // a touchpad's fractions
      {{0.5, -0.5, 0.5}, 100},                    // a turn back starts again
      {{0.75, 0.75}, 110},                        // the rest is kept
      {{0.75, 0, 0.75}, 100},                     // ... until the gesture ends
      {{2}, 125},
      {{1e9}, 300},  // no more than the range, at once
      {{0, std::nan("")}, 100},
  };
  for (const auto& c : cases) {
    Harness h;
    h.Start();
    for (double n : c.notches)
      h.viewer.OnTextSizeWheel(n);
    EXPECT_EQ(h.viewer.TextSize(), c.size) << ::testing::PrintToString(c.notches);
  }
}

TEST(PageLost, ThePlaceOnScreenIsLoadedAgainAndHistoryIsUntouched) {
  const std::vector<std::function<void(Harness&)>> places = {
      [](Harness& h) { h.Dwell(Loc("ALP", 2, 3)); },
      [](Harness& h) { h.viewer.OnIndexClicked(); },
      [](Harness& h) { h.viewer.OnAboutChosen(); },
  };
  for (std::size_t i = 0; i < places.size(); ++i) {
    SCOPED_TRACE(i);
    Harness h;
    h.Start();
    h.Dwell(Loc("BET", 1, 2));
    places[i](h);
    h.Advance(2000);
    const std::string url = h.browser.current_url;
    const int loads = h.Loads();
    const int history = h.viewer.HistoryList().Count();
    h.viewer.OnPageLost();
    EXPECT_EQ(h.Loads(), loads + 1);
    EXPECT_EQ(h.browser.current_url, url);
    h.Advance(2000);
    EXPECT_EQ(h.viewer.HistoryList().Count(), history);
  }
}

TEST(Theme, IsSetAtStartFromTheSettingsAndSavedOnlyOnceChosen) {
  const struct {
    const char* file;
    Theme read;
  } cases[] = {
      {"", Theme::kFollowSystem},
      {"[Reader]\r\nTheme=dark\r\n", Theme::kDark},
      {"[Reader]\r\nTheme=Light\r\n", Theme::kLight},
      {"[Reader]\r\nTheme=system\r\n", Theme::kFollowSystem},
      {"[Reader]\r\nTheme=sepia\r\n", Theme::kFollowSystem},
  };
  for (const auto& c : cases) {
    Harness h;
    h.fs.files[kSettings] = c.file;
    h.Start();
    EXPECT_EQ(h.controls.themes, std::vector<Theme>{c.read}) << c.file;
    h.viewer.OnClosing();
    // Not chosen: whatever the file said stays as it was.
    EXPECT_EQ(h.fs.files[kSettings].find("Theme=") != std::string::npos,
              std::string(c.file).find("Theme=") != std::string::npos)
        << c.file;
  }
  Harness h;
  h.Start();
  h.viewer.OnThemeChosen(Theme::kDark);
  h.viewer.OnThemeChosen(Theme::kLight);
  EXPECT_EQ(h.controls.themes,
            (std::vector<Theme>{Theme::kFollowSystem, Theme::kDark, Theme::kLight}));
  h.viewer.OnClosing();
  EXPECT_NE(h.fs.files[kSettings].find("[Reader]\r\nTheme=light\r\n"), std::string::npos);
  h.viewer.OnThemeChosen(Theme::kDark);
  EXPECT_EQ(h.controls.themes.size(), 3u) << "nothing after the close";
}

}  // namespace
}  // namespace vellum::testing
