#include "app/win32/viewer_window_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "app/win32/layout_win.h"
#include "browser/ie_events_win.h"
#include "browser/ie_rules_win.h"
#include "core/guarded.h"
#include "core/scoped_value.h"
#include "host/protocol.h"
#include "host/win32_link.h"

namespace vellum::win32 {
namespace {

std::runtime_error SystemError(const char* what) {
  char text[160];
  std::snprintf(text, sizeof text, "%s (error %lu)", what, GetLastError());
  return std::runtime_error(text);
}

int ControlOf(Button button) {
  switch (button) {
    case Button::kLocation:
      return kSpeedButton2;
    case Button::kPendingJump:
      return kSpeedButton1;
    case Button::kIndex:
      return kSBtnINDEX;
    case Button::kBack:
      return kSBtnBACK;
    case Button::kForward:
      return kSBtnFORWARD;
  }
  return 0;
}

// How far the window rectangle reaches beyond what the user sees.
RECT InvisibleMargins(HWND window) {
  RECT outer{};
  RECT visible{};
  if (!GetWindowRect(window, &outer) || !VisibleBounds(window, &visible)) return RECT{};
  return RECT{visible.left - outer.left, visible.top - outer.top, outer.right - visible.right,
              outer.bottom - visible.bottom};
}

}  // namespace

bool Font::Make(int dpi) {
  HFONT made = CreateFontW(Scaled(height_, dpi), 0, 0, 0, weight_, FALSE, underline_ ? TRUE : FALSE,
                           FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face_);
  if (made == nullptr) return false;
  DropPrevious();
  previous_ = font_;
  font_ = made;
  return true;
}

void Font::DropPrevious() {
  if (previous_ != nullptr) DeleteObject(previous_);
  previous_ = nullptr;
}

Font::~Font() {
  DropPrevious();
  if (font_ != nullptr) DeleteObject(font_);
}

ViewerWindowWin::ViewerWindowWin(HINSTANCE instance, const StartOptions& options)
    : instance_(instance),
      options_(options),
      window_font_(L"MS Sans Serif", -11, FW_NORMAL, false),
      arial_(L"Arial", -12, FW_NORMAL, false),
      arial_underlined_(L"Arial", -12, FW_NORMAL, true),
      arial_bold_(L"Arial", -12, FW_BOLD, false),
      arial_black_(L"Arial Black", -11, FW_NORMAL, false) {
  try {
    browser_ = std::make_unique<IeBrowser>(
        [this](std::string_view url) { return viewer_ && viewer_->OnBeforeNavigate(url); },
        [this](POINT screen) { PostOpenMenu(screen); });
    pump_.SetFilter([this](MSG& msg) { return FilterMessage(msg); });
    if (!RegisterClasses()) throw SystemError("cannot register the window classes");
    if (!CreateWindows()) throw SystemError("cannot create the viewer window");
    sync_ = std::make_unique<Win32SyncLink>(
        instance_, [this](const TbcvRec& location) { OnSyncLocation(location); },
        [this](const std::string& notice) {
          if (viewer_) viewer_->ShowSyncNotice(notice);
        });
    viewer_ = std::make_unique<Viewer>(
        ViewerPorts{*browser_, *this, timers_, host_, pump_, files_, rules_, &sync_->Port()});
  } catch (...) {
    Release();
    throw;
  }
}

ViewerWindowWin::~ViewerWindowWin() {
  Release();
}

void ViewerWindowWin::Release() noexcept {
  hook_.Remove();
  viewer_.reset();
  sync_.reset();
  find_bar_.reset();  // its text ranges are the control's
  if (browser_) browser_->Close();
  if (window_ != nullptr) DestroyWindow(window_);
  window_ = nullptr;
  if (application_ != nullptr) DestroyWindow(application_);
  application_ = nullptr;
  menu_.Destroy();
  // The tooltip went with its owner window; its classes go with the library.
  tooltip_ = nullptr;
  if (common_controls_ != nullptr) FreeLibrary(common_controls_);
  common_controls_ = nullptr;
  if (classes_registered_) {
    UnregisterClassW(kViewerClassW, instance_);
    UnregisterClassW(kApplicationClass, instance_);
    UnregisterControlClasses(instance_);
    classes_registered_ = false;
  }
}

bool ViewerWindowWin::RegisterClasses() {
  WNDCLASSW viewer{};
  viewer.lpfnWndProc = Procedure<&ViewerWindowWin::window_, &ViewerWindowWin::Handle>;
  viewer.hInstance = instance_;
  viewer.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  viewer.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  viewer.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  viewer.lpszClassName = kViewerClassW;
  WNDCLASSW application = viewer;
  application.lpfnWndProc =
      Procedure<&ViewerWindowWin::application_, &ViewerWindowWin::HandleApplication>;
  application.lpszClassName = kApplicationClass;
  // Whatever part succeeds is unregistered again at the end.
  classes_registered_ = true;
  return RegisterClassW(&viewer) != 0 && RegisterClassW(&application) != 0 &&
         RegisterControlClasses(instance_);
}

bool ViewerWindowWin::CreateWindows() {
  // The application's own window: never seen, it only carries the taskbar
  // entry and owns the viewer, so that minimizing the application hides the
  // viewer and leaves the entry minimized.
  const int cx = GetSystemMetrics(SM_CXSCREEN) / 2;
  const int cy = GetSystemMetrics(SM_CYSCREEN) / 2;
  application_ = CreateWindowExW(0, kApplicationClass, kViewerTitleW,
                                 WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, cx, cy, 0, 0,
                                 nullptr, nullptr, instance_, this);
  if (application_ == nullptr) return false;
  window_ = CreateWindowExW(0, kViewerClassW, kViewerTitleW, kWindowStyle, 429, 255, 469, 365,
                            application_, nullptr, instance_, this);
  if (window_ == nullptr) return false;
  // The frame was measured while the window was being made, before its
  // procedure knew it: measured again, now without the top sizing strip.
  if (!SetWindowPos(window_, nullptr, 0, 0, 0, 0,
                    SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
    return false;
  timers_.SetWindow(window_);
  host_.SetOwnWindow(window_);
  // A host running with fewer rights than the viewer can still reach it.
  if (!host::AcceptCopyDataFromAnyProcess(window_))
    std::fprintf(stderr, "vellum: host messages from programs with fewer rights may not arrive\n");
  dpi_ = WindowDpi(window_);
  for (Font* font : {&window_font_, &arial_, &arial_underlined_, &arial_bold_, &arial_black_}) {
    if (!font->Make(dpi_)) throw SystemError("cannot make the title bar's fonts");
  }
  CreateTitleBar();

  if (!menu_.Create()) return false;

  // Without the control the viewer still runs: every page then fails at once.
  const HRESULT hr = browser_->Create(window_, BrowserPlace());
  if (FAILED(hr))
    std::fprintf(stderr, "vellum: the WebBrowser control is not available (0x%08lx)\n",
                 static_cast<unsigned long>(hr));
  find_bar_ = std::make_unique<FindBarWin>(
      *browser_, [this] { LayOut(); }, [this] { browser_->Focus(); });
  if (!find_bar_->Create(window_, instance_, this)) return false;
  // Counted again for a page shown under the open bar, outside the event.
  browser_->SetDocumentStood([this] {
    PostMessageW(window_, kFindMessage, static_cast<WPARAM>(FindAction::kRecount), 0);
  });
  find_bar_->SetFonts(window_font_.Get(), window_font_.Get());
  go_to_bar_ = std::make_unique<GoToBarWin>(GoToBarWin::Callbacks{
      [this](const std::string& typed) {
        return viewer_ ? viewer_->OnGoToEntered(typed) : GoToResult{};
      },
      [this](const std::string& typed) {
        return viewer_ ? viewer_->GoToCompletion(typed) : std::optional<std::string>{};
      },
      [this] { LayOut(); }, [this] { browser_->Focus(); }});
  if (!go_to_bar_->Create(window_, instance_, this)) return false;
  go_to_bar_->SetFonts(window_font_.Get(), window_font_.Get());
  ZoomPagesForDpi();
  LayOut();
  return true;
}

void ViewerWindowWin::CreateTitleBar() {
  panel_ = CreatePanel(window_, kPanel1, this);
  for (const ControlPlace& place : kTitleBar) {
    // Placed for real by LayOut, once the panel has its width.
    const RECT rect{0, 0, Scaled(place.width, dpi_), Scaled(place.height, dpi_)};
    HWND control = nullptr;
    if (place.id == kImage1) {
      control = CreateImage(panel_, place.id, NewMenuIcon(), rect, nullptr, this);
    } else if (place.id == kImage2) {
      control = CreateImage(panel_, place.id, NewDragHandle(), rect,
                            LoadCursorA(nullptr, IDC_SIZEALL), this);
    } else {
      ButtonLook look;
      look.colour = place.colour;
      look.margin = place.margin < 0 ? -1 : Scaled(place.margin, dpi_);
      look.font = FontOf(place.face);
      look.framed = place.id == kSpeedButton1;  // the pending jump waits to be pressed
      // A sign drawn, a word for its name ("<" is "Back").
      const wchar_t* name = SpokenName(place.id);
      if (name != nullptr) look.glyph = place.caption;
      control = CreateSpeedButton(panel_, place.id, name != nullptr ? name : place.caption, rect,
                                  look, this);
    }
    if (control == nullptr) throw SystemError("cannot create the title bar");
    if (place.id == kImage1 || place.id == kImage2) SetImageDpi(control, dpi_);
    controls_[place.id] = control;
  }
  // Quiet words where the host's answer would stand: a caption that is not
  // a button, drawn as a disabled one is.
  ButtonLook quiet;
  quiet.font = window_font_.Get();
  quiet.margin = Scaled(2, dpi_);
  notice_ = CreateSpeedButton(panel_, kNotice, L"", RECT{}, quiet, this);
  loading_line_ = CreateLine(panel_, kLoading);
  if (notice_ == nullptr || loading_line_ == nullptr)
    throw SystemError("cannot create the title bar");
  EnableWindow(notice_, FALSE);
  ShowWindow(notice_, SW_HIDE);
  ShowWindow(loading_line_, SW_HIDE);
  ShowWindow(controls_[kSpeedButton1], SW_HIDE);
  EnableWindow(controls_[kSBtnBACK], FALSE);
  EnableWindow(controls_[kSBtnFORWARD], FALSE);
}

HFONT ViewerWindowWin::FontOf(Face face) const {
  switch (face) {
    case Face::kWindow:
      return window_font_.Get();
    case Face::kArial:
      return underlined_ ? arial_underlined_.Get() : arial_.Get();
    case Face::kArialBold:
      return arial_bold_.Get();
    case Face::kArialBlack:
      return arial_black_.Get();
  }
  return nullptr;
}

void ViewerWindowWin::ApplyDpi(int dpi) {
  if (dpi <= 0 || dpi == dpi_) return;
  dpi_ = dpi;
  for (Font* font : {&window_font_, &arial_, &arial_underlined_, &arial_bold_, &arial_black_}) {
    if (!font->Make(dpi_))
      std::fprintf(stderr, "vellum: cannot make a font for %d DPI (error %lu)\n", dpi_,
                   GetLastError());
  }
  for (const ControlPlace& place : kTitleBar) {
    HWND control = controls_[place.id];
    if (place.id == kImage1 || place.id == kImage2) {
      SetImageDpi(control, dpi_);
    } else {
      // The location button's font follows its underline.
      SetButtonFont(control, place.id == kSpeedButton2 ? FontOf(Face::kArial) : FontOf(place.face));
      SetButtonMargin(control, place.margin < 0 ? -1 : Scaled(place.margin, dpi_));
    }
  }
  if (find_bar_) find_bar_->SetFonts(window_font_.Get(), window_font_.Get());
  if (go_to_bar_) go_to_bar_->SetFonts(window_font_.Get(), window_font_.Get());
  SetButtonFont(notice_, window_font_.Get());
  SetButtonMargin(notice_, Scaled(2, dpi_));
  for (Font* font : {&window_font_, &arial_, &arial_underlined_, &arial_bold_, &arial_black_})
    font->DropPrevious();
}

// Pages as large as the title bar on any monitor, the system's own too.
void ViewerWindowWin::ZoomPagesForDpi() {
  browser_->SetWindowDpi(dpi_);
}

RECT ViewerWindowWin::BrowserPlace() const {
  RECT client{};
  if (window_ != nullptr) GetClientRect(window_, &client);
  const LONG top = Scaled(kPanelHeight, dpi_) + (find_bar_ ? find_bar_->Height(dpi_) : 0) +
                   (go_to_bar_ ? go_to_bar_->Height(dpi_) : 0);
  // While a slow page loads, the old one is not shown as if it were current.
  if (loading_) return RECT{0, top, client.right, top};
  return RECT{0, top, client.right, std::max<LONG>(client.bottom, top)};
}

// Panel1 spans the top; the right-anchored controls keep their distance to
// its right edge; the browser fills the rest. Every length grows with the DPI.
void ViewerWindowWin::LayOut() {
  RECT client{};
  if (window_ == nullptr || panel_ == nullptr || !GetClientRect(window_, &client)) return;
  MoveWindow(panel_, 0, 0, client.right, Scaled(kPanelHeight, dpi_), TRUE);
  // The left-hand parts share what the right-hand block leaves them.
  const TitleBarParts parts =
      LayOutTitleBar(std::max<int>(client.right, Scaled(kNarrowestPanel, dpi_)),
                     IndexCaptionWidth(), pending_wanted_ || notice_wanted_, dpi_);
  const auto place_part = [this](HWND control, const TitleSlot& slot, bool wanted) {
    const bool shown = wanted && slot.shown;
    if (shown)
      MoveWindow(control, slot.x, Scaled(kTitleBarTargetTop, dpi_), slot.width,
                 Scaled(kTitleBarTarget, dpi_), TRUE);
    // Its own flag: IsWindowVisible is false for every child of a window not yet shown.
    const bool visible = (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
    if (visible != shown) ShowWindow(control, shown ? SW_SHOWNA : SW_HIDE);
  };
  for (const ControlPlace& place : kTitleBar) {
    if (place.id == kSpeedButton2) {
      place_part(controls_[place.id], parts.location, true);
    } else if (place.id == kSpeedButton1) {
      place_part(controls_[place.id], parts.pending, pending_wanted_);
    } else if (place.id == kSBtnINDEX) {
      place_part(controls_[place.id], parts.index, true);
    } else {
      const RECT rect = PlaceInPanel(place, client.right, dpi_);
      MoveWindow(controls_[place.id], rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, TRUE);
    }
  }
  if (notice_ != nullptr) place_part(notice_, parts.pending, notice_wanted_ && !pending_wanted_);
  ShowIndexTooltip(parts.index_cut);
  MoveWindow(loading_line_, 0, Scaled(kPanelHeight - 2, dpi_), client.right, Scaled(2, dpi_), TRUE);
  int bar_top = Scaled(kPanelHeight, dpi_);
  if (find_bar_ && find_bar_->IsOpen()) {
    find_bar_->Place(bar_top, client.right, dpi_);
    bar_top += find_bar_->Height(dpi_);
  }
  if (go_to_bar_ && go_to_bar_->IsOpen()) go_to_bar_->Place(bar_top, client.right, dpi_);
  browser_->SetRect(BrowserPlace());
}

HWND ViewerWindowWin::ButtonWindow(Button button) const {
  const auto found = controls_.find(ControlOf(button));
  return found != controls_.end() ? found->second : nullptr;
}

int ViewerWindowWin::Run() {
  // The mouse hook first; without it, right clicks simply reach the page.
  if (!hook_.Install([this](POINT cursor) { PostOpenMenu(cursor); }))
    std::fprintf(stderr, "vellum: the mouse hook is not installed\n");
  viewer_->OnStart(options_);
  if (viewer_->Closed()) return 0;
  ShowWindow(application_, SW_SHOWNOACTIVATE);
  ShowWindow(window_, SW_SHOW);
  shown_ = true;
  // DWM knows a window's invisible frame only once it has been shown
  // (DWMWA_EXTENDED_FRAME_BOUNDS): the bounds set before, measured without
  // it, are set again, or the window would open a few pixels off and a
  // little smaller at every start.
  if (const std::optional<Bounds> early = std::exchange(bounds_before_shown_, std::nullopt)) {
    const ScopedValue<bool> placing(placing_, true);
    SetWindowBounds(*early);
  }
  UpdateWindow(window_);
  running_ = true;
  MSG msg{};
  int code = 0;
  while (true) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      code = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) {
      code = 1;
      break;
    }
    pump_.Deliver(msg);
  }
  running_ = false;
  // The loop has ended: an import at work is stopped, the control goes,
  // then the window (which removes the hook), then the owner.
  add_books_.reset();
  find_bar_.reset();
  browser_->Close();
  DestroyWindow(window_);
  window_ = nullptr;
  DestroyWindow(application_);
  application_ = nullptr;
  return code;
}

void ViewerWindowWin::OnDestroyed() {
  hook_.Remove();
}

bool ViewerWindowWin::TitleBarKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || window_ == nullptr) return false;
  if (msg.hwnd != window_ && IsChild(window_, msg.hwnd) == FALSE) return false;
  const KeyState keys = CurrentKeyState();
  if (keys.ctrl || keys.alt) return false;
  // The buttons the keyboard can press, left to right: shown and enabled.
  std::vector<HWND> order;
  for (const int id : {kImage1, kSpeedButton2, kSpeedButton1, kSBtnINDEX, kSBtnBACK, kSBtnFORWARD,
                       kSpeedButton4, kSpeedButton3}) {
    HWND control = controls_[id];
    if (control != nullptr && IsWindowVisible(control) && IsWindowEnabled(control))
      order.push_back(control);
  }
  const auto at = std::find(order.begin(), order.end(), msg.hwnd);
  const bool in_bar = at != order.end();
  if (msg.wParam == VK_F6) {
    if (in_bar || order.empty()) {
      browser_->Focus();
    } else {
      SetFocus(order.front());
    }
    return true;
  }
  if (!in_bar) return false;
  if (msg.hwnd == controls_[kImage1] && (msg.wParam == VK_RETURN || msg.wParam == VK_SPACE)) {
    // The menu opens below the icon once this key is done with: opened
    // inside it, the menu would take the key's character for its own.
    RECT icon{};
    GetWindowRect(msg.hwnd, &icon);
    PostOpenMenu(POINT{icon.left, icon.bottom});
    return true;
  }
  int step = 0;
  if (msg.wParam == VK_TAB) step = keys.shift ? -1 : 1;
  if (msg.wParam == VK_RIGHT) step = 1;
  if (msg.wParam == VK_LEFT) step = -1;
  if (step == 0) return false;
  const auto next = (at - order.begin()) + step;
  // Past either end, the page has the keys again.
  if (next < 0 || next >= static_cast<std::ptrdiff_t>(order.size())) {
    browser_->Focus();
  } else {
    SetFocus(order[static_cast<std::size_t>(next)]);
  }
  return true;
}

