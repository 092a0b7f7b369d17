// The Go to bar of the Windows viewer: a line under the title bar where the
// reader types a place ("John 3:16"), with the book's name completed in the
// field as it is typed (the rest selected: typing on replaces it, Tab takes
// it), and what could not be read said beside the field.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "app/win32/controls_win.h"
#include "core/go_to.h"

namespace vellum::win32 {

// A private message to the window: a GoToAction (wParam) for the bar,
// acted on outside the key filter that asked for it.
inline constexpr UINT kGoToMessage = WM_APP + 5;

enum class GoToAction : WPARAM { kOpen, kGo, kClose };

class GoToBarWin {
 public:
  struct Callbacks {
    // Goes to the place typed (UTF-8); the problem when it cannot be read.
    std::function<GoToResult(const std::string&)> go;
    // The text with the book's name completed, where it completes.
    std::function<std::optional<std::string>(const std::string&)> complete;
    // The window lays itself out again (the bar opened or closed).
    std::function<void()> relayout;
    // The bar closed: the keyboard goes back to the page.
    std::function<void()> closed;
  };

  explicit GoToBarWin(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}
  GoToBarWin(const GoToBarWin&) = delete;
  GoToBarWin& operator=(const GoToBarWin&) = delete;

  // Makes the bar's windows, hidden, as children of parent. The buttons
  // report to listener; the field's changes come to parent as EN_CHANGE.
  bool Create(HWND parent, HINSTANCE instance, ControlListener* listener);
  bool IsOpen() const { return open_; }
  // The bar's height in the client area at a DPI; 0 while it is closed.
  int Height(int dpi) const;
  void Place(int top, int width, int dpi);
  void SetFonts(HFONT text, HFONT buttons);
  void SetDark(bool dark);

  // The field's text changed: a book's name typed at its end is completed.
  void OnTextChanged();
  // Ctrl+L wherever the keyboard is in window; Enter, Tab and Esc in the
  // field. True when msg was one: it is taken, its action posted to window.
  bool FilterKey(const MSG& msg, HWND window);
  void Act(GoToAction action);

 private:
  void Open();
  void Close();
  void Go();
  // Takes a completed name: the caret after it, and a blank for the numbers.
  bool TakeCompletion();
  std::wstring FieldText() const;

  Callbacks callbacks_;
  bool open_ = false;
  bool completing_ = false;  // our own change of the field's text
  std::wstring typed_;       // the text before the last change
  HWND parent_ = nullptr;
  HWND label_ = nullptr;
  HWND field_ = nullptr;
  HWND status_ = nullptr;
  std::array<HWND, 2> buttons_{};  // go, close
};

}  // namespace vellum::win32
