#include "app/win32/go_to_bar_win.h"

#include <algorithm>

#include "app/win32/layout_win.h"
#include "platform/wide_text_win.h"

namespace vellum::win32 {
namespace {

// The row's design, at 96 DPI: "Go to", the field, Go, what could not be
// read, and the close button at the right end.
constexpr int kRowHeight = 26;
constexpr int kLabelWidth = 40;
constexpr int kFieldWidth = 160;
constexpr int kGoWidth = 30;
constexpr int kButtonWidth = 22;
constexpr int kGap = 4;
constexpr int kInnerHeight = 20;

HWND Child(HWND parent, HINSTANCE instance, const wchar_t* window_class, DWORD style, int id) {
  return CreateWindowExW(0, window_class, L"", WS_CHILD | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

}  // namespace

bool GoToBarWin::Create(HWND parent, HINSTANCE instance, ControlListener* listener) {
  parent_ = parent;
  label_ = Child(parent, instance, L"STATIC", SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX, kGoToLabel);
  field_ = Child(parent, instance, L"EDIT", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, kGoToText);
  status_ = Child(parent, instance, L"STATIC",
                  SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | SS_ENDELLIPSIS, kGoToStatus);
  if (label_ == nullptr || field_ == nullptr || status_ == nullptr) return false;
  SetWindowTextW(label_, L"Go to");
  // A place is a few words; nothing longer is read.
  SendMessageW(field_, EM_SETLIMITTEXT, 100, 0);
  const std::pair<ControlId, const wchar_t*> buttons[] = {{kGoToGo, L"Go"}, {kGoToClose, L"x"}};
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    buttons_[i] = CreateSpeedButton(parent, buttons[i].first, buttons[i].second, RECT{},
                                    ButtonLook{}, listener);
    if (buttons_[i] == nullptr) return false;
  }
  return true;
}

int GoToBarWin::Height(int dpi) const {
  return open_ ? Scaled(kRowHeight, dpi) : 0;
}

void GoToBarWin::Place(int top, int width, int dpi) {
  if (field_ == nullptr) return;
  const int inner_top = top + Scaled((kRowHeight - kInnerHeight) / 2, dpi);
  const int height = Scaled(kInnerHeight, dpi);
  int left = Scaled(kGap, dpi);
  MoveWindow(label_, left, inner_top, Scaled(kLabelWidth, dpi), height, TRUE);
  left += Scaled(kLabelWidth + kGap, dpi);
  // The field gives way first when the window is narrow.
  const int fixed = Scaled(kGap * 6 + kLabelWidth + kGoWidth + kButtonWidth + 40, dpi);
  const int field = std::max(Scaled(60, dpi), std::min(Scaled(kFieldWidth, dpi), width - fixed));
  MoveWindow(field_, left, inner_top, field, height, TRUE);
  left += field + Scaled(kGap, dpi);
  MoveWindow(buttons_[0], left, inner_top, Scaled(kGoWidth, dpi), height, TRUE);
  left += Scaled(kGoWidth + kGap, dpi);
  const int close_left = width - Scaled(kButtonWidth + kGap, dpi);
  MoveWindow(status_, left, inner_top, std::max(0, close_left - left - Scaled(kGap, dpi)), height,
             TRUE);
  MoveWindow(buttons_[1], close_left, inner_top, Scaled(kButtonWidth, dpi), height, TRUE);
}

void GoToBarWin::SetFonts(HFONT text, HFONT buttons) {
  if (field_ == nullptr) return;
  for (HWND window : {label_, field_, status_})
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(text), TRUE);
  for (HWND button : buttons_)
    SetButtonFont(button, buttons);
}

void GoToBarWin::SetDark(bool dark) {
  for (HWND button : buttons_)
    SetControlDark(button, dark);
}

std::wstring GoToBarWin::FieldText() const {
  const int length = GetWindowTextLengthW(field_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(field_, text.data(), length + 1)));
  return text;
}

