// Fake ports and a virtual clock for playing out the viewer's behaviour.
//
// Pages load over a scripted number of message-pump runs; each waiting pump
// run moves the clock by kPumpStepMs and fires the timers that fall due, and
// events queued by a test are delivered at the pump run they are meant for,
// so every nesting (a timer tick or a host message during a page load) is
// played out deterministically.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/viewer.h"
#include "tests/core/fake_file_system.h"

namespace vellum::testing {

inline constexpr std::uint64_t kPumpStepMs = 10;

class Harness;

struct FakePage {
  std::vector<std::string> anchors;
  int load_pumps = 3;  // waiting pump runs until the page is interactive
  bool fails = false;  // the browser reports a failed navigation
  bool hangs = false;  // never becomes interactive
};

class FakeBrowser final : public BrowserPort {
 public:
  explicit FakeBrowser(Harness& harness) : harness_(harness) {}

  bool Navigate(const std::string& url) override;
  void ExpectAnchor(const std::string& name) override { expected_anchor_ = name; }
  PageStatus Status() override;
  std::optional<std::vector<std::string>> AnchorNames() override;
  std::optional<int> AnchorCount() override;
  bool ScrollIntoView(int ordinal) override;
  void Copy() override { ++copies; }
  std::optional<PageSelection> Selection() override { return selection; }
  void Print() override { ++prints; }
  void Focus() override { ++focus_calls; }
  void SetTextSize(int percent) override { text_sizes.push_back(percent); }
  // Recorded as the navigation "(own page)", its text in own_pages.
  bool ShowHtml(const std::string& html) override;
  void OnPump();
  // The page on screen becomes ready now, as a slow page does in the
  // background after the viewer stopped waiting for it.
  void BecomeReady() { status_ = PageStatus::kInteractive; }

  std::map<std::string, FakePage> pages;  // by path without fragment
  std::vector<std::string> navigations;   // every URL that was loaded
  std::vector<std::string> expected;      // the anchor each was expected at ("" for none)
  std::vector<std::string> cancelled;     // URLs the viewer cancelled
  std::vector<std::string> own_pages;     // the pages the viewer made, in order
  std::string current_url = "about:blank";
  struct Scroll {
    std::string url;
    int ordinal;
  };
  std::vector<Scroll> scrolls;
  int anchor_reads = 0;
  int copies = 0;
  int prints = 0;
  std::optional<PageSelection> selection;
  int focus_calls = 0;
  std::vector<int> text_sizes;  // every size the viewer set, in order
  bool refuse_navigation = false;
  bool fail_anchor_reads = false;
  bool throw_on_anchor_read = false;

 private:
  const FakePage& Current() const;
  Harness& harness_;
  int pumps_left_ = 0;
  PageStatus status_ = PageStatus::kInteractive;
  std::string expected_anchor_;
};

class FakeControls final : public ControlsPort {
 public:
  explicit FakeControls(Harness& harness) : harness_(harness) {}

