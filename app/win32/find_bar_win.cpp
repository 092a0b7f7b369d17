#include "app/win32/find_bar_win.h"

#include <string>

#include "app/win32/layout_win.h"
#include "browser/ie_rules_win.h"
#include "core/text.h"
#include "platform/wide_text_win.h"

namespace vellum::win32 {
namespace {

// The row's design, at 96 DPI: field, Previous, Next, the status, and the
// close button at the right end.
constexpr int kRowHeight = 26;
constexpr int kFieldWidth = 180;
constexpr int kButtonWidth = 22;
// "10000 of 10000+" whole in the bar's font; it never gives way.
constexpr int kStatusWidth = 120;
constexpr int kGap = 4;
constexpr int kInnerHeight = 20;
// Typing pauses this long before the page is searched.
constexpr UINT kSearchDelayMs = 150;

// Selecting a match in the page may take the keyboard there: typing goes on
// in the field that had it.
class FieldFocusKept {
 public:
  explicit FieldFocusKept(HWND field) : field_(field), had_(GetFocus() == field) {}
  FieldFocusKept(const FieldFocusKept&) = delete;
  FieldFocusKept& operator=(const FieldFocusKept&) = delete;
  ~FieldFocusKept() {
    if (had_ && GetFocus() != field_) SetFocus(field_);
  }

 private:
  HWND field_;
  bool had_;
};

}  // namespace

bool FindBarWin::Create(HWND parent, HINSTANCE instance, ControlListener* listener) {
  parent_ = parent;
  const DWORD field_style = WS_CHILD | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
  field_ =
      CreateWindowExW(0, L"EDIT", L"", field_style, 0, 0, 0, 0, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFindText)), instance, nullptr);
  status_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_CENTERIMAGE, 0, 0, 0, 0,
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFindStatus)),
                            instance, nullptr);
  if (field_ == nullptr || status_ == nullptr) return false;
  // A search as long as any a reader types; the page's text is searched
  // as given, so nothing longer is useful.
  SendMessageW(field_, EM_SETLIMITTEXT, 256, 0);
  const std::pair<ControlId, const wchar_t*> buttons[] = {
      {kFindPrevious, L"<"}, {kFindNext, L">"}, {kFindClose, L"x"}};
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    ButtonLook look;
    buttons_[i] =
        CreateSpeedButton(parent, buttons[i].first, buttons[i].second, RECT{}, look, listener);
    if (buttons_[i] == nullptr) return false;
    ShowWindow(buttons_[i], SW_HIDE);
  }
  return true;
}

int FindBarWin::Height(int dpi) const {
  return open_ ? Scaled(kRowHeight, dpi) : 0;
}

void FindBarWin::Place(int top, int width, int dpi) {
  if (field_ == nullptr) return;
  const int inner_top = top + Scaled((kRowHeight - kInnerHeight) / 2, dpi);
  const int height = Scaled(kInnerHeight, dpi);
  int left = Scaled(kGap, dpi);
  // The field gives way first when the window is narrow.
  const int fixed = Scaled(kGap * 6 + kButtonWidth * 3 + kStatusWidth, dpi);
  const int field = std::max(Scaled(40, dpi), std::min(Scaled(kFieldWidth, dpi), width - fixed));
  MoveWindow(field_, left, inner_top, field, height, TRUE);
  left += field + Scaled(kGap, dpi);
  for (std::size_t i = 0; i < 2; ++i) {
    MoveWindow(buttons_[i], left, inner_top, Scaled(kButtonWidth, dpi), height, TRUE);
    left += Scaled(kButtonWidth + kGap, dpi);
  }
  const int close_left = std::max(left + Scaled(kStatusWidth + kGap * 2, dpi),
                                  width - Scaled(kButtonWidth + kGap, dpi));
  MoveWindow(status_, left + Scaled(kGap, dpi), inner_top,
             close_left - left - Scaled(kGap * 2, dpi), height, TRUE);
  MoveWindow(buttons_[2], close_left, inner_top, Scaled(kButtonWidth, dpi), height, TRUE);
}

void FindBarWin::SetFonts(HFONT text, HFONT buttons) {
  if (field_ == nullptr) return;
  SendMessageW(field_, WM_SETFONT, reinterpret_cast<WPARAM>(text), TRUE);
  SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(text), TRUE);
  for (HWND button : buttons_)
    SetButtonFont(button, buttons);
}

bool FindBarWin::Owns(HWND window) const {
  if (window == nullptr) return false;
  if (window == field_ || window == status_) return true;
  for (HWND button : buttons_) {
    if (window == button) return true;
  }
  return false;
}

void FindBarWin::Open() {
  if (field_ == nullptr) return;
  if (!open_) {
    open_ = true;
    for (HWND window : {field_, status_, buttons_[0], buttons_[1], buttons_[2]})
      ShowWindow(window, SW_SHOWNA);
  }
  SetFocus(field_);
  SendMessageW(field_, EM_SETSEL, 0, -1);
  // Searched again: the page may have changed since the bar last closed.
  search_pending_ = false;
  Search();
}

