// The Windows viewer window: a captionless pop-up with the home-made title
// bar and the WebBrowser control, wired to the viewer's behaviour.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/add_books_dialog_win.h"
#include "app/win32/biblesync_win.h"
#include "app/win32/controls_win.h"
#include "app/win32/find_bar_win.h"
#include "app/win32/go_to_bar_win.h"
#include "app/win32/layout_win.h"
#include "app/win32/link_hook_win.h"
#include "app/win32/popup_menu_win.h"
#include "app/win32/ports_win.h"
#include "app/win32/theme_win.h"
#include "browser/ie_browser_win.h"
#include "core/ports.h"
#include "core/viewer.h"
#include "platform/platform.h"

namespace vellum::win32 {

// A GDI font owned by the window, made again when the window's DPI changes.
class Font {
 public:
  Font(const wchar_t* face, int height, int weight, bool underline)
      : face_(face), height_(height), weight_(weight), underline_(underline) {}
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  ~Font();
  // Makes the font for a DPI (its height is given at 96 DPI); false when the
  // system refused, keeping the font there was. The one it replaces stays
  // until DropPrevious: controls may still hold it until they are given the
  // new one.
  bool Make(int dpi);
  void DropPrevious();
  HFONT Get() const { return font_; }

 private:
  const wchar_t* face_;
  int height_;
  int weight_;
  bool underline_;
  HFONT font_ = nullptr;
  HFONT previous_ = nullptr;
};

// A private message: open the menu at the screen point (wParam, lParam).
inline constexpr UINT kOpenMenuMessage = WM_APP + 1;
// A private message: one history step, back (wParam 0) or forward (1).
inline constexpr UINT kHistoryStepMessage = WM_APP + 2;
// A private message: the text size, larger (wParam 1), smaller (2) or normal (0).
inline constexpr UINT kTextSizeMessage = WM_APP + 3;
// kTextSizeMessage's wParam for the wheel, with its delta in lParam.
inline constexpr WPARAM kTextSizeWheel = 3;
// A private message: the menu command wParam, from a key of the page.
inline constexpr UINT kMenuCommandMessage = WM_APP + 6;

class ViewerWindowWin final : public ControlsPort, private ControlListener {
 public:
  ViewerWindowWin(HINSTANCE instance, const StartOptions& options = {});
  ViewerWindowWin(const ViewerWindowWin&) = delete;
  ViewerWindowWin& operator=(const ViewerWindowWin&) = delete;
  ~ViewerWindowWin() override;

  // Start-up, the message loop, shutdown. Returns the exit code.
  int Run();

  // ControlsPort
  void SetCaption(Button button, const std::string& caption) override;
  void SetVisible(Button button, bool visible) override;
  void SetEnabled(Button button, bool enabled) override;
  void SetUnderline(Button button, bool underline) override;
  Bounds WindowBounds() override;
  void SetWindowBounds(const Bounds& bounds) override;
  ScreenPoint ScreenSize() override;
  std::vector<ScreenRect> Monitors() override;
  bool LockUpdates() override;
  void UnlockUpdates() override;
  void CloseWindow() override;
  void MinimizeApplication() override;
  void SetStayOnTop(bool on) override;
  void SetStayOnTopCheck(bool checked) override;
  void SetSyncReachCheck(SyncReach reach) override;
  std::optional<std::string> AskSyncPassphrase(const std::string& current) override;
  void SetLibraries(const std::vector<std::string>& labels, int chosen) override;
  void SetTheme(Theme theme) override;
  void ShowPopupMenu(ScreenPoint at) override;
  void ShowMessage(const std::string& text) override;
  void CaptureMouse() override;
  void ReleaseMouse() override;
  void SetNotice(const std::string& text) override;
  void SetClipboardText(const std::string& text) override;
  void SetLoading(bool loading) override;

