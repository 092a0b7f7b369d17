// Start-up and shutdown, timers, the menu commands and the docking drag.
#include "core/viewer.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace vellum {

bool HookOpensMenu(int hook_code, unsigned message, std::string_view target_class) {
  // Only HC_ACTION (0): the message is being taken from the queue. A peek
  // that leaves it there (HC_NOREMOVE) comes again when it is taken.
  return hook_code == 0 && (message == kRightButtonDown || message == kRightButtonUp) &&
         target_class == "Internet Explorer_Server";
}

Viewer::Viewer(const ViewerPorts& ports) : ports_(ports) {}

void Viewer::OnStart(const StartOptions& options) {
  LoadSettings(options);
  if (closed_) return;
  ports_.controls.SetWindowBounds(placed_bounds_);
  if (ports_.sync != nullptr) ports_.sync->SetFollowing(files_.sync.following);
  if (files_.sync.follow || options.follow_sync)
    SetSyncReach(files_.sync.follow && files_.sync.other_computers ? SyncReach::kOtherComputers
                                                                   : SyncReach::kThisComputer);
  ResumeLastPlace(options);
}

void Viewer::LoadSettings(const StartOptions& options) {
  files_ = ReadStartupFiles(ports_.files, ports_.rules, options.library);
  sync_loaded_ = files_.sync;
  for (const std::string& message : files_.messages)
    ports_.controls.ShowMessage(message);

  const WindowSettings& saved = files_.settings;
  const ScreenPoint screen = ports_.controls.ScreenSize();
  placed_bounds_ =
      PlaceWindow({saved.left, saved.top, saved.width, saved.height}, screen.x, screen.y);
  // A window saved on a monitor that is gone has no caption bar to fetch it by.
  placed_bounds_ = KeepTitleBarReachable(placed_bounds_, ports_.controls.Monitors());
  always_on_top_ = saved.always_on_top;
  ports_.controls.SetStayOnTopCheck(always_on_top_);
  // Shows the start page while the catalogue is still in file order.
  SetAlwaysOnTop(always_on_top_);

  ports_.controls.SetCaption(Button::kIndex, IndexButtonCaption(files_.short_name));
  RefreshLibraries();
  theme_ = files_.reader.theme;
  ports_.controls.SetTheme(theme_);
  text_size_ = files_.reader.text_size;
  ports_.browser.SetTextSize(text_size_);
  files_.book_files.Sort();
  page_ready_ = false;
  nav_busy_ = false;
  renavigate_pending_ = false;
  current_anchor_ = -1;
  ShowStartPage();
}

bool Viewer::OnClosing() {
  if (closed_) return true;
  const Bounds bounds = ports_.controls.WindowBounds();
  const WindowSettings settings{bounds.left, bounds.top, bounds.width, bounds.height,
                                always_on_top_};
  // Following other programs is saved only when the user chose it: the
  // command line's choice holds for its run alone.
  UserChoices choices;
  if (sync_chosen_) choices.sync = SyncChosen();
  if (text_size_chosen_) choices.text_size = text_size_;
  if (library_chosen_ && files_.library) choices.library = files_.libraries[*files_.library];
  if (theme_chosen_) choices.theme = theme_;
  choices.place = PlaceToSave();
  if (choices.place && files_.library) choices.place_library = files_.libraries[*files_.library];
  const std::optional<std::string> error =
      WriteSettings(ports_.files, files_.exe_folder, settings, ports_.rules, choices);
  if (sync_reach_ != SyncReach::kOff) ports_.sync->SetActive(SyncReach::kOff, {});
  // The window closes whether or not its settings could be written: a window
  // that cannot be closed is far worse than one that forgets where it was.
  // From here on no event reaches the lists: every entry point checks closed_.
  closed_ = true;
  deferred_.reset();
  for (int i = 0; i < kTimerCount; ++i)
    StopTimer(static_cast<TimerId>(i));
  files_.book_files = BookList();
  files_.book_names = BookList();
  // Told only now, when the viewer is already closed: whatever arrives while
  // the message is up (a timer, the host, another close) finds it closed, so
  // the message is shown once.
  if (error) ports_.controls.ShowMessage(*error);
  return true;
}

void Viewer::StartTimer(TimerId id) {
  if (timer_running_[Index(id)]) return;  // starting a running timer keeps its count
  timer_running_[Index(id)] = true;
  ports_.timers.Start(id, TimerIntervalMs(id));
}

void Viewer::StopTimer(TimerId id) {
  if (!timer_running_[Index(id)]) return;
  timer_running_[Index(id)] = false;
  ports_.timers.Stop(id);
}

void Viewer::RestartTimer(TimerId id) {
  StopTimer(id);
  StartTimer(id);
}

