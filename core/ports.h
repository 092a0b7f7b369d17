// The small interfaces through which the viewer's behaviour acts on its
// platform. Each front end implements them over its window system; the tests
// implement them with fakes and a virtual clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/geometry.h"
#include "core/location.h"

namespace vellum {

// Where the page in the browser stands.
// The reader's selection in a page, and the chapter/verse anchors ("CV"
// and six digits) it spans: the last before its start (or the first inside
// it where only blanks come before that one) and the last before its end;
// "" where there is none.
struct PageSelection {
  std::string text;  // UTF-8
  std::string first_anchor;
  std::string last_anchor;
};

enum class PageStatus {
  kLoading,      // not yet interactive
  kInteractive,  // ready state 3 or 4
  kFailed,       // the browser reported that the navigation failed
};

class BrowserPort {
 public:
  virtual ~BrowserPort() = default;
  // Starts loading url (a plain file path, possibly with "#TOC", or
  // "about:blank"). False when the browser refused the navigation.
  virtual bool Navigate(const std::string& url) = 0;
  // The next Navigate's page is wanted at the anchor of this name, should it
  // have one: a browser may show the page there as soon as it is parsed,
  // rather than at its top until the viewer scrolls. The viewer still
  // chooses and scrolls once the page is ready. Holds for one Navigate only.
  virtual void ExpectAnchor(const std::string& name) { static_cast<void>(name); }
  virtual PageStatus Status() = 0;
  // The names of all anchors of the page, in document order, from one call
  // into the page (an anchor without a name gives ""); nullopt on failure.
  virtual std::optional<std::vector<std::string>> AnchorNames() = 0;
  // The page's current number of anchors; nullopt on failure.
  virtual std::optional<int> AnchorCount() = 0;
  // Scrolls anchor `ordinal` into view, aligned to the top. False on failure.
  virtual bool ScrollIntoView(int ordinal) = 0;
  // Copies the selection; failures are the browser's own business.
  virtual void Copy() = 0;
  // The selection, nullopt when there is none (or no page).
  virtual std::optional<PageSelection> Selection() = 0;
  // Prints the page shown, through the platform's own dialog.
  virtual void Print() = 0;
  // Gives the page the keyboard focus.
  virtual void Focus() = 0;
  // Shows every page at this size, in percent of its own (100: as written),
  // this page and those to come.
  virtual void SetTextSize(int percent) { static_cast<void>(percent); }
  // Starts showing a page the viewer made itself (UTF-8 HTML, nothing on
  // disk); its links come to the viewer as any page's do. Ready as a
  // navigated page is. False when the browser refused.
  virtual bool ShowHtml(const std::string& html) = 0;
};

// The colours pages and the title bar are shown in: the desktop's own
// preference (each front end knows where to read it), or the reader's.
enum class Theme { kFollowSystem, kLight, kDark };

// How far following other Bible programs (BibleSync) reaches: not at all,
// the programs on this computer, or those on other computers of the local
// network too (only the ones the reader ticks there).
enum class SyncReach { kOff, kThisComputer, kOtherComputers };

// A program heard on another computer, as the menu lists it: key names it
// in the settings (its name, user and device, made fit for one line), label
// for the reader.
struct HeardProgram {
  std::string key;
  std::string label;
  bool followed = false;
};

// Which programs on other computers are followed: the ones ticked (by key),
// or every program heard.
struct SyncFollowing {
  bool every_program = false;
  std::vector<std::string> programs;
};

// The title-bar buttons whose look the behaviour sets.
enum class Button {
  kLocation,     // SpeedButton2
  kPendingJump,  // SpeedButton1
  kIndex,        // SBtnINDEX
  kBack,         // SBtnBACK
  kForward,      // SBtnFORWARD
};

class ControlsPort {
 public:
  virtual ~ControlsPort() = default;
  virtual void SetCaption(Button button, const std::string& caption) = 0;
  virtual void SetVisible(Button button, bool visible) = 0;
  virtual void SetEnabled(Button button, bool enabled) = 0;
  // The location button's font: always blue, underlined or plain.
  virtual void SetUnderline(Button button, bool underline) = 0;

  // Outer bounds of the window in screen pixels; set in one operation.
  virtual Bounds WindowBounds() = 0;
  virtual void SetWindowBounds(const Bounds& bounds) = 0;
  // Width and height of the screen in pixels.
  virtual ScreenPoint ScreenSize() = 0;
  // The monitors' rectangles in screen pixels, the primary one first; empty
  // when the system cannot tell.
  virtual std::vector<ScreenRect> Monitors() = 0;

  // Suspends and resumes drawing of the window while a page loads. Lock
  // returns whether the lock was taken.
  virtual bool LockUpdates() = 0;
  virtual void UnlockUpdates() = 0;

