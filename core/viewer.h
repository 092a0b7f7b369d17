// The viewer's whole behaviour: one object that owns every location slot and
// flag, takes one call per event from its front end, and acts through ports.
// The front ends only translate platform events into these calls.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/anchors.h"
#include "core/catalogue.h"
#include "core/file_system.h"
#include "core/geometry.h"
#include "core/go_to.h"
#include "core/history.h"
#include "core/location.h"
#include "core/ports.h"
#include "core/text.h"

namespace vellum {

struct ViewerPorts {
  BrowserPort& browser;
  ControlsPort& controls;
  TimerPort& timers;
  HostLinkPort& host;
  MessagePump& pump;
  const FileSystem& files;
  const TextRules& rules;
  // Other Bible programs (BibleSync); none where the front end has no link.
  SyncLinkPort* sync = nullptr;
};

// What the command line asks of a run.
struct StartOptions {
  // Follow other Bible programs for this run, whatever the settings say.
  bool follow_sync = false;
  // The library to show in this run (see FindLibraryNamed); "" for the
  // saved or default one.
  std::string library;
};

// The page wait gives up after this long and goes on as for a blank page.
inline constexpr std::uint64_t kPageWaitLimitMs = 10'000;

inline constexpr std::uint32_t kHostShowLocation = 1;
inline constexpr std::uint32_t kHostRequest = 2;
inline constexpr std::uint32_t kHostClose = 10;
inline constexpr std::uint32_t kHostMinimize = 11;

// Window messages of the right mouse button, as the mouse hook sees them.
inline constexpr unsigned kRightButtonDown = 516;
inline constexpr unsigned kRightButtonUp = 517;
// True when the hook should open the menu and swallow the message: a right
// button press or release over the window in which the browser draws.
bool HookOpensMenu(int hook_code, unsigned message, std::string_view target_class);

// The text of a link: what follows its first "$", looked for only past the
// folder the pages stand in (page_folder, a path; the URL may be a path or a
// file URL); the whole URL when it holds no "$" there.
std::string_view LinkText(std::string_view url, std::string_view page_folder);

class Viewer {
 public:
  explicit Viewer(const ViewerPorts& ports);
  Viewer(const Viewer&) = delete;
  Viewer& operator=(const Viewer&) = delete;

  // Start-up and shutdown.
  void OnStart(const StartOptions& options = {});
  // Writes the settings and closes the viewer; the answer is always true (the
  // window may close). A failed write is told to the user once, after the
  // viewer has closed.
  bool OnClosing();
  bool Closed() const { return closed_; }

  // Host link.
  void ReceiveHostMessage(std::uint32_t code, const void* data, std::size_t size);
  // A place another Bible program went to (BibleSync), mapped to a location
  // whose name is the book's short name: handled as the host's show-location
  // message, but the name stays when BookNames lacks the code. Ignored
  // unless the viewer follows them.
  void ReceiveSyncLocation(const TbcvRec& location);
  // Returns Cancel: true when the browser must not follow the URL. A link
  // asks the host, or the programs followed; where neither is there, the
  // viewer goes to its place itself.
  bool OnBeforeNavigate(std::string_view url);

  // The Go to field: a place as the reader typed it, gone to at once, with
  // or without a host. The result's problem says what could not be read.
  GoToResult OnGoToEntered(std::string_view typed);
  // The book names the field offers while the reader types, the library's
  // own, and a book name's inline completion (see PlaceReader).
  std::vector<std::string> GoToBookNames() const;
  std::optional<std::string> GoToCompletion(std::string_view typed) const;

  // Timers.
  void OnTimer(TimerId id);

  // Title-bar buttons.
  void OnPendingJumpClicked();  // pending jump
  void OnLocationClicked();     // location button
  void OnIndexClicked();
  void OnBackClicked();
  void OnForwardClicked();
  void OnBackPressed();
  void OnBackReleased();
  void OnForwardPressed();
  void OnForwardReleased();
  void OnCloseClicked();     // "X"
  void OnMinimizeClicked();  // "_"

