// Bringing locations into view: loading book pages, indexing their anchors,
// scrolling the best anchor into view, and the Index, About and start pages.
#include "core/viewer.h"

#include "core/scoped_value.h"

namespace vellum {
namespace {

constexpr std::string_view kBlankPage = "about:blank";
constexpr std::string_view kIndexFragment = "#TOC";

// Counts a running page load for as long as it lives.
class LoadScope {
 public:
  explicit LoadScope(int& depth) : depth_(depth) { ++depth_; }
  LoadScope(const LoadScope&) = delete;
  LoadScope& operator=(const LoadScope&) = delete;
  ~LoadScope() { --depth_; }

 private:
  int& depth_;
};

// Holds the window's drawing while a page loads; released only if taken.
class UpdateLock {
 public:
  explicit UpdateLock(ControlsPort& controls)
      : controls_(controls), taken_(controls.LockUpdates()) {}
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;
  ~UpdateLock() {
    if (taken_) controls_.UnlockUpdates();
  }

 private:
  ControlsPort& controls_;
  bool taken_;
};

// Clears a flag when the scope ends, however it ends.
class ClearOnExit {
 public:
  explicit ClearOnExit(bool& flag) : flag_(flag) {}
  ClearOnExit(const ClearOnExit&) = delete;
  ClearOnExit& operator=(const ClearOnExit&) = delete;
  ~ClearOnExit() { flag_ = false; }