  // Asks the window to close; the front end answers with Viewer::OnClosing.
  virtual void CloseWindow() = 0;
  // Minimizes the application as a whole.
  virtual void MinimizeApplication() = 0;
  // Makes the window stay on top of others, or not; nothing when the window
  // already is in the requested state.
  virtual void SetStayOnTop(bool on) = 0;
  virtual void SetStayOnTopCheck(bool checked) = 0;
  // The radio mark of the Follow BibleSync submenu; a front end without the
  // menu has nothing to do.
  virtual void SetSyncReachCheck(SyncReach reach) { static_cast<void>(reach); }
  // Asks for the passphrase of the group on the local network, shown with
  // current; nullopt when the reader cancelled.
  virtual std::optional<std::string> AskSyncPassphrase(const std::string& current) {
    static_cast<void>(current);
    return std::nullopt;
  }
  // The menu's libraries, by their labels, and the one shown (-1: none).
  virtual void SetLibraries(const std::vector<std::string>& labels, int chosen) = 0;
  // The theme chosen: the front end resolves "follow system" itself, shows
  // its title bar and pages dark or light, and checks the menu's item.
  virtual void SetTheme(Theme theme) = 0;
  // Opens the popup menu with its top-left corner at a screen point.
  virtual void ShowPopupMenu(ScreenPoint at) = 0;
  // Puts text (UTF-8) on the clipboard, as the desktop's other programs
  // read it.
  virtual void SetClipboardText(const std::string& text) = 0;
  // A message to the user; returns when the user has read it.
  virtual void ShowMessage(const std::string& text) = 0;
  // A quiet word in the title bar, where the host's answer would stand (""
  // takes it away): no message box, nothing to dismiss.
  virtual void SetNotice(const std::string& text) = 0;
  // A page is taking a while: the title bar shows it loading, and the page
  // on screen no longer looks current, until false.
  virtual void SetLoading(bool loading) = 0;
  // Mouse capture for the drag handle.
  virtual void CaptureMouse() = 0;
  virtual void ReleaseMouse() = 0;
};

enum class TimerId {
  kTimer1,           // 500 ms: delay before a held button repeats
  kTimer2,           // 100 ms: repeat rate of a held button
  kTimer3,           // 250 ms: host message debounce
  kTimerAddHistory,  // 1000 ms: dwell before a location enters the history
  kTimerLinkAction,  // 10 ms: what a link of a page asked for, done outside the page's event
  kTimerHostAnswer,  // 3000 ms: a request the host has not answered by then is told of
  kTimerLoading,     // 300 ms: a page still loading by then shows that it is
};

inline constexpr int kTimerCount = 7;

constexpr int TimerIntervalMs(TimerId id) {
  switch (id) {
    case TimerId::kTimer1:
      return 500;
    case TimerId::kTimer2:
      return 100;
    case TimerId::kTimer3:
      return 250;
    case TimerId::kTimerAddHistory:
      return 1000;
    case TimerId::kTimerLinkAction:
      return 10;
    case TimerId::kTimerHostAnswer:
      return 3000;
    case TimerId::kTimerLoading:
      return 300;
  }
  return 0;
}

// Periodic timers of the window: once started, a timer ticks every interval
// until stopped. The behaviour keeps track of which timers run and only asks
// for real changes.
class TimerPort {
 public:
  virtual ~TimerPort() = default;
  virtual void Start(TimerId id, int interval_ms) = 0;
  virtual void Stop(TimerId id) = 0;
};

class HostLinkPort {
 public:
  virtual ~HostLinkPort() = default;
  // Looks up the host's main window (class "TFrmORUmain") and remembers it
  // as the host window; false (and no host window) when there is none.
  virtual bool FindHostWindow() = 0;
  // The remembered host window's outer rectangle in screen coordinates;
  // nullopt when there is no host window or it has gone.
  virtual std::optional<ScreenRect> HostWindowRect() = 0;
  // Sends code 2 with text and a zero byte to the remembered host window,
  // giving up after 100 ms; the outcome is not reported.
  virtual void SendRequest(std::string_view text) = 0;
};

// Other Bible programs that keep each other at the same place (BibleSync): a
// second source of host events beside the host window. Their navigations
// reach the viewer as Viewer::ReceiveSyncLocation.
class SyncLinkPort {
 public:
  virtual ~SyncLinkPort() = default;
  // Joins in the reach given, or leaves (kOff); passphrase empty for the
  // protocol's own. Joining may fail: nullopt when it worked, else a message
  // for the user.
  virtual std::optional<std::string> SetActive(SyncReach reach, const std::string& passphrase) = 0;
  // Which programs on other computers to follow from now on.
  virtual void SetFollowing(const SyncFollowing& following) { static_cast<void>(following); }
  // The programs heard on other computers now, for the menu.
  virtual std::vector<HeardProgram> ProgramsHeard() { return {}; }
  // Tells the other programs about a request (the text after "BCV") and
  // returns the place it names. nullopt when nothing was sent: not joined,
  // not a place they can go to, or the send failed.
  virtual std::optional<TbcvRec> SendRequest(std::string_view request) = 0;
};

enum class PumpMode {
  kPending,  // process what is pending, then return at once
  kWait,     // wait briefly for something to happen, then process it
};

class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual void ProcessMessages(PumpMode mode) = 0;
  // A monotonic clock in milliseconds, for the page wait's time limit.
  virtual std::uint64_t NowMs() = 0;
};

}  // namespace vellum