  // Menu and menu commands.
  void OnMenuIconPressed(ScreenPoint menu_corner);
  void OnCopyChosen();
  // "Copy with reference" (Ctrl+Shift+C): the selection, then a line with
  // its place and library ("John 3:16-18, Scofield"). Outside a book page,
  // or with no anchor to tell the place, as plain copy.
  void OnCopyWithReferenceChosen();
  // "Print…" (Ctrl+P): the page shown.
  void OnPrintChosen();
  void OnAlwaysOnTopChosen();
  // The Follow BibleSync submenu: how far to follow ("Other computers
  // too…" asks for the group's passphrase first; cancelled, nothing
  // changes), and which programs on other computers.
  void OnSyncReachChosen(SyncReach reach);
  void OnProgramFollowChosen(const std::string& key, bool follow);
  void OnFollowEveryProgramChosen(bool every);
  // The programs on other computers for the submenu: those heard now, and
  // those ticked though not heard now (to be unticked all the same).
  std::vector<HeardProgram> SyncProgramsHeard() const;
  bool FollowEveryProgramChecked() const { return files_.sync.following.every_program; }
  // A word from the link for the title bar.
  void ShowSyncNotice(const std::string& text);
  void OnAboutChosen();
  // "Larger text" (+1), "Smaller text" (-1), "Normal size" (0): also the
  // keys and the wheel with Ctrl held.
  void OnTextSizeChosen(int direction);
  // The wheel turned with Ctrl held, in notches (a wheel's click is 1, away
  // from the user positive): a step for each whole notch gathered. 0 ends a
  // touchpad's gesture: what it gathered is dropped.
  void OnTextSizeWheel(double notches);
  int TextSize() const { return text_size_; }
  // The engine lost the page on screen (its page process ended): the place
  // is shown again, history untouched.
  void OnPageLost();
  // "Follow system", "Light" or "Dark" from the menu.
  void OnThemeChosen(Theme theme);
  Theme ChosenTheme() const { return theme_; }
  // One of the menu's libraries, by its place in Libraries().
  void OnLibraryChosen(std::size_t index);
  // Books were added to (or taken from) the reader's library folder: the
  // Library menu lists them at once.
  void OnLibrariesChanged();
  // Shows the library of that name (its folder's name without ".htm") in the
  // reader's library folder; false when there is none.
  bool ShowUserLibrary(const std::string& name);
  // The libraries in the reader's library folder, by name, for removing.
  std::vector<std::string> UserLibraryNames() const;
  // Removes a library from the reader's library folder (never one of the
  // program folder); another library is shown first when it is on screen.
  // nullopt when it is gone, else why not.
  std::optional<std::string> RemoveUserLibrary(const std::string& name);
  const std::vector<Library>& Libraries() const { return files_.libraries; }
  std::optional<std::size_t> ChosenLibrary() const { return files_.library; }
  void OnCloseChosen();
  void OpenMenuAt(ScreenPoint cursor);  // the mouse hook's right click

  // Docking drag by the handle; points in screen coordinates.
  void OnDragHandlePressed(ScreenPoint mouse);
  void DragStep(ScreenPoint mouse);
  void OnDragHandleReleased();
  // The mouse went elsewhere without a release: a task switch, a dialog, a
  // grab taken by another program. The drag ends; merely hovering over the
  // title bar afterwards must not move the window.
  void DragCaptureLost();

  void OnResized();

