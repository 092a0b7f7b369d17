#include "app/win32/viewer_window_win.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "app/win32/layout_win.h"
#include "core/guarded.h"
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

}  // namespace

Font::Font(const char* face, int height, int weight, bool underline)
    : font_(CreateFontA(height, 0, 0, 0, weight, FALSE, underline ? TRUE : FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, face)) {}

Font::~Font() {
  if (font_ != nullptr) DeleteObject(font_);
}

ViewerWindowWin::ViewerWindowWin(HINSTANCE instance)
    : instance_(instance),
      window_font_("MS Sans Serif", -11, FW_NORMAL, false),
      arial_("Arial", -12, FW_NORMAL, false),
      arial_underlined_("Arial", -12, FW_NORMAL, true),
      arial_bold_("Arial", -12, FW_BOLD, false),
      arial_black_("Arial Black", -11, FW_NORMAL, false) {
  try {
    browser_ = std::make_unique<IeBrowser>([this](std::string_view url) {
      return viewer_ && viewer_->WebBrowser1BeforeNavigate2(url);
    });
    if (!RegisterClasses()) throw SystemError("cannot register the window classes");
    if (!CreateWindows()) throw SystemError("cannot create the viewer window");
    viewer_ = std::make_unique<Viewer>(
        ViewerPorts{*browser_, *this, timers_, host_, pump_, files_, rules_});
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
  if (browser_) browser_->Close();
  if (window_ != nullptr) DestroyWindow(window_);
  window_ = nullptr;
  if (application_ != nullptr) DestroyWindow(application_);
  application_ = nullptr;
  if (menu_ != nullptr) DestroyMenu(menu_);
  menu_ = nullptr;
  if (classes_registered_) {
    UnregisterClassA(std::string(host::kViewerClass).c_str(), instance_);
    UnregisterClassA(kApplicationClass, instance_);
    UnregisterControlClasses(instance_);
    classes_registered_ = false;
  }
}

bool ViewerWindowWin::RegisterClasses() {
  WNDCLASSA viewer{};
  viewer.lpfnWndProc = Procedure<&ViewerWindowWin::window_, &ViewerWindowWin::Handle>;
  viewer.hInstance = instance_;
  viewer.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  viewer.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  viewer.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  const std::string viewer_class(host::kViewerClass);
  viewer.lpszClassName = viewer_class.c_str();
  WNDCLASSA application = viewer;
  application.lpfnWndProc =
      Procedure<&ViewerWindowWin::application_, &ViewerWindowWin::HandleApplication>;
  application.lpszClassName = kApplicationClass;
  // Whatever part succeeds is unregistered again at the end.
  classes_registered_ = true;
  return RegisterClassA(&viewer) != 0 && RegisterClassA(&application) != 0 &&
         RegisterControlClasses(instance_);
}

bool ViewerWindowWin::CreateWindows() {
  const std::string title(host::kViewerTitle);
  // The application's own window: never seen, it only carries the taskbar
  // entry and owns the viewer, so that minimizing the application hides the
  // viewer and leaves the entry minimized.
  const int cx = GetSystemMetrics(SM_CXSCREEN) / 2;
  const int cy = GetSystemMetrics(SM_CYSCREEN) / 2;
  application_ = CreateWindowExA(0, kApplicationClass, title.c_str(),
                                 WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, cx, cy, 0, 0,
                                 nullptr, nullptr, instance_, this);
  if (application_ == nullptr) return false;
  window_ = CreateWindowExA(0, std::string(host::kViewerClass).c_str(), title.c_str(), kWindowStyle,
                            429, 255, 469, 365, application_, nullptr, instance_, this);
  if (window_ == nullptr) return false;
  timers_.SetWindow(window_);
  host_.SetOwnWindow(window_);
  CreateTitleBar();

  menu_ = CreatePopupMenu();
  if (menu_ == nullptr) return false;
  const std::pair<MenuId, const char*> items[] = {{kCopyCB1, "CopyClipboard"},
                                                  {kAlwaysOnTop1, "Always On Top"},
                                                  {kAbout1, "About"},
                                                  {kClose1, "Close"}};
  for (const auto& [id, caption] : items) {
    if (!AppendMenuA(menu_, MF_STRING, static_cast<UINT_PTR>(id), caption)) return false;
  }

  RECT client{};
  GetClientRect(window_, &client);
  const RECT place{0, kPanelHeight, client.right, std::max<LONG>(client.bottom, kPanelHeight)};
  // Without the control the viewer still runs: every page then fails at once.
  const HRESULT hr = browser_->Create(window_, place);
  if (FAILED(hr))
    std::fprintf(stderr, "vellum: the WebBrowser control is not available (0x%08lx)\n",
                 static_cast<unsigned long>(hr));
  LayOut();
  return true;
}

void ViewerWindowWin::CreateTitleBar() {
  panel_ = CreatePanel(window_, kPanel1, this);
  for (const ControlPlace& place : kTitleBar) {
    const RECT rect{place.x, place.y, place.x + place.width, place.y + place.height};
    HWND control = nullptr;
    if (place.id == kImage1) {
      control = CreateImage(panel_, place.id, NewMenuIcon(), rect, nullptr, this);
    } else if (place.id == kImage2) {
      control = CreateImage(panel_, place.id, NewDragHandle(), rect,
                            LoadCursorA(nullptr, IDC_SIZEALL), this);
    } else {
      ButtonLook look;
      look.colour = place.colour;
      look.margin = place.margin;
      switch (place.face) {
        case Face::kWindow:
          look.font = window_font_.Get();
          break;
        case Face::kArial:
          look.font = arial_.Get();
          break;
        case Face::kArialBold:
          look.font = arial_bold_.Get();
          break;
        case Face::kArialBlack:
          look.font = arial_black_.Get();
          break;
      }
      control = CreateSpeedButton(panel_, place.id, place.caption, rect, look, this);
    }
    if (control == nullptr) throw SystemError("cannot create the title bar");
    controls_[place.id] = control;
  }
  ShowWindow(controls_[kSpeedButton1], SW_HIDE);
  EnableWindow(controls_[kSBtnBACK], FALSE);
  EnableWindow(controls_[kSBtnFORWARD], FALSE);
}

// Panel1 spans the top; the right-anchored controls keep their distance to
// its right edge; the browser fills the rest.
void ViewerWindowWin::LayOut() {
  RECT client{};
  if (window_ == nullptr || panel_ == nullptr || !GetClientRect(window_, &client)) return;
  MoveWindow(panel_, 0, 0, client.right, kPanelHeight, TRUE);
  for (const ControlPlace& place : kTitleBar) {
    if (place.right == 0) continue;
    MoveWindow(controls_[place.id], client.right - place.right, place.y, place.width, place.height,
               TRUE);
  }
  browser_->SetRect(
      RECT{0, kPanelHeight, client.right, std::max<LONG>(client.bottom, kPanelHeight)});
}

HWND ViewerWindowWin::ButtonWindow(Button button) const {
  const auto found = controls_.find(ControlOf(button));
  return found != controls_.end() ? found->second : nullptr;
}

int ViewerWindowWin::Run() {
  // The mouse hook first; without it, right clicks simply reach the page.
  if (!hook_.Install([this](POINT cursor) { viewer_->OpenMenuAt({cursor.x, cursor.y}); }))
    std::fprintf(stderr, "vellum: the mouse hook is not installed\n");
  viewer_->FormCreate();
  if (viewer_->Closed()) return 0;
  ShowWindow(application_, SW_SHOWNOACTIVATE);
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
  running_ = true;
  MSG msg{};
  int code = 0;
  while (true) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      code = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) {
      code = 1;
      break;
    }
    if (browser_->TranslateAccelerator(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  running_ = false;
  // The loop has ended: the control goes, then the window (which removes
  // the hook), then the owner.
  browser_->Close();
  DestroyWindow(window_);
  window_ = nullptr;
  DestroyWindow(application_);
  application_ = nullptr;
  return code;
}

void ViewerWindowWin::FormDestroy() {
  hook_.Remove();
}

// ---- Events ----

// One procedure for both windows: it finds this object from the window's
// creation parameter and hands the message to the window's handler.
template <HWND ViewerWindowWin::*kWindow,
          LRESULT (ViewerWindowWin::*kHandler)(UINT, WPARAM, LPARAM)>
LRESULT CALLBACK ViewerWindowWin::Procedure(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<ViewerWindowWin*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  // Messages of the creation itself come before the handle is known.
  if (self == nullptr || self->*kWindow != window)
    return DefWindowProcA(window, message, wparam, lparam);
  LRESULT result = 0;
  if (Guarded([&] { result = (self->*kHandler)(message, wparam, lparam); })) return result;
  return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT ViewerWindowWin::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      LayOut();
      if (running_ && viewer_) viewer_->FormResize();
      return 0;
    case WM_TIMER: {
      TimerId id{};
      if (viewer_ && Win32Timers::FromTimerId(wparam, &id)) viewer_->OnTimer(id);
      return 0;
    }
    case WM_COPYDATA: {
      const host::Message received = host::ReadCopyData(wparam, lparam);
      if (viewer_)
        viewer_->ReceiveHostMessage(received.code, received.payload.data(),
                                    received.payload.size());
      return 0;
    }
    case WM_GETMINMAXINFO:
      if (applying_bounds_) {
        reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = POINT{1, 1};
        return 0;
      }
      return DefWindowProcA(window_, message, wparam, lparam);
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
      FormDestroy();
      return 0;
    default:
      return DefWindowProcA(window_, message, wparam, lparam);
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
        const LRESULT result = DefWindowProcA(application_, message, wparam, lparam);
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
  return DefWindowProcA(application_, message, wparam, lparam);
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
          v.Image1MouseDown({corner.x + client.x, corner.y + client.y});
        }
        break;
      case kImage2:
        if (down) v.Image2MouseDown({screen.x, screen.y});
        if (event == ControlEvent::kMouseMove) v.DragStep({screen.x, screen.y});
        if (up) v.Image2MouseUp();
        break;
      case kPanel1:
        if (event == ControlEvent::kMouseMove) v.DragStep({screen.x, screen.y});
        break;
      case kSpeedButton2:
        if (click) v.SpeedButton2Click();
        break;
      case kSpeedButton1:
        if (click) v.SpeedButton1Click();
        break;
      case kSBtnINDEX:
        if (click) v.SBtnINDEXClick();
        break;
      case kSBtnBACK:
        if (down) v.SBtnBACKMouseDown();
        if (up) v.SBtnBACKMouseUp();
        if (click) v.SBtnBACKClick();
        break;
      case kSBtnFORWARD:
        if (down) v.SBtnFORWARDMouseDown();
        if (up) v.SBtnFORWARDMouseUp();
        if (click) v.SBtnFORWARDClick();
        break;
      case kSpeedButton4:
        if (click) v.SpeedButton4Click();
        break;
      case kSpeedButton3:
        if (click) v.SpeedButton3Click();
        break;
      default:
        break;
    }
  });
}

