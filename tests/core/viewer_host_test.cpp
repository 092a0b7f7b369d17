// Scenarios of the host conversation: debounced messages, link requests, the
// pending jump and the location button.
#include <gtest/gtest.h>

#include <functional>

#include <memory>

#include "tests/core/viewer_harness.h"

namespace vellum::testing {
namespace {

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { h.Start(); }
  std::string Shown() { return LocationCaption(h.viewer.ShownLocation()); }
  // A link click that the host answers with a location while it is sent.
  void LinkAnsweredWith(const TbcvRec& answer) {
    h.host.answer = [this, answer](const std::string&) { h.HostShows(answer); };
    EXPECT_TRUE(h.viewer.OnBeforeNavigate("C:\\p\\alpha.htm$BCVGAM2:5"));
    h.host.answer = nullptr;
    h.Advance(250);
  }

  Harness h;
};

TEST_F(HostTest, ABurstIsActedOnOnceItsLastMessageHasRested) {
  const int loads = h.Loads();
  h.HostShows(Loc("ALP", 1, 1));
  h.Advance(100);
  h.HostShows(Loc("BET", 1, 1));
  h.Advance(100);
  h.HostShows(Loc("GAM", 2, 2));
  h.Advance(249);
  EXPECT_EQ(h.Loads(), loads);
  h.Advance(1);
  EXPECT_EQ(h.Loads(), loads + 1);
  EXPECT_EQ(Shown(), "Gamma 2:2");
  EXPECT_EQ(h.browser.navigations.back(), h.Path("gamma.htm"));
}

TEST_F(HostTest, CloseFollowedByALocationWithinTheQuietTimeDoesNotClose) {
  h.HostSends(kHostClose, Loc("", 0, 0));
  h.Advance(200);
  h.HostShows(Loc("ALP", 1, 1));
  h.Advance(250);
  EXPECT_EQ(h.controls.close_requests, 0);
  EXPECT_EQ(Shown(), "Alpha 1:1");
}

TEST_F(HostTest, CloseAndMinimize) {
  h.HostSends(kHostMinimize, Loc("", 0, 0));
  h.Advance(250);
  EXPECT_EQ(h.controls.minimizes, 1);
  h.HostSends(kHostClose, Loc("", 0, 0));
  h.Advance(250);
  EXPECT_TRUE(h.controls.window_closed);
  EXPECT_TRUE(h.fs.files.count("C:\\Program\\Vellum.ini"));
}

TEST_F(HostTest, OtherCodesDoNothing) {
  const int loads = h.Loads();
  for (std::uint32_t code : {0u, 2u, 12u, 0xFFFFFFFFu}) {
    h.HostSends(code, Loc("ALP", 1, 1));
    h.Advance(300);
  }
  EXPECT_EQ(h.Loads(), loads);
  EXPECT_EQ(h.controls.close_requests + h.controls.minimizes, 0);
  EXPECT_FALSE(h.viewer.TimerRunning(TimerId::kTimer3));
}

TEST_F(HostTest, HostLocationsTakeTheirNameFromTheBookList) {
  h.ShowNow(Loc("ALP", 200, -7, "Wrong"));
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "Alpha 200:-7");  // Alphabet cut to five
  h.ShowNow(Loc("alp", 1, 1));  // names are looked up ignoring case
  EXPECT_EQ(Name(h.viewer.TargetLocation()), "Alpha");
  h.ShowNow(Loc("ZZZ", 1, 1, "Named"));
  EXPECT_EQ(Name(h.viewer.TargetLocation()), "");
}

TEST_F(HostTest, ShortAndMissingPayloadsReadAsZeros) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    bool null;
  } cases[] = {
      {{}, true},
      {{}, false},
      {{0, 0, 0, 0, 0, 0, 3, 'B', 'E', 'T', 0, 2}, false},  // verse and the rest missing
      {{9, 'x', 'x', 'x', 'x', 'x', 200, 'G', 'A', 'M', 0, 1, 2, 0, 0, 0}, false},
  };
  for (const Case& c : cases) {
    // Exactly the bytes given, so the sanitizer build sees any read past them.
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[c.bytes.size() + 1]);
    std::copy(c.bytes.begin(), c.bytes.end(), buffer.get());
    h.viewer.ReceiveHostMessage(kHostShowLocation, c.null ? nullptr : buffer.get(), c.bytes.size());
    h.Advance(250);
  }
  EXPECT_EQ(Shown(), "Gamma 1:2");  // length 200 clamped to 3
  EXPECT_FALSE(h.viewer.NavBusy());
}