void FindBarWin::Close() {
  if (!open_) return;
  open_ = false;
  search_pending_ = false;
  KillTimer(parent_, kSearchTimer);
  finder_.Stop();
  // The reader is back where the find began.
  finder_.RestorePlace();
  finder_.ForgetPlace();
  count_ = position_ = 0;
  ShowStatus(L"");
  for (HWND window : {field_, status_, buttons_[0], buttons_[1], buttons_[2]})
    ShowWindow(window, SW_HIDE);
}

void FindBarWin::Next() {
  const FieldFocusKept focus(field_);
  if (open_ && !SearchIfPending() && GetWindowTextLengthW(field_) > 0) {
    finder_.KeepPlace();
    ShowStep(finder_.Step(true), true);
  }
}

void FindBarWin::Previous() {
  const FieldFocusKept focus(field_);
  if (open_ && !SearchIfPending() && GetWindowTextLengthW(field_) > 0) {
    finder_.KeepPlace();
    ShowStep(finder_.Step(false), false);
  }
}

void FindBarWin::ShowStep(const PageFinder::StepResult& step, bool forward) {
  if (step.count) {
    // Started again from the top of a page shown since: its first match.
    count_ = step.count->count;
    more_ = step.count->more;
    position_ = step.found ? 1 : 0;
  } else if (step.found) {
    position_ = StepMatchPosition(position_, count_, forward);
  } else {
    count_ = position_ = 0;
  }
  if (!step.found) finder_.RestorePlace();
  ShowCount();
}

void FindBarWin::ShowCount() {
  ShowStatus(Utf8ToWide(MatchPositionText(position_, count_, more_)).c_str());
}

void FindBarWin::OnTextChanged() {
  if (!open_) return;
  search_pending_ = true;
  // Without a timer the search is done at once.
  if (SetTimer(parent_, kSearchTimer, kSearchDelayMs, nullptr) == 0) SearchIfPending();
}

bool FindBarWin::OnTimer(UINT_PTR id) {
  if (id != kSearchTimer) return false;
  SearchIfPending();
  return true;
}

bool FindBarWin::SearchIfPending() {
  KillTimer(parent_, kSearchTimer);
  if (!search_pending_) return false;
  search_pending_ = false;
  if (open_) Search();
  return true;
}

bool FindBarWin::TakesFieldKey(const MSG& msg) {
  if (msg.hwnd != field_ || !open_) return false;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
    if (GetKeyState(VK_SHIFT) < 0) {
      Previous();
    } else {
      Next();
    }
    return true;
  }
  // The field would beep at the character Enter makes.
  return msg.message == WM_CHAR && (msg.wParam == L'\r' || msg.wParam == L'\n');
}

bool FindBarWin::FilterKey(const MSG& msg, HWND window) {
  if (TakesFieldKey(msg)) return true;
  if (msg.message != WM_KEYDOWN || (msg.hwnd != window && !IsChild(window, msg.hwnd))) return false;
  FindAction action = FindAction::kOpen;
  switch (RouteKey(msg.message, msg.wParam, CurrentKeyState())) {
    case KeyRoute::kFind:
      action = FindAction::kOpen;
      break;
    case KeyRoute::kFindNext:
      action = FindAction::kNext;
      break;
    case KeyRoute::kFindPrevious:
      action = FindAction::kPrevious;
      break;
    default:
      if (msg.wParam != VK_ESCAPE || !open_) return false;
      action = FindAction::kClose;
      break;
  }
  PostMessageW(window, kFindMessage, static_cast<WPARAM>(action), 0);
  return true;
}

void FindBarWin::Act(FindAction action) {
  const bool was_open = open_;
  if (action == FindAction::kRecount) {
    // The place the viewer shows is kept: the first match waits for a step.
    if (open_ && !search_pending_ && GetWindowTextLengthW(field_) > 0) {
      const MatchCount counted = finder_.Recount();
      count_ = counted.count;
      more_ = counted.more;
      position_ = 0;
      ShowCount();
    }
    return;
  }
  if (action == FindAction::kClose) {
    Close();
    if (relayout_) relayout_();
    if (closed_) closed_();
    return;
  }
  if (action == FindAction::kOpen || !was_open) {
    Open();
    if (!was_open && relayout_) relayout_();
    return;
  }
  if (action == FindAction::kNext) {
    Next();
  } else {
    Previous();
  }
}

void FindBarWin::Search() {
  const FieldFocusKept focus(field_);
  const int length = GetWindowTextLengthW(field_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(field_, text.data(), length + 1)));
  if (text.empty()) {
    finder_.Stop();
    finder_.RestorePlace();
    count_ = position_ = 0;
    ShowStatus(L"");
    return;
  }
  finder_.KeepPlace();
  // A search starts from the top: its first match is selected.
  const MatchCount counted = finder_.Start(text);
  count_ = counted.count;
  more_ = counted.more;
  position_ = count_ > 0 ? 1 : 0;
  if (count_ == 0) finder_.RestorePlace();
  ShowCount();
}

void FindBarWin::ShowStatus(const wchar_t* text) {
  if (status_ != nullptr) SetWindowTextW(status_, text);
}

}  // namespace vellum::win32
