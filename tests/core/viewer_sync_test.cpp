// Scenarios of the second host source, other Bible programs (BibleSync):
// turning it on and off, its navigations through the host's quiet time, and
// requests that go to them when no host window is there.
#include <gtest/gtest.h>

#include "tests/core/viewer_harness.h"

namespace vellum::testing {
namespace {

const std::string kSettings = "C:\\Program\\Vellum.ini";

// A place as the link maps it: the book's code and its built-in short name.
TbcvRec Place(std::string_view code, int chapter, int verse, std::string_view name) {
  return Loc(code, chapter, verse, name);
}

// The section's lines as the file holds them, up to the next section.
std::string SectionText(const std::string& content, const std::string& header) {
  const std::size_t start = content.find(header);
  if (start == std::string::npos) return "";
  const std::size_t next = content.find("\n[", start);
  return content.substr(start, next == std::string::npos ? std::string::npos : next + 1 - start);
}

// The submenu's "Off" when following, else "Programs on this computer".
void ToggleFollow(Viewer& viewer) {
  viewer.OnSyncReachChosen(viewer.FollowSyncChecked() ? SyncReach::kOff : SyncReach::kThisComputer);
}

class SyncTest : public ::testing::Test {
 protected:
  SyncTest() {
    h.fs.files["C:\\Program\\web.htm\\index.ini"] += "JHN=john.htm\r\n";
    h.fs.files[h.Path("john.htm")] = "<html></html>";
    h.browser.pages[h.Path("john.htm")] = {VerseAnchors(3, 20)};
  }
  std::string Caption(Button b = Button::kLocation) { return h.controls.Caption(b); }
  void ChooseFollow() { ToggleFollow(h.viewer); }
  // A click on a cross-reference link with text T after "$BCV".
  bool Click(std::string_view text) {
    return h.viewer.OnBeforeNavigate("C:\\Program\\web.htm\\alpha.htm$BCV" + std::string(text));
  }