TEST(LinkText, ADollarInThePagesFolderIsNotALinks) {
  const struct {
    const char* url;
    const char* folder;
    const char* link;
  } cases[] = {
      // An administrative share and a folder named with "$", as paths and URLs.
      {"\\\\server\\c$\\Vellum\\web.htm\\alpha.htm$BCVBET2:5", "\\\\server\\c$\\Vellum\\web.htm\\",
       "BCVBET2:5"},
      {"file://server/c$/Vellum/web.htm/alpha.htm$BCVBET2:5", "\\\\server\\c$\\Vellum\\web.htm\\",
       "BCVBET2:5"},
      {"file:///C:/Books$/web.htm/alpha.htm$BCVBET2:5", "C:\\Books$\\web.htm\\", "BCVBET2:5"},
      {"file:///C:/BOOKS%24/Web.htm/extra/epsilon.htm$BCVALP1:1", "C:\\Books$\\web.htm\\",
       "BCVALP1:1"},
      {"file:///home/a$b/web.htm/alpha.htm$BCVBET2:5", "/home/a$b/web.htm/", "BCVBET2:5"},
      // Links keep their own rule: only the text after their first "$" counts.
      {"file:///home/a$b/web.htm/alpha.htm$BCVBET2:5$BCVGAM1:1", "/home/a$b/web.htm/",
       "BCVBET2:5$BCVGAM1:1"},
      // No "$" past the folder: the whole URL, which is no link.
      {"file:///home/a$b/web.htm/alpha.htm", "/home/a$b/web.htm/",
       "file:///home/a$b/web.htm/alpha.htm"},
      // A folder named inside the link's own text is the link's.
      {"file:///C:/Program/web.htm/alpha.htm$BCVALP1:1 C:/Program/web.htm/",
       "C:\\Program\\web.htm\\", "BCVALP1:1 C:/Program/web.htm/"},
      {"$BCVALP1:1 C:/Program/web.htm/", "C:\\Program\\web.htm\\", "BCVALP1:1 C:/Program/web.htm/"},
      // A URL outside the folder keeps the plain rule.
      {"x$BCVALP1:1", "/home/a$b/web.htm/", "BCVALP1:1"},
      {"C:\\p\\alpha.htm$BCVGAM2:5", "", "BCVGAM2:5"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LinkText(c.url, c.folder), c.link) << c.url;
}

TEST_F(HostTest, LinkTexts) {
  h.ShowNow(Loc("ALP", 1, 1));
  struct Case {
    std::string url;
    bool cancel;
    std::optional<std::string> request;
  } cases[] = {
      {"C:\\p\\alpha.htm$BCVBET2:5", true, "BET2:5"},
      {"file:///p/alpha.htm$BCVBET2:5", true, "BET2:5"},
      {"alpha.htm$BCVBET2:5$BCVGAM1:1", true, "BET2:5$BCVGAM1:1"},
      {"alpha.htm$BCV", true, std::nullopt},
      {"alpha.htm$BC", false, std::nullopt},
      {"alpha.htm$", false, std::nullopt},
      {"alpha.htm$bcvBET2:5", false, std::nullopt},
      {"BCVBET1:1", true, "BET1:1"},
      {"http://example.invalid/a", false, std::nullopt},
      {"alpha.htm$BCVBET%202:5", true, "BET%202:5"},  // sent as reported, not decoded
  };
  for (const Case& c : cases) {
    const std::size_t sent = h.host.requests.size();
    EXPECT_EQ(h.viewer.OnBeforeNavigate(c.url), c.cancel) << c.url;
    if (c.request) {
      ASSERT_EQ(h.host.requests.size(), sent + 1) << c.url;
      EXPECT_EQ(h.host.requests.back(), *c.request) << c.url;
    } else {
      EXPECT_EQ(h.host.requests.size(), sent) << c.url;
    }
  }
  EXPECT_TRUE(h.viewer.AwaitingHost());
}

TEST_F(HostTest, LinksAreFollowedBeforeAPageIsReady) {
  Harness fresh;
  EXPECT_FALSE(fresh.viewer.OnBeforeNavigate("alpha.htm$BCVBET2:5"));
  EXPECT_TRUE(fresh.host.requests.empty());
  // While a book page loads, its own navigation passes unexamined.
  h.browser.pages[h.Path("beta.htm")].load_pumps = 10;
  bool during_load = true;
  h.AtPump(3, [&] { during_load = h.viewer.OnBeforeNavigate("x$BCVALP1:1"); });
  h.ShowNow(Loc("BET", 1, 1));
  EXPECT_FALSE(during_load);
}

TEST_F(HostTest, PendingJumpLifecycle) {
  h.ShowNow(Loc("ALP", 1, 1));
  LinkAnsweredWith(Loc("GAM", 2, -3));
  EXPECT_TRUE(h.viewer.AwaitingHost());
  EXPECT_TRUE(h.controls.Visible(Button::kPendingJump));
  EXPECT_EQ(h.controls.Caption(Button::kPendingJump), "Gamma 2:-3");
  EXPECT_EQ(Shown(), "Alpha 1:1") << "the viewer stays on the link's page";

  h.ShowNow(Loc("BET", 1, 4));  // further host locations only change the button
  EXPECT_EQ(h.controls.Caption(Button::kPendingJump), "Beta 1:4");
  EXPECT_TRUE(h.OnPage("alpha.htm"));

  h.viewer.OnPendingJumpClicked();
  EXPECT_EQ(Shown(), "Beta 1:4");
  EXPECT_FALSE(h.controls.Visible(Button::kPendingJump));
  EXPECT_FALSE(h.viewer.AwaitingHost());
  EXPECT_EQ(h.browser.focus_calls, 1);
  h.ShowNow(Loc("GAM", 1, 1));
  EXPECT_EQ(Shown(), "Gamma 1:1") << "host locations move the viewer again";
}

TEST_F(HostTest, ThePendingJumpEndsWithTheIndexOrAboutPage) {
  for (auto show : {&Viewer::OnIndexClicked, &Viewer::OnAboutChosen}) {
    LinkAnsweredWith(Loc("GAM", 2, 2));
    ASSERT_TRUE(h.controls.Visible(Button::kPendingJump));
    (h.viewer.*show)();
    EXPECT_FALSE(h.controls.Visible(Button::kPendingJump));
    EXPECT_FALSE(h.viewer.AwaitingHost());
  }
}

TEST_F(HostTest, LocationButtonOnABookPage) {
  h.ShowNow(Loc("BET", 2, -4));
  LinkAnsweredWith(Loc("GAM", 2, 2));
  const std::size_t scrolls = h.browser.scrolls.size();
  h.viewer.OnLocationClicked();
  EXPECT_EQ(h.host.requests.back(), "BET2:-4");
  EXPECT_FALSE(h.viewer.AwaitingHost()) << "the answer moves the viewer directly";
  EXPECT_FALSE(h.controls.Visible(Button::kPendingJump));
  EXPECT_EQ(h.browser.scrolls.size(), scrolls);  // shown again: already in view

  h.ShowNow(Loc("BET", 0, 3));
  const std::size_t sent = h.host.requests.size();
  h.viewer.OnLocationClicked();
  EXPECT_EQ(h.host.requests.size(), sent) << "chapter 0 asks nothing";
  EXPECT_EQ(Shown(), "Beta 0:3");
}

TEST_F(HostTest, LocationButtonOnTheIndexOrAboutPage) {
  h.viewer.OnIndexClicked();
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "About");
  h.viewer.OnLocationClicked();
  EXPECT_EQ(h.browser.navigations.back(), h.AboutPath());
  h.viewer.OnLocationClicked();
  EXPECT_EQ(h.HistoryTexts(), (std::vector<std::string>{"About 0:0", "Index"}));
  EXPECT_TRUE(h.host.requests.empty());
}