bool ViewerWindowWin::FilterMessage(MSG& msg) {
  if (add_books_ && add_books_->FilterMessage(msg)) return true;
  if (!browser_) return false;
  if (TitleBarKey(msg)) return true;
  if (go_to_bar_ && go_to_bar_->FilterKey(msg, window_)) return true;
  if (find_bar_ && find_bar_->FilterKey(msg, window_)) return true;
  // The mouse's back and forward buttons over the page step our history,
  // never the control's own. Over our own windows they come as WM_APPCOMMAND.
  if ((msg.message == WM_XBUTTONDOWN || msg.message == WM_XBUTTONUP ||
       msg.message == WM_XBUTTONDBLCLK) &&
      browser_->IsControlWindow(msg.hwnd)) {
    if (msg.message == WM_XBUTTONUP)
      PostMessageW(window_, kHistoryStepMessage, GET_XBUTTON_WPARAM(msg.wParam) == XBUTTON1 ? 0 : 1,
                   0);
    return true;
  }
  // Ctrl and the wheel over the page: the viewer's text size, never the
  // control's own zoom.
  if (msg.message == WM_MOUSEWHEEL && (GET_KEYSTATE_WPARAM(msg.wParam) & MK_CONTROL) != 0 &&
      browser_->IsControlWindow(msg.hwnd)) {
    PostMessageW(window_, kTextSizeMessage, kTextSizeWheel, GET_WHEEL_DELTA_WPARAM(msg.wParam));
    return true;
  }
  if (!browser_->IsControlKey(msg)) return false;

  const KeyRoute route = RouteKey(msg.message, msg.wParam, CurrentKeyState());
  switch (route) {
    case KeyRoute::kSwallow:
    case KeyRoute::kFind:  // taken by the find bar already
    case KeyRoute::kFindNext:
    case KeyRoute::kFindPrevious:
      return true;
    case KeyRoute::kOpenMenu:
      PostOpenMenu(KeyboardMenuPoint());
      return true;
    case KeyRoute::kLargerText:
    case KeyRoute::kSmallerText:
    case KeyRoute::kNormalSize:
      PostMessageW(window_, kTextSizeMessage,
                   route == KeyRoute::kLargerText    ? 1
                   : route == KeyRoute::kSmallerText ? 2
                                                     : 0,
                   0);
      return true;
    case KeyRoute::kCopyWithReference:
    case KeyRoute::kPrint:
      PostMessageW(window_, kMenuCommandMessage,
                   route == KeyRoute::kPrint ? kPrint1 : kCopyWithReference1, 0);
      return true;
    case KeyRoute::kBack:
    case KeyRoute::kForward:
      // One step per press: a held key's repeats (lParam bit 30: the key was
      // down already) step no further.
      if ((msg.lParam & (LPARAM{1} << 30)) == 0)
        PostMessageW(window_, kHistoryStepMessage, route == KeyRoute::kBack ? 0 : 1, 0);
      return true;
    case KeyRoute::kOffer:
      return browser_->TranslateAccelerator(msg);
    case KeyRoute::kDeliver:
      return false;
  }
  return false;
}