void GoToBarWin::Open() {
  if (field_ == nullptr) return;
  if (!open_) {
    open_ = true;
    for (HWND window : {label_, field_, status_, buttons_[0], buttons_[1]})
      ShowWindow(window, SW_SHOWNA);
  }
  SetWindowTextW(status_, L"");
  SetFocus(field_);
  SendMessageW(field_, EM_SETSEL, 0, -1);
  typed_ = FieldText();
}

void GoToBarWin::Close() {
  if (!open_) return;
  open_ = false;
  for (HWND window : {label_, field_, status_, buttons_[0], buttons_[1]})
    ShowWindow(window, SW_HIDE);
}

void GoToBarWin::Go() {
  if (!open_ || !callbacks_.go) return;
  const GoToResult result = callbacks_.go(WideToUtf8(FieldText()));
  if (result.location) {
    Act(GoToAction::kClose);
    return;
  }
  // Said beside the field, which keeps the text to mend.
  SetWindowTextW(status_, Utf8ToWide(result.problem).c_str());
  SetFocus(field_);
}

void GoToBarWin::OnTextChanged() {
  if (!open_ || completing_) return;
  SetWindowTextW(status_, L"");
  const std::wstring text = FieldText();
  // Only typing at the end is completed: a deletion, or a change within,
  // is the reader's own.
  const bool appended = text.size() > typed_.size() && text.compare(0, typed_.size(), typed_) == 0;
  typed_ = text;
  if (!appended || !callbacks_.complete) return;
  const std::optional<std::string> completed = callbacks_.complete(WideToUtf8(text));
  if (!completed) return;
  const std::wstring whole = Utf8ToWide(*completed);
  completing_ = true;
  SetWindowTextW(field_, whole.c_str());
  completing_ = false;
  typed_ = whole;
  // The rest of the name selected: typing on replaces it.
  SendMessageW(field_, EM_SETSEL, text.size(), -1);
}

bool GoToBarWin::TakeCompletion() {
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(field_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const std::size_t length = static_cast<std::size_t>(GetWindowTextLengthW(field_));
  if (start == end || end != length) return false;
  SendMessageW(field_, EM_SETSEL, length, length);
  completing_ = true;
  SendMessageW(field_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L" "));
  completing_ = false;
  typed_ = FieldText();
  return true;
}

bool GoToBarWin::FilterKey(const MSG& msg, HWND window) {
  if (field_ == nullptr) return false;
  if (open_ && msg.hwnd == field_) {
    if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
      PostMessageW(
          window, kGoToMessage,
          static_cast<WPARAM>(msg.wParam == VK_RETURN ? GoToAction::kGo : GoToAction::kClose), 0);
      return true;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && GetKeyState(VK_SHIFT) >= 0 &&
        TakeCompletion())
      return true;
    // The field would beep at the characters Enter, Esc and Tab make.
    if (msg.message == WM_CHAR &&
        (msg.wParam == L'\r' || msg.wParam == L'\n' || msg.wParam == 0x1B || msg.wParam == L'\t'))
      return true;
  }
  if (msg.message != WM_KEYDOWN || (msg.hwnd != window && !IsChild(window, msg.hwnd))) return false;
  const bool ctrl_alone =
      GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0 && GetKeyState(VK_SHIFT) >= 0;
  if (msg.wParam == 'L' && ctrl_alone) {
    PostMessageW(window, kGoToMessage, static_cast<WPARAM>(GoToAction::kOpen), 0);
    return true;
  }
  if (msg.wParam == VK_ESCAPE && open_) {
    PostMessageW(window, kGoToMessage, static_cast<WPARAM>(GoToAction::kClose), 0);
    return true;
  }
  return false;
}

void GoToBarWin::Act(GoToAction action) {
  switch (action) {
    case GoToAction::kOpen: {
      const bool was_open = open_;
      Open();
      if (!was_open && callbacks_.relayout) callbacks_.relayout();
      break;
    }
    case GoToAction::kGo:
      Go();
      break;
    case GoToAction::kClose:
      if (!open_) break;
      Close();
      if (callbacks_.relayout) callbacks_.relayout();
      if (callbacks_.closed) callbacks_.closed();
      break;
  }
}

}  // namespace vellum::win32