TEST_F(HostTest, AHostLocationDuringAnotherNavigationIsShownWhenItEnds) {
  // Whatever the user started is loading when the host's place arrives: the
  // host's place follows as soon as that load ends, the newest one winning.
  const struct {
    const char* what;
    std::function<void()> start;
  } cases[] = {
      {"a Back step", [&] { h.viewer.OnBackClicked(); }},
      {"the Index page", [&] { h.viewer.OnIndexClicked(); }},
      {"the About page", [&] { h.viewer.OnAboutChosen(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    h.Dwell(Loc("ALP", 1, 1));
    h.Dwell(Loc("BET", 1, 1));
    for (const std::string& page : {h.Path("alpha.htm"), h.Path("index.htm"), h.AboutPath()})
      h.browser.pages[page].load_pumps = 40;
    h.AtPump(2, [&] { h.HostShows(Loc("GAM", 1, 1)); });
    h.AtPump(4, [&] { h.HostShows(Loc("GAM", 1, 2)); });
    c.start();
    h.Advance(1500);
    EXPECT_EQ(Shown(), "Gamma 1:2");
    EXPECT_FALSE(h.viewer.RenavigatePending());
    EXPECT_FALSE(h.viewer.NavBusy());
    for (const std::string& page : {h.Path("alpha.htm"), h.Path("index.htm"), h.AboutPath()})
      h.browser.pages[page].load_pumps = 3;
  }
}

TEST_F(HostTest, AHostLocationDuringAHostNavigationIsShownAfterIt) {
  h.browser.pages[h.Path("alpha.htm")].load_pumps = 40;
  h.AtPump(2, [&] { h.HostShows(Loc("BET", 1, 3)); });
  h.ShowNow(Loc("ALP", 1, 1));
  EXPECT_EQ(Shown(), "Beta 1:3");
  EXPECT_FALSE(h.viewer.RenavigatePending());
  EXPECT_FALSE(h.viewer.NavBusy());
}

TEST_F(HostTest, AHostThatAnswersAtOnceFindsTheRequestOutstanding) {
  h.ShowNow(Loc("ALP", 1, 1));
  h.host.answer = [&](const std::string&) {
    EXPECT_TRUE(h.viewer.AwaitingHost());
    h.HostShows(Loc("BET", 2, 2));
  };
  h.viewer.OnBeforeNavigate("a$BCVBET2:2");
  h.Advance(250);
  EXPECT_EQ(h.controls.Caption(Button::kPendingJump), "Beta 2:2");
}

}  // namespace
}  // namespace vellum::testing