  void SetCaption(Button b, const std::string& caption) override { captions[b] = caption; }
  void SetVisible(Button b, bool on) override { visible[b] = on; }
  void SetEnabled(Button b, bool on) override { enabled[b] = on; }
  void SetUnderline(Button b, bool underline) override { underlined[b] = underline; }
  void SetClipboardText(const std::string& text) override { clipboard.push_back(text); }
  Bounds WindowBounds() override { return bounds; }
  void SetWindowBounds(const Bounds& b) override {
    bounds = b;
    ++bounds_changes;
  }
  ScreenPoint ScreenSize() override { return screen; }
  std::vector<ScreenRect> Monitors() override {
    return monitors ? *monitors : std::vector<ScreenRect>{{0, 0, screen.x, screen.y}};
  }
  bool LockUpdates() override {
    ++locks;
    return lock_succeeds;
  }
  void UnlockUpdates() override { ++unlocks; }
  void CloseWindow() override;
  void MinimizeApplication() override { ++minimizes; }
  void SetStayOnTop(bool on) override { stay_on_top = on; }
  void SetStayOnTopCheck(bool checked) override { stay_on_top_check = checked; }
  void SetSyncReachCheck(SyncReach reach) override {
    sync_reach_check = reach;
    follow_sync_check = reach != SyncReach::kOff;
  }
  std::optional<std::string> AskSyncPassphrase(const std::string& current) override {
    passphrase_asked.push_back(current);
    return passphrase_answer;
  }
  void SetTheme(Theme t) override { themes.push_back(t); }
  void SetLibraries(const std::vector<std::string>& labels, int chosen) override {
    library_labels = labels;
    chosen_library = chosen;
  }
  void ShowPopupMenu(ScreenPoint at) override { menus.push_back(at); }
  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    // A message box runs its own message loop: events can arrive while it is up.
    if (on_message) on_message();
  }
  void CaptureMouse() override { captured = true; }
  void ReleaseMouse() override { captured = false; }
  void SetNotice(const std::string& text) override { notices.push_back(text); }
  void SetLoading(bool on) override { loading.push_back(on); }
  std::string Notice() const { return notices.empty() ? "" : notices.back(); }

  std::string Caption(Button b) const { return captions.count(b) ? captions.at(b) : "....."; }
  bool Visible(Button b) const {
    return visible.count(b) ? visible.at(b) : b != Button::kPendingJump;
  }
  bool Enabled(Button b) const {
    return enabled.count(b) ? enabled.at(b) : b != Button::kBack && b != Button::kForward;
  }
  bool Underlined() const {
    return underlined.count(Button::kLocation) && underlined.at(Button::kLocation);
  }

  std::map<Button, std::string> captions;
  std::map<Button, bool> visible;
  std::map<Button, bool> enabled;
  std::map<Button, bool> underlined;
  std::vector<std::string> clipboard;  // every text put there, in order
  Bounds bounds{0, 0, 469, 365};
  ScreenPoint screen{1024, 768};
  std::optional<std::vector<ScreenRect>> monitors;  // default: the screen alone
  int bounds_changes = 0;
  int locks = 0;
  int unlocks = 0;
  bool lock_succeeds = true;
  int close_requests = 0;
  bool window_closed = false;
  int minimizes = 0;
  bool stay_on_top = false;
  bool stay_on_top_check = false;
  bool follow_sync_check = false;
  SyncReach sync_reach_check = SyncReach::kOff;
  std::vector<std::string> passphrase_asked;
  std::optional<std::string> passphrase_answer;
  std::vector<std::string> library_labels;
  int chosen_library = -2;    // -2: never set
  std::vector<Theme> themes;  // every theme set, in order
  std::vector<ScreenPoint> menus;
  std::vector<std::string> messages;
  std::function<void()> on_message;
  bool captured = false;
  std::vector<std::string> notices;  // every notice set, in order ("": taken away)
  std::vector<bool> loading;         // every loading state set, in order

 private:
  Harness& harness_;
};

class FakeTimers final : public TimerPort {
 public:
  void Start(TimerId id, int interval_ms) override;
  void Stop(TimerId id) override { due_.erase(id); }
  bool Running(TimerId id) const { return due_.count(id) != 0; }
  // The earliest timer due at or before `until`, if any.
  std::optional<TimerId> NextDue(std::uint64_t until) const;
  void Fired(TimerId id);

  std::uint64_t now = 0;
  std::vector<std::pair<std::uint64_t, TimerId>> ticks;  // every tick delivered

 private:
  struct Due {
    std::uint64_t at;
    int interval;
  };
  std::map<TimerId, Due> due_;
};

class FakeHost final : public HostLinkPort {
 public:
  bool FindHostWindow() override {
    ++lookups;
    found = exists;
    return found;
  }
  std::optional<ScreenRect> HostWindowRect() override {
    if (!found || !exists) return std::nullopt;
    return rect;
  }
  void SendRequest(std::string_view text) override {
    requests.emplace_back(text);
    if (answer) answer(std::string(text));
  }

