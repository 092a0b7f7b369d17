// The find bar of the Windows viewer: a line under the title bar with a text
// field, Previous and Next, the number of matches or "not found", and a close
// button. The page's own text ranges do the finding.
#pragma once

#include <windows.h>

#include <array>
#include <functional>

#include "app/win32/controls_win.h"
#include "browser/ie_find_win.h"

namespace vellum::win32 {

// A private message to the window: a FindAction (wParam) for the find bar,
// acted on outside the hook or key filter that asked for it.
inline constexpr UINT kFindMessage = WM_APP + 4;

// kRecount: a new page stands; an open bar counts its matches.
enum class FindAction : WPARAM { kOpen, kNext, kPrevious, kClose, kRecount };

class FindBarWin {
 public:
  // relayout: the window lays itself out again (the bar opened or closed);
  // closed: the keyboard goes back to the page.
  FindBarWin(IeBrowser& browser, std::function<void()> relayout, std::function<void()> closed)
      : finder_(browser), relayout_(std::move(relayout)), closed_(std::move(closed)) {}
  FindBarWin(const FindBarWin&) = delete;
  FindBarWin& operator=(const FindBarWin&) = delete;

  // Makes the bar's windows, hidden, as children of parent. The buttons
  // report to listener; the field's changes come to parent as EN_CHANGE.
  // False when the system refused.
  bool Create(HWND parent, HINSTANCE instance, ControlListener* listener);
  bool IsOpen() const { return open_; }
  // The bar's height in the client area at a DPI; 0 while it is closed.
  int Height(int dpi) const;
  // Places the bar's windows in a row from top, across width.
  void Place(int top, int width, int dpi);
  void SetFonts(HFONT text, HFONT buttons);
  // True for the bar's own windows.
  bool Owns(HWND window) const;

  // Shows the bar with the keyboard in its field, its text selected, and
  // searches the page again. The caller lays the window out.
  void Open();
  // Hides it and ends the search; the caller gives the keyboard back to the
  // page and lays the window out.
  void Close();
  void Next();
  void Previous();
  // The field's text changed: searched from the page's top once typing
  // pauses, since counting a long page's matches takes a while.
  void OnTextChanged();
  // The parent's WM_TIMER: true when it was the bar's own.
  bool OnTimer(UINT_PTR id);
  // The parent's timer for a search after typing; the viewer's own timers
  // are numbered from 1.
  static constexpr UINT_PTR kSearchTimer = 0x46;
  // The bar's keys wherever the keyboard is in window: Enter (Shift+Enter)
  // in its field, Ctrl+F, F3, Shift+F3, and Esc while the bar is open. True
  // when msg was one: it is taken, and its action posted to window.
  bool FilterKey(const MSG& msg, HWND window);
  // Opens, steps, closes or counts again; F3 and Shift+F3 open a closed bar.
  void Act(FindAction action);

 private:
  void Search();
  void ShowStatus(const wchar_t* text);
  void ShowStep(const PageFinder::StepResult& step, bool forward);
  // "3 of 14", the count alone, or "not found".
  void ShowCount();
  // A search waiting for typing to pause is done now.
  bool SearchIfPending();

  bool TakesFieldKey(const MSG& msg);

  PageFinder finder_;
  std::function<void()> relayout_;
  std::function<void()> closed_;
  bool open_ = false;
  bool search_pending_ = false;
  unsigned count_ = 0;     // as last counted
  bool more_ = false;      // counting stopped before the page's end
  unsigned position_ = 0;  // of the selected match; 0 when not known
  HWND parent_ = nullptr;
  HWND field_ = nullptr;
  HWND status_ = nullptr;
  std::array<HWND, 3> buttons_{};  // previous, next, close
};

}  // namespace vellum::win32