 private:
  // Lets go of everything the window holds; also after a failed start.
  void Release() noexcept;
  bool RegisterClasses();
  bool CreateWindows();
  void CreateTitleBar();
  HFONT FontOf(Face face) const;
  // Fonts, pictures and places for the window's current DPI.
  void ApplyDpi(int dpi);
  void ZoomPagesForDpi();
  void LayOut();
  // The Index button's width for its caption within the panel's free width,
  // and its tooltip (the whole caption where it does not fit).
  // The width the Index caption wants, its margins included; the tooltip
  // shows it whole when cut.
  int IndexCaptionWidth();
  void ShowIndexTooltip(bool cut);
  bool pending_wanted_ = false;  // the viewer offers a pending jump
  bool notice_wanted_ = false;   // ... or tells of the host's silence
  void MakeIndexTooltip();
  // The browser control's place in the client area.
  RECT BrowserPlace() const;
  // Keys for the browser control go through the key rules first.
  bool FilterMessage(MSG& msg);
  // F6 between the page and the title bar; Tab, Shift+Tab and the arrows
  // along the title bar's buttons. True when msg was one of them.
  bool TitleBarKey(const MSG& msg);

  // Opens the menu from the window procedure, never from inside a hook or a
  // COM call: posted, so whatever called has returned first.
  void PostOpenMenu(POINT screen);
  POINT KeyboardMenuPoint() const;
  HWND ButtonWindow(Button button) const;
  void OnControl(int id, ControlEvent event, POINT screen, POINT client) override;
  void OnCommand(int id);
  // A place another Bible program went to.
  void OnSyncLocation(const TbcvRec& location);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleApplication(UINT message, WPARAM wparam, LPARAM lparam);
  void OnDestroyed();
  // Dark or light as the theme chosen (or the desktop) says: frame, title
  // bar, find bar and pages.
  void ApplyTheme();

  template <HWND ViewerWindowWin::*kWindow,
            LRESULT (ViewerWindowWin::*kHandler)(UINT, WPARAM, LPARAM)>
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HINSTANCE instance_;
  StartOptions options_;

  // Ports and the behaviour they serve; the behaviour is made last.
  SystemFileSystem files_;
  LocaleTextRules rules_;
  Win32Pump pump_;
  Win32Timers timers_;
  Win32HostLink host_;
  std::unique_ptr<IeBrowser> browser_;
  std::unique_ptr<Win32SyncLink> sync_;
  std::unique_ptr<Viewer> viewer_;
  std::unique_ptr<FindBarWin> find_bar_;
  std::unique_ptr<GoToBarWin> go_to_bar_;
  std::unique_ptr<AddBooksDialogWin> add_books_;
  LinkHook hook_;

  Font window_font_;
  Font arial_;
  Font arial_underlined_;
  Font arial_bold_;
  Font arial_black_;

  HWND application_ = nullptr;  // hidden owner, the taskbar entry
  HWND window_ = nullptr;       // frmHView
  HWND panel_ = nullptr;
  std::map<int, HWND> controls_;  // title-bar controls by id
  PopupMenuWin menu_;
  HWND tooltip_ = nullptr;  // the Index button's, for a caption cut short
  HWND notice_ = nullptr;   // the host's silence, where its answer would stand
  HWND loading_line_ = nullptr;
  bool loading_ = false;  // a slow page: the line shows, the old page does not
  HMODULE common_controls_ = nullptr;
  int dpi_ = 96;
  bool underlined_ = false;  // the location button's font
  Theme theme_ = Theme::kFollowSystem;
  bool dark_ = false;
  DarkSurface dark_surface_;

  bool running_ = false;
  int applying_bounds_ = 0;      // our own SetWindowBounds calls under way
  bool placing_ = false;         // the start's place, set again once shown
  bool session_ending_ = false;  // WM_ENDSESSION: nothing may wait for the user
  bool shown_ = false;           // the window has been shown once
  std::optional<Bounds> bounds_before_shown_;
  std::optional<Bounds> last_visible_bounds_;  // while hidden, what WindowBounds says
  bool focusing_ = false;
  bool on_top_ = false;
  bool minimized_ = false;
  bool classes_registered_ = false;
};

}  // namespace vellum::win32