  bool exists = true;
  bool found = false;
  ScreenRect rect{100, 100, 900, 700};
  int lookups = 0;
  std::vector<std::string> requests;
  std::function<void(const std::string&)> answer;  // runs while the request is sent
};

// Other Bible programs: joining can be made to fail, and a request names a
// place only when the test lists it in `places`.
class FakeSync final : public SyncLinkPort {
 public:
  std::optional<std::string> SetActive(SyncReach reach, const std::string& passphrase) override {
    const bool on = reach != SyncReach::kOff;
    joins.push_back({on, passphrase, reach});
    if (on && join_error) return join_error;
    active = on;
    return std::nullopt;
  }
  void SetFollowing(const SyncFollowing& f) override { following = f; }
  std::vector<HeardProgram> ProgramsHeard() override { return heard; }
  std::optional<TbcvRec> SendRequest(std::string_view request) override {
    if (!active) return std::nullopt;
    requests.emplace_back(request);
    const auto place = places.find(std::string(request));
    if (place == places.end()) return std::nullopt;
    return place->second;
  }

  struct Join {
    bool on;
    std::string passphrase;
    SyncReach reach;
  };
  SyncFollowing following;
  std::vector<HeardProgram> heard;
  std::vector<Join> joins;
  std::optional<std::string> join_error;
  bool active = false;
  std::map<std::string, TbcvRec> places;  // request text -> the place it names
  std::vector<std::string> requests;      // sent while active
};

class FakePump final : public MessagePump {
 public:
  explicit FakePump(Harness& harness) : harness_(harness) {}
  void ProcessMessages(PumpMode mode) override;
  std::uint64_t NowMs() override;

  int runs = 0;
  int waits = 0;

 private:
  Harness& harness_;
};

// "top", then CV001001 ... for `chapters` chapters of `verses` verses.
std::vector<std::string> VerseAnchors(int chapters, int verses);

// A book location as the host would send it.
TbcvRec Loc(std::string_view code, int chapter, int verse, std::string_view name = "");

class Harness {
 public:
  // A program folder with a catalogue of three books and an index page.
  Harness();

  void Start(const StartOptions& options = {});  // OnStart
  // Moves the clock, firing the timers that fall due, in order.
  void Advance(std::uint64_t ms);
  // Runs fn at the n-th pump run from now (1 = the next one).
  void AtPump(int n, std::function<void()> fn);
  void HostSends(std::uint32_t code, const TbcvRec& location);
  void HostShows(const TbcvRec& location) { HostSends(kHostShowLocation, location); }
  // The host sends a location and the debounce lets it through.
  void ShowNow(const TbcvRec& location);
  // Shows a book location and lets it dwell into the history.
  void Dwell(const TbcvRec& location);
  void FireDueTimers(std::uint64_t until);
  void DeliverQueued();

  std::string Path(std::string_view file) const {
    return "C:\\Program\\web.htm\\" + std::string(file);
  }
  std::string AboutPath() const { return "C:\\Program\\about\\about.htm"; }
  int Loads() const { return static_cast<int>(browser.navigations.size()); }
  std::vector<std::string> HistoryTexts() const;
  bool OnPage(std::string_view file) const { return browser.current_url == Path(file); }

  FakeFileSystem fs;
  AsciiTextRules rules;
  FakeBrowser browser{*this};
  FakeControls controls{*this};
  FakeTimers timers;
  FakeHost host;
  FakePump pump{*this};
  FakeSync sync;
  Viewer viewer{ViewerPorts{browser, controls, timers, host, pump, fs, rules, &sync}};

 private:
  struct Queued {
    int at_run;
    std::function<void()> fn;
  };
  std::deque<Queued> queued_;
};

}  // namespace vellum::testing