void ViewerWindowWin::PostOpenMenu(POINT screen) {
  if (window_ == nullptr) return;
  if (!PostMessageW(window_, kOpenMenuMessage, static_cast<WPARAM>(static_cast<LONG_PTR>(screen.x)),
                    static_cast<LPARAM>(screen.y)))
    std::fprintf(stderr, "vellum: cannot open the menu (error %lu)\n", GetLastError());
}

// The menu asked for from the keyboard opens at the caret when the page has
// one, else at the page's top-left corner.
POINT ViewerWindowWin::KeyboardMenuPoint() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (GetGUIThreadInfo(GetCurrentThreadId(), &info) && info.hwndCaret != nullptr) {
    POINT caret{info.rcCaret.left, info.rcCaret.bottom};
    if (ClientToScreen(info.hwndCaret, &caret)) return caret;
  }
  const RECT place = BrowserPlace();
  POINT corner{place.left, place.top};
  ClientToScreen(window_, &corner);
  return corner;
}

// ---- Events ----

// One procedure for both windows: it finds this object from the window's
// creation parameter and hands the message to the window's handler.
template <HWND ViewerWindowWin::*kWindow,
          LRESULT (ViewerWindowWin::*kHandler)(UINT, WPARAM, LPARAM)>
LRESULT CALLBACK ViewerWindowWin::Procedure(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<ViewerWindowWin*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  // Messages of the creation itself come before the handle is known.
  if (self == nullptr || self->*kWindow != window)
    return DefWindowProcW(window, message, wparam, lparam);
  LRESULT result = 0;
  if (Guarded([&] { result = (self->*kHandler)(message, wparam, lparam); })) return result;
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT ViewerWindowWin::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      LayOut();
      if (running_ && viewer_) viewer_->OnResized();
      return 0;
    case WM_TIMER: {
      if (find_bar_ && find_bar_->OnTimer(wparam)) return 0;
      TimerId id{};
      if (viewer_ && Win32Timers::FromTimerId(wparam, &id)) viewer_->OnTimer(id);
      return 0;
    }
    case WM_COPYDATA: {
      const host::Message received = host::ReadCopyData(wparam, lparam);
      if (viewer_)
        viewer_->ReceiveHostMessage(received.code, received.payload.data(),
                                    received.payload.size());
      // TRUE tells the sender the message was taken.
      return host::kCopyDataHandled;
    }
    case kFindMessage:
      if (find_bar_ && wparam <= static_cast<WPARAM>(FindAction::kRecount)) {
        // One bar at a time.
        if (static_cast<FindAction>(wparam) == FindAction::kOpen && go_to_bar_)
          go_to_bar_->Act(GoToAction::kClose);
        find_bar_->Act(static_cast<FindAction>(wparam));
      }
      return 0;
    case kGoToMessage:
      if (go_to_bar_ && wparam <= static_cast<WPARAM>(GoToAction::kClose)) {
        if (static_cast<GoToAction>(wparam) == GoToAction::kOpen && find_bar_)
          find_bar_->Act(FindAction::kClose);
        go_to_bar_->Act(static_cast<GoToAction>(wparam));
      }
      return 0;
    case WM_COMMAND:
      if (find_bar_ && LOWORD(wparam) == kFindText && HIWORD(wparam) == EN_CHANGE)
        find_bar_->OnTextChanged();
      if (go_to_bar_ && LOWORD(wparam) == kGoToText && HIWORD(wparam) == EN_CHANGE)
        go_to_bar_->OnTextChanged();
      return 0;
    case kMenuCommandMessage:
      if (viewer_ && (wparam == kPrint1 || wparam == kCopyWithReference1))
        OnCommand(static_cast<int>(wparam));
      return 0;
    case kTextSizeMessage:
      if (viewer_ && wparam == kTextSizeWheel) {
        // Fine wheels send parts of WHEEL_DELTA.
        viewer_->OnTextSizeWheel(static_cast<short>(lparam) / double{WHEEL_DELTA});
      } else if (viewer_) {
        viewer_->OnTextSizeChosen(wparam == 1 ? +1 : wparam == 2 ? -1 : 0);
      }
      return 0;
    case kHistoryStepMessage:
      if (viewer_) {
        if (wparam == 0) {
          viewer_->OnBackClicked();
        } else {
          viewer_->OnForwardClicked();
        }
      }
      return 0;
    case WM_APPCOMMAND:
      // The mouse's back and forward buttons (and such keys) over our own
      // windows, passed up to this one by DefWindowProc.
      switch (GET_APPCOMMAND_LPARAM(lparam)) {
        case APPCOMMAND_BROWSER_BACKWARD:
          if (viewer_) viewer_->OnBackClicked();
          return TRUE;
        case APPCOMMAND_BROWSER_FORWARD:
          if (viewer_) viewer_->OnForwardClicked();
          return TRUE;
        default:
          return DefWindowProcW(window_, message, wparam, lparam);
      }
    case kOpenMenuMessage:
      if (viewer_)
        viewer_->OpenMenuAt({static_cast<std::int32_t>(static_cast<LONG_PTR>(wparam)),
                             static_cast<std::int32_t>(lparam)});
      return 0;
    case WM_NCCALCSIZE:
      if (wparam != FALSE) {
        // The sizing frame stays on the left, right and bottom; along the
        // top, where a caption bar would be, Windows 10 and 11 would draw it
        // as a white strip above the title bar.
        auto* sizes = reinterpret_cast<NCCALCSIZE_PARAMS*>(lparam);
        const RECT proposed = sizes->rgrc[0];
        const LRESULT result = DefWindowProcW(window_, message, wparam, lparam);
        // Maximized, the window reaches beyond the monitor by its frame on
        // every side: the top must come down by as much as the bottom went
        // up, or the title bar's top is off the screen.
        sizes->rgrc[0].top = IsZoomed(window_)
                                 ? proposed.top + (proposed.bottom - sizes->rgrc[0].bottom)
                                 : proposed.top;
        return result;
      }
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_DPICHANGED: {
      // Moved to a monitor of another scale: new fonts, pictures and places.
      // The rectangle the system suggests for the new scale is taken for a
      // move the user or the system made. For our own moves: the saved place
      // before the window is first shown is the size wanted already (scaled
      // again, it would grow at every start); during a drag or a docking
      // step its size is taken, the window staying where the drag put it,
      // or fonts and buttons would grow in a window of the old size.
      ApplyDpi(HIWORD(wparam));
      ZoomPagesForDpi();
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      const bool placing = placing_ || IsWindowVisible(window_) == FALSE;
      if (suggested != nullptr && (applying_bounds_ == 0 || !placing)) {
        const UINT keep_place = applying_bounds_ == 0 ? 0 : SWP_NOMOVE;
        const ScopedValue<int> applying(applying_bounds_, applying_bounds_ + 1);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE | keep_place);
      }
      LayOut();
      return 0;
    }
    case WM_QUERYENDSESSION:
      return TRUE;  // nothing here needs the user's answer
    case WM_ENDSESSION:
      // The session ends, and the process with it once this message returns:
      // no WM_CLOSE comes (WM_ENDSESSION, Microsoft Learn). Closed as a close
      // does, the settings are written.
      if (wparam != FALSE) {
        // Nothing modal now: a message box would stand on the shutdown
        // screen, holding the session up until someone answers it.
        const ScopedValue<bool> ending(session_ending_, true);
        CloseWindow();
      }
      return 0;
    case WM_GETMINMAXINFO:
      if (applying_bounds_ > 0) {
        reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = POINT{1, 1};
        return 0;
      }
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_SETTINGCHANGE:
      if (IsColourSetChange(lparam) && theme_ == Theme::kFollowSystem) ApplyTheme();
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (dark_) {
        // Without a brush the system's own colours are better than none.
        if (HBRUSH brush = dark_surface_.ForField(reinterpret_cast<HDC>(wparam)))
          return reinterpret_cast<LRESULT>(brush);
      }
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_ERASEBKGND:
      if (!dark_) return DefWindowProcW(window_, message, wparam, lparam);
      {
        RECT client{};
        GetClientRect(window_, &client);
        dark_surface_.Fill(reinterpret_cast<HDC>(wparam), client);
      }
      return 1;
    case WM_SETFOCUS:
      // The window itself has nothing to type into: the keyboard goes on to the page.
      if (!focusing_) {
        focusing_ = true;
        browser_->Focus();
        focusing_ = false;
      }
      return 0;
    case WM_CLOSE:
      CloseWindow();
      return 0;
    case WM_DESTROY:
      OnDestroyed();
      return 0;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