void Viewer::OnTimer(TimerId id) {
  // A tick that was already on its way when its timer stopped is dropped.
  if (closed_ || !timer_running_[Index(id)]) return;
  switch (id) {
    case TimerId::kTimer1:
      StartTimer(TimerId::kTimer2);
      break;
    case TimerId::kTimer2:
      // A repeat that falls while the previous step still loads its page is
      // dropped; the next tick after the load steps on.
      if (step_running_) return;
      if (back_held_) OnBackClicked();
      if (forward_held_) OnForwardClicked();
      break;
    case TimerId::kTimer3:
      StopTimer(TimerId::kTimer3);
      if (host_message_code_ != 0) HandleHostCommand();
      break;
    case TimerId::kTimerAddHistory:
      StopTimer(TimerId::kTimerAddHistory);
      AddHistory(history_candidate_);
      break;
    case TimerId::kTimerLinkAction:
      StopTimer(TimerId::kTimerLinkAction);
      if (const auto wanted = std::exchange(library_wanted_, std::nullopt))
        OnLibraryChosen(*wanted);
      if (const auto place = std::exchange(place_wanted_, std::nullopt)) {
        // As a host's answer that came at once and was taken.
        target_location_ = *place;
        GotoLocation(*place);
      }
      break;
    case TimerId::kTimerHostAnswer:
      StopTimer(TimerId::kTimerHostAnswer);
      if (answer_owed_) ShowNoAnswer(true);
      break;
    case TimerId::kTimerLoading:
      StopTimer(TimerId::kTimerLoading);
      if (loading_depth_ > 0 && !loading_shown_) {
        loading_shown_ = true;
        ports_.controls.SetLoading(true);
      }
      break;
  }
}

void Viewer::SetAlwaysOnTop(bool on) {
  ports_.controls.SetStayOnTop(on);
  ShowStartPage();
}

void Viewer::OnAlwaysOnTopChosen() {
  if (closed_) return;
  always_on_top_ = !always_on_top_;
  ports_.controls.SetStayOnTopCheck(always_on_top_);
  // Only the window's place among others changes: the page and the history
  // stay. (Showing the start page here lost the reader's place, and Back
  // could not bring it back.) Start-up still shows it through SetAlwaysOnTop.
  ports_.controls.SetStayOnTop(always_on_top_);
}

void Viewer::OnTextSizeChosen(int direction) {
  if (closed_) return;
  const int size = direction == 0 ? 100 : StepTextSize(text_size_, direction);
  text_size_chosen_ = true;
  if (size == text_size_) return;
  text_size_ = size;
  ports_.browser.SetTextSize(text_size_);
  // The place the reader was at stays in view: the text moved under it.
  if (page_ready_ && current_anchor_ >= 0) ports_.browser.ScrollIntoView(current_anchor_);
}

void Viewer::OnTextSizeWheel(double notches) {
  // Fine wheels and touchpads report fractions of a notch, many to a click:
  // each one a step would race to the end of the range. A turn the other way
  // starts again; no single event is worth more steps than there are sizes.
  if (closed_ || !std::isfinite(notches)) return;
  if (notches == 0) {
    wheel_notches_ = 0;
    return;
  }
  if ((notches > 0) != (wheel_notches_ > 0)) wheel_notches_ = 0;
  constexpr double kMostSteps = std::size(kTextSizes);
  wheel_notches_ += std::clamp(notches, -kMostSteps, kMostSteps);
  while (wheel_notches_ >= 1) {
    wheel_notches_ -= 1;
    OnTextSizeChosen(+1);
  }
  while (wheel_notches_ <= -1) {
    wheel_notches_ += 1;
    OnTextSizeChosen(-1);
  }
}

void Viewer::OnAboutChosen() {
  if (closed_) return;
  ForgetAnswer();
  ShowAboutPage();
}

void Viewer::OnCopyChosen() {
  if (closed_) return;
  ports_.browser.Copy();
}

void Viewer::CloseWindow() {
  ports_.controls.CloseWindow();
}

void Viewer::MinimizeApplication() {
  ports_.controls.MinimizeApplication();
}

void Viewer::OnCloseChosen() {
  if (!closed_) CloseWindow();
}

void Viewer::OnCloseClicked() {
  if (!closed_) CloseWindow();
}

void Viewer::OnMinimizeClicked() {
  if (!closed_) MinimizeApplication();
}

void Viewer::OnMenuIconPressed(ScreenPoint menu_corner) {
  OpenMenuAt(menu_corner);
}

void Viewer::OpenMenuAt(ScreenPoint cursor) {
  if (closed_) return;
  RefreshLibraries();
  ports_.controls.ShowPopupMenu(cursor);
}