  Harness h;
};

TEST_F(SyncTest, OffUnlessAskedAndItsNavigationsIgnoredThen) {
  h.Start();
  EXPECT_TRUE(h.sync.joins.empty());
  EXPECT_FALSE(h.viewer.FollowSyncChecked());
  EXPECT_FALSE(h.controls.follow_sync_check);
  h.viewer.ReceiveSyncLocation(Place("ALP", 1, 1, "Alpha"));
  EXPECT_FALSE(h.viewer.TimerRunning(TimerId::kTimer3));
  h.host.exists = false;
  EXPECT_TRUE(Click("ALP2:3"));
  EXPECT_TRUE(h.sync.requests.empty());
  EXPECT_FALSE(h.viewer.AwaitingHost());
  h.Advance(10);
  EXPECT_EQ(Caption(), "Alpha 2:3") << "nobody to ask: the viewer went itself";
}

TEST_F(SyncTest, WhereTheStateComesFromAndWhenItIsSaved) {
  struct Case {
    const char* what;
    std::string settings;  // Vellum.ini before the run ("" for none)
    bool command_line;
    int menu_choices;
    bool joined_at_start;
    std::string passphrase;
    std::string saved_section;  // what the close leaves in [BibleSync]
  } cases[] = {
      {"nothing", "", false, 0, false, "", ""},
      {"the settings", "[BibleSync]\r\nFollow=1\r\n", false, 0, true, "",
       "[BibleSync]\r\nFollow=1\r\n"},
      {"with a passphrase", "[BibleSync]\r\nFollow=1\r\nPassphrase=study group\r\n", false, 0, true,
       "study group", "[BibleSync]\r\nFollow=1\r\nPassphrase=study group\r\n"},
      {"the command line, for its run only", "", true, 0, true, "", ""},
      {"the menu", "", false, 1, false, "", "[BibleSync]\r\nFollow=1\r\n"},
      {"the menu twice", "", false, 2, false, "", "[BibleSync]\r\nFollow=0\r\n"},
      {"turned off in the menu", "[BibleSync]\r\nFollow=1\r\n", false, 1, true, "",
       "[BibleSync]\r\nFollow=0\r\n"},
      {"the command line, then off in the menu", "", true, 1, true, "",
       "[BibleSync]\r\nFollow=0\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness run;
    if (!c.settings.empty()) run.fs.files[kSettings] = c.settings;
    run.Start(StartOptions{c.command_line, {}});
    EXPECT_EQ(run.sync.active, c.joined_at_start);
    EXPECT_EQ(run.controls.follow_sync_check, c.joined_at_start);
    if (c.joined_at_start) {
      EXPECT_EQ(run.sync.joins.front().passphrase, c.passphrase);
    }
    for (int i = 0; i < c.menu_choices; ++i)
      ToggleFollow(run.viewer);
    EXPECT_EQ(run.controls.follow_sync_check, run.viewer.FollowSyncChecked());
    EXPECT_TRUE(run.viewer.OnClosing());
    EXPECT_FALSE(run.sync.active) << "the viewer leaves when it closes";
    const std::string& written = run.fs.files[kSettings];
    EXPECT_EQ(SectionText(written, "[BibleSync]"), c.saved_section);
    // The window's keys are written as before, whatever happens here.
    EXPECT_NE(written.find("[Misc]\r\nAlwaysOnTop=0\r\n"), std::string::npos);
  }
}

TEST_F(SyncTest, AJoinThatFailsIsToldAndLeavesTheItemUnchecked) {
  h.sync.join_error = "BibleSync could not be started: no network";
  h.fs.files[kSettings] = "[BibleSync]\r\nFollow=1\r\n";
  h.Start();
  EXPECT_EQ(h.controls.messages, std::vector<std::string>{*h.sync.join_error});
  EXPECT_FALSE(h.viewer.FollowSyncChecked());
  EXPECT_FALSE(h.controls.follow_sync_check);
  h.viewer.ReceiveSyncLocation(Place("ALP", 1, 1, "Alpha"));
  EXPECT_FALSE(h.viewer.TimerRunning(TimerId::kTimer3));
  // Not chosen in the menu: the settings keep asking for it next time.
  h.viewer.OnClosing();
  EXPECT_NE(h.fs.files[kSettings].find("Follow=1"), std::string::npos);
}

TEST_F(SyncTest, OtherComputersAskForThePassphraseAndTheChoicesAreKept) {
  h.fs.files[kSettings] =
      "[BibleSync]\r\nFollow=1\r\nPassphrase=old\r\nFollowedPrograms=A/a/x||B/b/y\r\n";
  h.Start();
  EXPECT_EQ(h.sync.following.programs, (std::vector<std::string>{"A/a/x", "B/b/y"}))
      << "the ticked programs reach the link before it joins";
  EXPECT_EQ(h.sync.joins.back().reach, SyncReach::kThisComputer);

  // Cancelled: nothing changes, the mark goes back.
  h.viewer.OnSyncReachChosen(SyncReach::kOtherComputers);
  EXPECT_EQ(h.controls.passphrase_asked, std::vector<std::string>{"old"});
  EXPECT_EQ(h.sync.joins.size(), 1u);
  EXPECT_EQ(h.controls.sync_reach_check, SyncReach::kThisComputer);
  EXPECT_TRUE(h.viewer.SyncProgramsHeard().empty()) << "nothing of other computers here";

  h.controls.passphrase_answer = " class 7\n";
  h.viewer.OnSyncReachChosen(SyncReach::kOtherComputers);
  EXPECT_EQ(h.sync.joins.back().reach, SyncReach::kOtherComputers);
  EXPECT_EQ(h.sync.joins.back().passphrase, "class 7") << "made fit for one line";
  EXPECT_EQ(h.controls.sync_reach_check, SyncReach::kOtherComputers);

  // Heard, and ticked though not heard now: both listed.
  h.sync.heard = {{"C/c/z", "C (c, z)", false}, {"A/a/x", "A (a, x)", true}};
  const std::vector<HeardProgram> listed = h.viewer.SyncProgramsHeard();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[2].key, "B/b/y");
  EXPECT_EQ(listed[2].label, "B/b/y (not heard now)");
  EXPECT_TRUE(listed[2].followed);
  h.viewer.OnProgramFollowChosen("C/c/z", true);
  h.viewer.OnProgramFollowChosen("A/a/x", false);
  EXPECT_EQ(h.sync.following.programs, (std::vector<std::string>{"B/b/y", "C/c/z"}));
  h.viewer.OnFollowEveryProgramChosen(true);
  EXPECT_TRUE(h.sync.following.every_program);
  h.viewer.ShowSyncNotice("No other computer heard: is UDP port 22272 open?");
  EXPECT_EQ(h.controls.notices.back(), "No other computer heard: is UDP port 22272 open?");

  // Off keeps the reach chosen last, for the next time.
  h.viewer.OnSyncReachChosen(SyncReach::kOff);
  h.viewer.ShowSyncNotice("late");
  EXPECT_NE(h.controls.notices.back(), "late") << "no word once the reach is gone";
  EXPECT_TRUE(h.viewer.OnClosing());
  EXPECT_EQ(SectionText(h.fs.files[kSettings], "[BibleSync]"),
            "[BibleSync]\r\nFollow=0\r\nPassphrase=class 7\r\nFollowedPrograms=B/b/y|C/c/z\r\n"
            "OtherComputers=1\r\nFollowEveryProgram=1\r\n");

  Harness next;
  next.fs.files[kSettings] = h.fs.files[kSettings];
  next.fs.files[kSettings].replace(next.fs.files[kSettings].find("Follow=0"), 8, "Follow=1");
  next.Start();
  EXPECT_EQ(next.sync.joins.back().reach, SyncReach::kOtherComputers) << "read back";
  EXPECT_TRUE(next.sync.following.every_program);
}

TEST_F(SyncTest, NavigationsTakeTheHostsQuietTimeAndOnlyTheLastOfABurstIsShown) {
  h.Start(StartOptions{true, {}});
  const int loads = h.Loads();
  h.viewer.ReceiveSyncLocation(Place("ALP", 1, 1, "Alpha"));
  h.Advance(100);
  h.viewer.ReceiveSyncLocation(Place("BET", 1, 1, "Beta"));
  h.Advance(100);
  h.viewer.ReceiveSyncLocation(Place("JHN", 3, 16, "John"));
  h.Advance(249);
  EXPECT_EQ(h.Loads(), loads);
  h.Advance(1);
  EXPECT_EQ(h.Loads(), loads + 1);
  EXPECT_EQ(Caption(), "John 3:16");
  EXPECT_TRUE(h.OnPage("john.htm"));
  h.Advance(1000);
  EXPECT_EQ(h.HistoryTexts().back(), "John 3:16");
}

TEST(SyncAndHost, TheHostsCommandsAreNeverLostToTheProgramsPlaces) {
  const struct {
    const char* what;
    std::uint32_t code;
    bool closed;
    int minimizes;
    const char* caption;
  } cases[] = {
      {"a close, then a place 10 ms later", kHostClose, true, 0, nullptr},
      {"a minimise", kHostMinimize, false, 1, "Alpha 1:1"},
      {"the host's place", kHostShowLocation, false, 0, "Beta 2:3"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.Start(StartOptions{true, {}});
    h.ShowNow(Loc("ALP", 1, 1));
    // A program that navigates every 200 ms, from before the host speaks.
    for (int i = 0; i < 3; ++i) {
      h.viewer.ReceiveSyncLocation(Place("ALP", 1, i + 2, "Alpha"));
      h.Advance(200);
    }
    h.HostSends(c.code, Loc("BET", 2, 3));
    for (int i = 0; i < 10; ++i) {
      h.Advance(10);
      h.viewer.ReceiveSyncLocation(Place("GAM", 1, i + 1, "Gamma"));
      h.Advance(190);
      if (h.viewer.Closed() || h.controls.minimizes > 0 ||
          h.controls.Caption(Button::kLocation) == "Beta 2:3")
        break;
    }
    EXPECT_EQ(h.viewer.Closed(), c.closed) << c.what;
    EXPECT_EQ(h.controls.minimizes, c.minimizes) << c.what;
    if (c.caption != nullptr) {
      EXPECT_EQ(h.controls.Caption(Button::kLocation), c.caption) << c.what;
    }
  }
}

TEST_F(SyncTest, NamesComeFromTheBookListElseTheirOwn) {
  h.Start(StartOptions{true, {}});
  struct Case {
    TbcvRec place;
    const char* caption;
  } cases[] = {
      {Place("ALP", 2, 3, "Alp"), "Alpha 2:3"},    // books.ini names ALP "Alphabet"
      {Place("JHN", 3, 16, "John"), "John 3:16"},  // books.ini does not name JHN
      {Place("GAM", 1, 1, ""), "Gamma 1:1"},
  };
  for (const Case& c : cases) {
    h.viewer.ReceiveSyncLocation(c.place);
    h.Advance(250);
    EXPECT_EQ(Caption(), c.caption);
  }
  // The host's own records keep their rule: never the name they carry, but
  // the list's, else a book of the Bible's own English one.
  h.ShowNow(Loc("JHN", 1, 1, "Jn"));
  EXPECT_EQ(Caption(), "John 1:1");
  h.ShowNow(Loc("XYZ", 1, 1, "Xyz"));
  EXPECT_EQ(Caption(), " 1:1");
}

TEST_F(SyncTest, WithoutAHostWindowRequestsGoToTheProgramsAndAreOfferedWithNothingAwaited) {
  h.Start(StartOptions{true, {}});
  h.host.exists = false;
  h.sync.places["BET2:5"] = Place("BET", 2, 5, "Bet");
  h.sync.places["JHN3:16"] = Place("JHN", 3, 16, "John");
  h.ShowNow(Loc("ALP", 1, 2));
  const int loads = h.Loads();

  EXPECT_TRUE(Click("BET2:5"));
  EXPECT_EQ(h.sync.requests, std::vector<std::string>{"BET2:5"});
  EXPECT_FALSE(h.viewer.AwaitingHost()) << "no program answers: nothing to wait for";
  EXPECT_TRUE(h.controls.Visible(Button::kPendingJump));
  EXPECT_EQ(Caption(Button::kPendingJump), "Beta 2:5");
  EXPECT_EQ(Caption(), "Alpha 1:2") << "the page stays";
  EXPECT_EQ(h.Loads(), loads);

  // The programs' next navigation is shown, and the offer stands.
  h.viewer.ReceiveSyncLocation(Place("JHN", 3, 16, "John"));
  h.Advance(250);
  EXPECT_EQ(Caption(), "John 3:16");
  EXPECT_EQ(Caption(Button::kPendingJump), "Beta 2:5");
  h.viewer.OnPendingJumpClicked();
  EXPECT_EQ(Caption(), "Beta 2:5");
  EXPECT_FALSE(h.controls.Visible(Button::kPendingJump));

  // A text that names no place they know is sent nowhere and offers nothing.
  EXPECT_TRUE(Click("ZZZ9:9"));
  EXPECT_FALSE(h.viewer.AwaitingHost());
  EXPECT_FALSE(h.controls.Visible(Button::kPendingJump));
}

TEST_F(SyncTest, AHostWindowKeepsTheRequests) {
  h.Start(StartOptions{true, {}});
  h.sync.places["BET2:5"] = Place("BET", 2, 5, "Bet");
  EXPECT_TRUE(Click("BET2:5"));
  EXPECT_EQ(h.host.requests, std::vector<std::string>{"BET2:5"});
  EXPECT_TRUE(h.sync.requests.empty());
  EXPECT_FALSE(h.controls.Visible(Button::kPendingJump)) << "the host answers, or not";
  // Their navigations are still taken in, to the pending jump now.
  h.viewer.ReceiveSyncLocation(Place("GAM", 1, 4, "Gam"));
  h.Advance(250);
  EXPECT_EQ(Caption(Button::kPendingJump), "Gamma 1:4");
}

TEST_F(SyncTest, TheLocationButtonTellsTheProgramsAndStaysWhereItIs) {
  h.Start(StartOptions{true, {}});
  h.host.exists = false;
  h.sync.places["GAM2:3"] = Place("GAM", 2, 3, "Gam");
  h.ShowNow(Loc("GAM", 2, 3));
  h.viewer.OnLocationClicked();
  EXPECT_EQ(h.sync.requests, std::vector<std::string>{"GAM2:3"});
  EXPECT_FALSE(h.viewer.AwaitingHost());
  EXPECT_FALSE(h.controls.Visible(Button::kPendingJump));
  EXPECT_EQ(Caption(), "Gamma 2:3");
}

TEST_F(SyncTest, TurningItOffStopsBothDirections) {
  h.Start(StartOptions{true, {}});
  h.host.exists = false;
  h.sync.places["BET2:5"] = Place("BET", 2, 5, "Bet");
  h.ShowNow(Loc("ALP", 1, 1));
  h.viewer.ReceiveSyncLocation(Place("GAM", 1, 1, "Gam"));
  h.Advance(100);
  ToggleFollow(h.viewer);  // off, while that navigation waits
  EXPECT_FALSE(h.sync.active);
  h.Advance(300);
  EXPECT_EQ(Caption(), "Alpha 1:1");
  h.viewer.ReceiveSyncLocation(Place("GAM", 1, 2, "Gam"));
  h.Advance(300);
  EXPECT_EQ(Caption(), "Alpha 1:1");
  EXPECT_TRUE(Click("BET2:5"));
  EXPECT_TRUE(h.sync.requests.empty());
  EXPECT_FALSE(h.controls.Visible(Button::kPendingJump));
  h.Advance(10);
  EXPECT_EQ(Caption(), "Beta 2:5") << "followed by nobody: the viewer went itself";

  // A host message in its quiet time is not the programs' and stays.
  ToggleFollow(h.viewer);  // on again
  h.HostShows(Loc("BET", 1, 2));
  ToggleFollow(h.viewer);  // off
  h.Advance(250);
  EXPECT_EQ(Caption(), "Beta 1:2");
}

TEST_F(SyncTest, NothingArrivesOrLeavesOnceClosed) {
  h.Start(StartOptions{true, {}});
  h.host.exists = false;
  h.sync.places["BET2:5"] = Place("BET", 2, 5, "Bet");
  h.viewer.OnClosing();
  h.viewer.ReceiveSyncLocation(Place("ALP", 1, 1, "Alpha"));
  EXPECT_FALSE(h.viewer.TimerRunning(TimerId::kTimer3));
  EXPECT_FALSE(Click("BET2:5"));
  ToggleFollow(h.viewer);
  EXPECT_EQ(h.sync.joins.size(), 2u);  // the join at start and the leave at close
}

}  // namespace
}  // namespace vellum::testing