  // Read-only views for front ends and tests.
  const TbcvRec& TargetLocation() const { return target_location_; }
  const TbcvRec& ShownLocation() const { return shown_location_; }
  const TbcvRec& LoadedLocation() const { return loaded_location_; }
  const TbcvRec& PendingLocation() const { return pending_location_; }
  const TbcvRec& HistoryCandidate() const { return history_candidate_; }
  bool NavBusy() const { return nav_busy_; }
  bool PageReady() const { return page_ready_; }
  bool AwaitingHost() const { return awaiting_host_; }
  bool RenavigatePending() const { return renavigate_pending_; }
  bool FromHistory() const { return from_history_; }
  bool BackHeld() const { return back_held_; }
  bool ForwardHeld() const { return forward_held_; }
  bool Dragging() const { return dragging_; }
  bool AlwaysOnTopChecked() const { return always_on_top_; }
  bool FollowSyncChecked() const { return sync_reach_ != SyncReach::kOff; }
  SyncReach SyncReachChecked() const { return sync_reach_; }
  std::int32_t CurrentAnchor() const { return current_anchor_; }
  const AnchorTable& Anchors() const { return anchors_; }
  const History& HistoryList() const { return history_; }
  const StartupFiles& Files() const { return files_; }
  bool TimerRunning(TimerId id) const { return timer_running_[Index(id)]; }

 private:
  // A navigation asked for while a page was loading; performed when the
  // running load ends, with the history flag it was asked with.
  struct Navigation {
    enum class Kind { kLocation, kStartPage, kIndexPage, kAboutPage } kind;
    TbcvRec location;
    bool from_history;
    // The page is loaded even where the one on screen is the same book's.
    bool reload = false;
  };

  static std::size_t Index(TimerId id) { return static_cast<std::size_t>(id); }

  // Navigation.
  void GotoLocation(TbcvRec location);
  void ShowStartPage();
  void ShowIndexPage();
  void ShowAboutPage();
  void Navigate(const Navigation& navigation);
  void PerformNavigation(const Navigation& navigation);
  void LoadBookPage(const TbcvRec& location, const std::string& file_name,
                    const std::string& expected_anchor);
  // Our own page for a book the library lacks; false without a library.
  bool ShowMissingBook(const TbcvRec& location);
  void DoGotoLocation(TbcvRec location, bool reload = false);
  void DoShowStartPage();
  void DoShowIndexPage();
  void DoShowAboutPage();
  enum class PageWait { kReady, kFailed, kGaveUp };
  PageWait WaitForPage();
  PageWait WaitForStatus();
  void ScrollTo(std::int32_t ordinal);
  void SetLocationButtonPlain(const std::string& caption);

  // History.
  void AddHistory(const TbcvRec& location);
  void InsertHistoryItem(const TbcvRec& location);
  void UpdateNavButtons();
  void GotoHistoryItem(int index);
  void HistoryStep(int direction);
  // Holding Back or Forward: the press starts the repeat delay, the release
  // ends the hold and its timers.
  void PressHold(bool& held, bool enabled);
  void ReleaseHold(bool& held);

  // Host link.
  void HandleHostCommand();
  // True when the host or the programs followed took the request.
  bool SendToHost(std::string_view text);
  // Where nobody takes a link's request, its place is shown as the host's
  // answer would have been had it come at once.
  void GoAlone(std::string_view request);
  // The quiet word that the host has not answered, on or off.
  void ShowNoAnswer(bool on);
  // The reader went elsewhere: an answer still owed is no longer waited for.
  void ForgetAnswer();
  // A location's caption: its name as the book list gives it, to its fifth
  // character (the record holds five bytes, which cut a UTF-8 name short).
  std::string CaptionOf(const TbcvRec& location) const;
  // The display name from BookNames; a location's own name stays when the
  // list has none and keep_own_name is set.
  void NameFromBookList(TbcvRec& location, bool keep_own_name) const;
  void OfferPendingJump(const TbcvRec& location);
  void SetSyncReach(SyncReach reach);
  // What to save of the submenu's choices.
  SyncChoices SyncChosen() const;

  // Libraries.
  // Finds the libraries again (one may have been added or removed since)
  // and gives the menu their names.
  void RefreshLibraries();
  void ShowAgainInLibrary();