void Viewer::OnThemeChosen(Theme theme) {
  if (closed_) return;
  theme_chosen_ = true;
  theme_ = theme;
  ports_.controls.SetTheme(theme_);
}

void Viewer::RefreshLibraries() {
  std::vector<Library> found =
      FindLibraries(ports_.files, files_.user_library_folder, files_.exe_folder, ports_.rules);
  if (files_.library)
    files_.library = FindSameLibrary(found, files_.libraries[*files_.library], ports_.rules);
  files_.libraries = std::move(found);
  std::vector<std::string> labels;
  for (const Library& library : files_.libraries)
    labels.push_back(MenuLabel(library));
  ports_.controls.SetLibraries(labels, files_.library ? static_cast<int>(*files_.library) : -1);
}

void Viewer::OnLibrariesChanged() {
  if (closed_) return;
  RefreshLibraries();
}

bool Viewer::ShowUserLibrary(const std::string& name) {
  if (closed_) return false;
  RefreshLibraries();
  for (std::size_t i = 0; i < files_.libraries.size(); ++i) {
    if (files_.libraries[i].in_user_library && files_.libraries[i].Name() == name) {
      OnLibraryChosen(i);
      return true;
    }
  }
  return false;
}

std::vector<std::string> Viewer::UserLibraryNames() const {
  std::vector<std::string> names;
  for (const Library& library : files_.libraries) {
    if (library.in_user_library) names.push_back(library.Name());
  }
  return names;
}

std::optional<std::string> Viewer::RemoveUserLibrary(const std::string& name) {
  if (closed_) return "the viewer is closing";
  RefreshLibraries();
  std::optional<std::size_t> found;
  for (std::size_t i = 0; i < files_.libraries.size(); ++i) {
    if (files_.libraries[i].in_user_library && files_.libraries[i].Name() == name) found = i;
  }
  if (!found) return "there is no library " + name + " in your library folder";
  const Library removed = files_.libraries[*found];
  if (files_.library == found) {
    // Another library takes its place on screen before it goes.
    std::optional<std::size_t> other;
    for (std::size_t i = 0; i < files_.libraries.size() && !other; ++i) {
      if (i != *found) other = i;
    }
    if (!other) return "it is the only library: add another one first";
    OnLibraryChosen(*other);
    if (closed_) return "the viewer is closing";
  }
  if (!ports_.files.RemoveFolder(removed.place + removed.folder))
    return "its folder " + removed.place + removed.folder + " could not be removed";
  RefreshLibraries();
  return std::nullopt;
}

void Viewer::OnLibraryChosen(std::size_t index) {
  if (closed_ || index >= files_.libraries.size()) return;
  // Chosen, it is saved, even where it is the one on screen.
  library_chosen_ = true;
  if (files_.library == index) return;
  UseLibraryAt(index);
  if (closed_) return;
  ShowAgainInLibrary();
}

// The place on screen, shown again from the library now chosen. History is
// left as it is: the place is the one the reader was at.
void Viewer::ShowAgainInLibrary() {
  switch (shown_kind_) {
    case Navigation::Kind::kAboutPage:
      return;  // the program's own page, the same in every library
    case Navigation::Kind::kIndexPage:
      ShowIndexPage();
      return;
    case Navigation::Kind::kStartPage:
    case Navigation::Kind::kLocation: {
      TbcvRec location = shown_location_;
      if (!IsSpecialCode(Code(location))) NameFromBookList(location, true);
      Navigate({Navigation::Kind::kLocation, location, true, true});
      return;
    }
  }
}

void Viewer::OnDragHandlePressed(ScreenPoint mouse) {
  if (closed_) return;
  ports_.controls.CaptureMouse();
  dragging_ = true;
  drag_start_point_ = mouse;
  last_drag_point_ = mouse;
  const Bounds bounds = ports_.controls.WindowBounds();
  drag_start_window_ = {bounds.left, bounds.top};
  ports_.host.FindHostWindow();
}

void Viewer::DragStep(ScreenPoint mouse) {
  if (!dragging_ || closed_ || mouse == last_drag_point_) return;
  const ScreenPoint raw = RawDragPosition(mouse, drag_start_point_, drag_start_window_);
  const Bounds bounds = ports_.controls.WindowBounds();
  ports_.controls.SetWindowBounds(
      SnapToHost(raw.x, raw.y, bounds.width, bounds.height, ports_.host.HostWindowRect()));
  last_drag_point_ = mouse;
}

void Viewer::DragCaptureLost() {
  // The capture is gone already: nothing to release, and releasing would
  // take it from whatever window holds it now.
  dragging_ = false;
}

void Viewer::OnDragHandleReleased() {
  if (!dragging_) return;
  dragging_ = false;
  ports_.controls.ReleaseMouse();
}

}  // namespace vellum