// The taskbar entry: restoring it brings the viewer back, minimizing and
// closing it act on the viewer.
LRESULT ViewerWindowWin::HandleApplication(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SYSCOMMAND) {
    switch (wparam & 0xFFF0) {
      case SC_MINIMIZE:
        MinimizeApplication();
        return 0;
      case SC_RESTORE: {
        const LRESULT result = DefWindowProcW(application_, message, wparam, lparam);
        if (minimized_ && window_ != nullptr) {
          minimized_ = false;
          ShowWindow(window_, SW_SHOW);
          SetForegroundWindow(window_);
        }
        return result;
      }
      default:
        break;
    }
  }
  if (message == WM_CLOSE) {
    CloseWindow();
    return 0;
  }
  // The entry itself is never seen: activating it (a click on the taskbar
  // entry, a task switch) hands on to the viewer.
  if (message == WM_SETFOCUS && window_ != nullptr && IsWindowVisible(window_)) {
    SetActiveWindow(window_);
    return 0;
  }
  return DefWindowProcW(application_, message, wparam, lparam);
}

void ViewerWindowWin::OnControl(int id, ControlEvent event, POINT screen, POINT client) {
  Guarded([&] {
    if (!viewer_) return;
    Viewer& v = *viewer_;
    const bool click = event == ControlEvent::kClick;
    const bool down = event == ControlEvent::kMouseDown;
    const bool up = event == ControlEvent::kMouseUp;
    switch (id) {
      case kImage1:
        if (down) {
          // The client area's corner plus the point in the icon's own coordinates.
          POINT corner{0, 0};
          ClientToScreen(window_, &corner);
          v.OnMenuIconPressed({corner.x + client.x, corner.y + client.y});
        }
        break;
      case kImage2:
        if (down) v.OnDragHandlePressed({screen.x, screen.y});
        if (event == ControlEvent::kMouseMove) v.DragStep({screen.x, screen.y});
        if (up) v.OnDragHandleReleased();
        if (event == ControlEvent::kCaptureLost) v.DragCaptureLost();
        break;
      case kPanel1:
        if (event == ControlEvent::kMouseMove) v.DragStep({screen.x, screen.y});
        break;
      case kSpeedButton2:
        if (click) v.OnLocationClicked();
        break;
      case kSpeedButton1:
        if (click) v.OnPendingJumpClicked();
        break;
      case kSBtnINDEX:
        if (click) v.OnIndexClicked();
        break;
      case kSBtnBACK:
        if (down) v.OnBackPressed();
        if (up) v.OnBackReleased();
        if (click) v.OnBackClicked();
        break;
      case kSBtnFORWARD:
        if (down) v.OnForwardPressed();
        if (up) v.OnForwardReleased();
        if (click) v.OnForwardClicked();
        break;
      case kSpeedButton4:
        if (click) v.OnMinimizeClicked();
        break;
      case kSpeedButton3:
        if (click) v.OnCloseClicked();
        break;
      case kGoToGo:
      case kGoToClose:
        if (click)
          PostMessageW(window_, kGoToMessage,
                       static_cast<WPARAM>(id == kGoToGo ? GoToAction::kGo : GoToAction::kClose),
                       0);
        break;
      case kFindPrevious:
      case kFindNext:
      case kFindClose:
        if (click && find_bar_)
          find_bar_->Act(id == kFindNext       ? FindAction::kNext
                         : id == kFindPrevious ? FindAction::kPrevious
                                               : FindAction::kClose);
        break;
      default:
        break;
    }
  });
}