  // Makes libraries[index] the one shown, its names and Index caption too;
  // the page on screen is left to the caller.
  void UseLibraryAt(std::size_t index);

  // The last place: opened again at a start without a host, saved at close.
  void ResumeLastPlace(const StartOptions& options);
  std::optional<std::string> PlaceToSave() const;
  // A book's full name: the library's own, its short one, the English one,
  // else its code.
  std::string BookTitle(std::string_view code) const;

  // Shell.
  void LoadSettings(const StartOptions& options);
  void SetAlwaysOnTop(bool on);
  void CloseWindow();
  void MinimizeApplication();

  // Timers: only real changes reach the port.
  void StartTimer(TimerId id);
  void StopTimer(TimerId id);
  void RestartTimer(TimerId id);

  ViewerPorts ports_;

  // Catalogue lists and settings, from LoadSettings until the window closes.
  StartupFiles files_;
  bool closed_ = false;

  // Location slots.
  TbcvRec target_location_ = EmptyLocation();
  TbcvRec shown_location_ = EmptyLocation();
  TbcvRec loaded_location_ = EmptyLocation();
  TbcvRec pending_location_ = EmptyLocation();
  TbcvRec history_candidate_ = EmptyLocation();

  // Navigation state.
  AnchorTable anchors_;
  std::int32_t current_anchor_ = -1;
  bool nav_busy_ = false;
  bool page_ready_ = false;
  int loading_depth_ = 0;  // > 0 while a page load runs
  // The book page's wait gave up before the page was ready: its anchors are
  // read when a location in it is next shown and the page is ready by then.
  bool anchors_pending_ = false;
  std::optional<Navigation> deferred_;
  // The last navigation performed: what is on screen.
  Navigation::Kind shown_kind_ = Navigation::Kind::kStartPage;
  bool showing_missing_book_ = false;  // our own page is on screen

  // History state.
  History history_;
  bool from_history_ = false;
  bool back_held_ = false;
  bool forward_held_ = false;
  bool back_enabled_ = false;
  bool forward_enabled_ = false;
  bool step_running_ = false;

  // Host link state.
  std::uint32_t host_message_code_ = 0;
  TbcvRec host_message_location_ = EmptyLocation();
  bool awaiting_host_ = false;
  bool renavigate_pending_ = false;
  bool host_navigating_ = false;         // the running navigation shows the host's location
  bool host_message_from_sync_ = false;  // the stored message came from BibleSync
  SyncReach sync_reach_ = SyncReach::kOff;
  bool sync_chosen_ = false;  // the user chose in the submenu: its state is saved
  SyncSettings sync_loaded_;  // as the settings file had it

  // Shell state.
  Bounds placed_bounds_;
  bool always_on_top_ = false;
  int text_size_ = 100;            // percent
  bool text_size_chosen_ = false;  // the user chose a size: it is saved
  double wheel_notches_ = 0;       // turned towards the next step
  bool library_chosen_ = false;    // the user chose a library: it is saved
  Theme theme_ = Theme::kFollowSystem;
  bool theme_chosen_ = false;                  // the user chose a theme: it is saved
  std::optional<std::size_t> library_wanted_;  // chosen on our own page
  std::optional<TbcvRec> place_wanted_;        // a link's place, where nobody takes it
  bool notice_shown_ = false;                  // the host's silence is told in the title bar
  bool answer_owed_ = false;    // a request went to the host, which has not spoken since
  bool loading_shown_ = false;  // the title bar shows a page loading
  bool place_moved_ = false;    // a place other than the start page was shown
  bool dragging_ = false;
  ScreenPoint drag_start_point_;
  ScreenPoint drag_start_window_;
  ScreenPoint last_drag_point_;

  std::array<bool, kTimerCount> timer_running_{};
};

}  // namespace vellum