void ViewerWindowWin::OnCommand(int id) {
  Viewer& v = *viewer_;
  switch (id) {
    case kCopyCB1:
      v.CopyCB1Click();
      break;
    case kAlwaysOnTop1:
      v.AlwaysOnTop1Click();
      break;
    case kAbout1:
      v.About1Click();
      break;
    case kClose1:
      v.Close1Click();
      break;
    default:
      break;
  }
}

// ---- ControlsPort ----

void ViewerWindowWin::SetCaption(Button button, const std::string& caption) {
  if (!SetWindowTextA(ButtonWindow(button), caption.c_str()))
    std::fprintf(stderr, "vellum: cannot set a caption (error %lu)\n", GetLastError());
}

void ViewerWindowWin::SetVisible(Button button, bool visible) {
  ShowWindow(ButtonWindow(button), visible ? SW_SHOWNA : SW_HIDE);
}

void ViewerWindowWin::SetEnabled(Button button, bool enabled) {
  EnableWindow(ButtonWindow(button), enabled ? TRUE : FALSE);
}

void ViewerWindowWin::SetUnderline(Button button, bool underline) {
  SetButtonFont(ButtonWindow(button), underline ? arial_underlined_.Get() : arial_.Get());
}

Bounds ViewerWindowWin::WindowBounds() {
  RECT rect{};
  if (!GetWindowRect(window_, &rect)) return {};
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void ViewerWindowWin::SetWindowBounds(const Bounds& bounds) {
  // Saved and docked sizes are applied as they are, even below the size the
  // system lets the user drag the window down to.
  applying_bounds_ = true;
  const BOOL moved = SetWindowPos(window_, nullptr, bounds.left, bounds.top, bounds.width,
                                  bounds.height, SWP_NOZORDER | SWP_NOACTIVATE);
  applying_bounds_ = false;
  if (!moved) std::fprintf(stderr, "vellum: cannot move the window (error %lu)\n", GetLastError());
}

ScreenPoint ViewerWindowWin::ScreenSize() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool ViewerWindowWin::LockUpdates() {
  // Only one window of the system can be locked at a time.
  if (locked_ || !LockWindowUpdate(window_)) return false;
  locked_ = true;
  return true;
}

void ViewerWindowWin::UnlockUpdates() {
  if (!locked_) return;
  LockWindowUpdate(nullptr);
  locked_ = false;
}

void ViewerWindowWin::CloseWindow() {
  if (!viewer_ || !viewer_->FormClose()) return;
  // The loop ends, then the window is destroyed: never inside one of its
  // own handlers, which may be running further up.
  ShowWindow(window_, SW_HIDE);
  PostQuitMessage(0);
}

void ViewerWindowWin::MinimizeApplication() {
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

void ViewerWindowWin::SetStayOnTopCheck(bool checked) {
  CheckMenuItem(menu_, kAlwaysOnTop1, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void ViewerWindowWin::ShowPopupMenu(ScreenPoint at) {
  // The menu closes properly only when its owner is in the foreground.
  SetForegroundWindow(window_);
  const int command = static_cast<int>(TrackPopupMenu(
      menu_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x,
      at.y, 0, window_, nullptr));
  PostMessageA(window_, WM_NULL, 0, 0);
  if (command != 0) OnCommand(command);
}

void ViewerWindowWin::ShowMessage(const std::string& text) {
  MessageBoxA(window_, text.c_str(), std::string(host::kViewerTitle).c_str(), MB_OK | MB_ICONERROR);
}

void ViewerWindowWin::CaptureMouse() {
  SetCapture(controls_[kImage2]);
}

void ViewerWindowWin::ReleaseMouse() {
  ReleaseCapture();
}

}  // namespace vellum::win32