// ---- ControlsPort ----

void ViewerWindowWin::SetCaption(Button button, const std::string& caption) {
  // Captions are book names and codes: a library's own names are UTF-8,
  // others text in the ANSI code page.
  if (!SetWindowTextW(ButtonWindow(button), DisplayTextToWide(caption).c_str()))
    std::fprintf(stderr, "vellum: cannot set a caption (error %lu)\n", GetLastError());
  if (button == Button::kIndex) LayOut();
}

void ViewerWindowWin::SetVisible(Button button, bool visible) {
  if (button == Button::kPendingJump) {
    pending_wanted_ = visible;
    LayOut();
    return;
  }
  ShowWindow(ButtonWindow(button), visible ? SW_SHOWNA : SW_HIDE);
}

void ViewerWindowWin::SetEnabled(Button button, bool enabled) {
  EnableWindow(ButtonWindow(button), enabled ? TRUE : FALSE);
  // The menu's Back and Forward go with their buttons.
  if (button == Button::kBack) menu_.SetEnabled(kBack1, enabled);
  if (button == Button::kForward) menu_.SetEnabled(kForward1, enabled);
}

void ViewerWindowWin::SetUnderline(Button button, bool underline) {
  if (button == Button::kLocation) underlined_ = underline;
  SetButtonFont(ButtonWindow(button), underline ? arial_underlined_.Get() : arial_.Get());
}