 private:
  bool& flag_;
};

}  // namespace

void Viewer::GotoLocation(TbcvRec location) {
  Navigate({Navigation::Kind::kLocation, location, from_history_});
}

void Viewer::ShowStartPage() {
  Navigate({Navigation::Kind::kStartPage, EmptyLocation(), from_history_});
}

void Viewer::ShowIndexPage() {
  Navigate({Navigation::Kind::kIndexPage, EmptyLocation(), from_history_});
}

void Viewer::ShowAboutPage() {
  Navigate({Navigation::Kind::kAboutPage, EmptyLocation(), from_history_});
}

void Viewer::OnPageLost() {
  if (closed_) return;
  // As a library switch shows the place again; the About page too, which
  // is the same in every library.
  if (shown_kind_ == Navigation::Kind::kAboutPage) {
    Navigate({Navigation::Kind::kAboutPage, EmptyLocation(), true, true});
  } else {
    ShowAgainInLibrary();
  }
}

// A navigation asked for while a page is loading would load or scroll a page
// other than the one the running load puts on screen; it waits, and the
// newest one asked for is performed when the running load has ended.
void Viewer::Navigate(const Navigation& navigation) {
  if (closed_) return;
  if (loading_depth_ > 0) {
    deferred_ = navigation;
    return;
  }
  PerformNavigation(navigation);
  while (deferred_ && !closed_) {
    const Navigation next = *deferred_;
    deferred_.reset();
    PerformNavigation(next);
  }
}

void Viewer::PerformNavigation(const Navigation& navigation) {
  const ScopedValue<bool> history_flag(from_history_, navigation.from_history);
  // The place moves on: what was said of the last request no longer holds.
  ShowNoAnswer(false);
  shown_kind_ = navigation.kind;
  switch (navigation.kind) {
    case Navigation::Kind::kLocation:
      DoGotoLocation(navigation.location, navigation.reload);
      break;
    case Navigation::Kind::kStartPage:
      DoShowStartPage();
      break;
    case Navigation::Kind::kIndexPage:
      DoShowIndexPage();
      break;
    case Navigation::Kind::kAboutPage:
      DoShowAboutPage();
      break;
  }
}

Viewer::PageWait Viewer::WaitForPage() {
  // A page that is not ready at once shows, after a moment, that it loads.
  RestartTimer(TimerId::kTimerLoading);
  const PageWait wait = WaitForStatus();
  StopTimer(TimerId::kTimerLoading);
  if (loading_shown_) {
    loading_shown_ = false;
    ports_.controls.SetLoading(false);
  }
  return wait;
}

Viewer::PageWait Viewer::WaitForStatus() {
  const std::uint64_t start = ports_.pump.NowMs();
  for (;;) {
    if (closed_) return PageWait::kFailed;
    switch (ports_.browser.Status()) {
      case PageStatus::kInteractive:
        return PageWait::kReady;
      case PageStatus::kFailed:
        return PageWait::kFailed;
      case PageStatus::kLoading:
        break;
    }
    if (ports_.pump.NowMs() - start >= kPageWaitLimitMs) return PageWait::kGaveUp;
    ports_.pump.ProcessMessages(PumpMode::kWait);
  }
}

void Viewer::ScrollTo(std::int32_t ordinal) {
  // A repeated location leaves the page where the user may have scrolled it.
  if (ordinal == current_anchor_) return;
  if (ports_.browser.ScrollIntoView(ordinal)) current_anchor_ = ordinal;
}

void Viewer::SetLocationButtonPlain(const std::string& caption) {
  ports_.controls.SetCaption(Button::kLocation, caption);
  ports_.controls.SetUnderline(Button::kLocation, false);
}

void Viewer::LoadBookPage(const TbcvRec& location, const std::string& file_name,
                          const std::string& expected_anchor) {
  current_anchor_ = -2;
  page_ready_ = false;
  const std::string path = PagePath(ports_.files, files_, file_name);
  const bool exists = !file_name.empty() && ports_.files.IsFile(path);
  const std::string url = exists ? path : std::string(kBlankPage);

  ports_.pump.ProcessMessages(PumpMode::kPending);
  if (exists) ports_.browser.ExpectAnchor(expected_anchor);
  bool started = false;
  showing_missing_book_ = false;
  if (!exists && !IsSpecialCode(Code(location)) && files_.library) {
    showing_missing_book_ = true;
    started = ShowMissingBook(location);
  } else {
    started = ports_.browser.Navigate(url);
  }
  const PageWait wait = started ? WaitForPage() : PageWait::kFailed;
  const bool loaded = wait == PageWait::kReady;
  page_ready_ = true;
  anchors_pending_ = wait == PageWait::kGaveUp && !closed_;

  // A page that failed or did not become ready in time counts as blank.
  std::optional<std::vector<std::string>> names;
  if (loaded && !closed_) names = ports_.browser.AnchorNames();
  if (names) {
    anchors_.Build(*names);
  } else {
    anchors_.Clear();
  }
}

bool Viewer::ShowMissingBook(const TbcvRec& location) {
  const Library& shown = files_.libraries.at(*files_.library);
  // The fullest name the library gives, in its language.
  std::string book = files_.book_titles.Lookup(Code(location));
  if (book.empty()) book = files_.book_names.Lookup(Code(location));
  if (book.empty()) book = Name(location);
  if (book.empty()) book = Code(location);
  std::vector<const Library*> others;
  for (const Library& library : files_.libraries) {
    if (&library != &shown && LibraryHasBook(ports_.files, library, Code(location), ports_.rules))
      others.push_back(&library);
  }
  return ports_.browser.ShowHtml(MissingBookPage(shown, book, others, files_.language));
}

void Viewer::DoGotoLocation(TbcvRec location, bool reload) {
  TbcvRec l = location;
  nav_busy_ = true;
  const ClearOnExit clear_busy(nav_busy_);
  const std::string file_name = files_.book_files.Lookup(Code(l));

  std::optional<LoadScope> load;
  std::optional<UpdateLock> lock;
  if (reload || !SameCode(l, loaded_location_)) {
    load.emplace(loading_depth_);
    lock.emplace(ports_.controls);
    LoadBookPage(l, file_name,
                 IsSpecialCode(Code(l)) ? std::string() : ExactAnchorName(l.chapter, l.verse));
    if (closed_) return;
  } else if (anchors_pending_ && ports_.browser.Status() == PageStatus::kInteractive) {
    // The page became ready after its wait gave up: read its anchors now,
    // rather than scroll nothing until another book is loaded. Reading keeps
    // the page as the user may have scrolled it; loading it again would not.
    anchors_pending_ = false;
    if (const auto names = ports_.browser.AnchorNames()) {
      anchors_.Build(*names);
      current_anchor_ = -2;
    }
  }

  shown_location_ = l;
  const bool special = IsSpecialCode(Code(l));
  if (special) {
    MakeAboutLocation(l);
    ports_.controls.SetCaption(Button::kLocation, std::string(kAboutName));
  } else {
    ports_.controls.SetCaption(Button::kLocation, CaptionOf(l));
    place_moved_ = true;
  }
  if (!from_history_ && !special) {
    history_candidate_ = l;
    RestartTimer(TimerId::kTimerAddHistory);
  }
  ports_.controls.SetUnderline(Button::kLocation, false);

  if (const auto choice = anchors_.Choose(l.chapter, l.verse)) {
    if (choice->exact) ports_.controls.SetUnderline(Button::kLocation, true);
    ScrollTo(choice->ordinal);
  }
  lock.reset();
  loaded_location_ = l;
}

void Viewer::DoShowStartPage() {
  SetCode(shown_location_, "");
  SetCode(loaded_location_, "");
  MakeIndexLocation(target_location_);
  DoGotoLocation(target_location_);
  awaiting_host_ = false;
}

void Viewer::DoShowIndexPage() {
  const LoadScope load(loading_depth_);
  showing_missing_book_ = false;
  MakeAboutLocation(shown_location_);
  target_location_ = shown_location_;
  loaded_location_ = shown_location_;
  awaiting_host_ = false;
  current_anchor_ = -2;
  // The table belonged to the book page this one replaces.
  anchors_.Clear();
  anchors_pending_ = false;
  SetLocationButtonPlain(std::string(Name(target_location_)));
  ports_.controls.SetVisible(Button::kPendingJump, false);

  const std::string page = PagePath(ports_.files, files_, files_.book_files.Lookup(kIndexCode));
  const std::string url =
      page.empty() ? std::string(kBlankPage) : page + std::string(kIndexFragment);
  const UpdateLock lock(ports_.controls);
  ports_.pump.ProcessMessages(PumpMode::kPending);
  if (ports_.browser.Navigate(url)) WaitForPage();
  page_ready_ = true;
}

void Viewer::DoShowAboutPage() {
  const LoadScope load(loading_depth_);
  showing_missing_book_ = false;
  current_anchor_ = -2;
  anchors_.Clear();
  anchors_pending_ = false;
  if (ports_.browser.Navigate(AboutPagePath(ports_.files, files_.exe_folder))) WaitForPage();
  if (closed_) return;

  MakeAboutLocation(shown_location_);
  target_location_ = shown_location_;
  loaded_location_ = shown_location_;
  awaiting_host_ = false;
  SetLocationButtonPlain(std::string(kAboutName));
  ports_.controls.SetVisible(Button::kPendingJump, false);
}

void Viewer::OnResized() {
  if (closed_ || !page_ready_ || current_anchor_ < 0) return;
  const std::optional<int> count = ports_.browser.AnchorCount();
  if (!count || current_anchor_ >= *count) return;
  ports_.browser.ScrollIntoView(current_anchor_);
}

}  // namespace vellum