// The window's bounds as the user sees them: placing, saving and docking
// all work with the visible window, not its invisible resize borders.
Bounds ViewerWindowWin::WindowBounds() {
  // A hidden (minimised) window has no frame for DWM to measure: it is
  // where it last stood while shown, and that is what is saved.
  if (shown_ && (IsWindowVisible(window_) == FALSE || IsIconic(window_) != FALSE) &&
      last_visible_bounds_)
    return *last_visible_bounds_;
  RECT rect{};
  if (!VisibleBounds(window_, &rect)) return {};
  const Bounds bounds{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
  if (IsWindowVisible(window_) != FALSE && IsIconic(window_) == FALSE)
    last_visible_bounds_ = bounds;
  return bounds;
}

void ViewerWindowWin::SetWindowBounds(const Bounds& bounds) {
  if (!shown_) bounds_before_shown_ = bounds;
  // Saved and docked sizes are applied as they are, even below the size the
  // system lets the user drag the window down to.
  const RECT margin = InvisibleMargins(window_);
  BOOL moved = FALSE;
  {
    // Counted: a nested change (WM_DPICHANGED) must not end it for this call.
    const ScopedValue<int> applying(applying_bounds_, applying_bounds_ + 1);
    moved = SetWindowPos(window_, nullptr, bounds.left - margin.left, bounds.top - margin.top,
                         bounds.width + margin.left + margin.right,
                         bounds.height + margin.top + margin.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (!moved) std::fprintf(stderr, "vellum: cannot move the window (error %lu)\n", GetLastError());
}

ScreenPoint ViewerWindowWin::ScreenSize() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

std::vector<ScreenRect> ViewerWindowWin::Monitors() {
  std::vector<ScreenRect> monitors;
  EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
        auto* list = reinterpret_cast<std::vector<ScreenRect>*>(data);
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (!GetMonitorInfoW(monitor, &info)) return TRUE;
        const RECT& r = info.rcMonitor;
        const ScreenRect rect{r.left, r.top, r.right, r.bottom};
        if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0) {
          list->insert(list->begin(), rect);
        } else {
          list->push_back(rect);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

bool ViewerWindowWin::LockUpdates() {
  // Drawing is not held. WM_SETREDRAW FALSE on the window clears WS_VISIBLE
  // (WM_SETREDRAW, Microsoft Learn: remarks), so hit testing would skip the
  // window for the whole page wait and clicks would fall through to whatever
  // lies below; LockWindowUpdate takes the one lock the whole system has.
  // DWM composes the window, so a load shows no flicker without either.
  return false;
}

void ViewerWindowWin::UnlockUpdates() {}

void ViewerWindowWin::CloseWindow() {
  if (!viewer_ || !viewer_->OnClosing()) return;
  // The loop ends, then the window is destroyed: never inside one of its
  // own handlers, which may be running further up.
  ShowWindow(window_, SW_HIDE);
  PostQuitMessage(0);
}

void ViewerWindowWin::MinimizeApplication() {
  WindowBounds();  // where it stands, kept while it is hidden
  minimized_ = true;
  ShowWindow(window_, SW_HIDE);
  ShowWindow(application_, SW_MINIMIZE);
}

void ViewerWindowWin::SetStayOnTop(bool on) {
  // The window keeps its handle: only its place in the z-order changes.
  if (on == on_top_) return;
  if (!SetWindowPos(window_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                    SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE)) {
    std::fprintf(stderr, "vellum: cannot change the stay-on-top state (error %lu)\n",
                 GetLastError());
    return;
  }
  on_top_ = on;
}

void ViewerWindowWin::CaptureMouse() {
  SetCapture(controls_[kImage2]);
}

void ViewerWindowWin::ReleaseMouse() {
  ReleaseCapture();
}

}  // namespace vellum::win32
