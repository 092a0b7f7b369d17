#include "app/win32/controls_win.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/pictures.h"

namespace vellum::win32 {
namespace {

constexpr const wchar_t* kPanelClass = L"VellumPanel";
constexpr const wchar_t* kButtonClass = L"VellumSpeedButton";
constexpr const wchar_t* kImageClass = L"VellumImage";
constexpr const wchar_t* kLineClass = L"VellumLine";

// What a control window keeps; owned by the window from its first message
// (WM_NCCREATE) to its last (WM_NCDESTROY).
struct ControlState {
  int id = 0;
  ControlListener* listener = nullptr;
  ButtonLook look;
  bool pressed = false;        // the left button went down on this speed button
  bool other_pressed = false;  // the right or middle button did
  bool hot = false;            // the mouse is over it
  HBITMAP bitmap = nullptr;
  HCURSOR cursor = nullptr;
  int dpi = 96;  // images: the scale their picture is drawn at
  bool dark = false;
  bool adopted = false;

  ~ControlState() {
    if (bitmap != nullptr) DeleteObject(bitmap);
  }
};

ControlState* StateOf(HWND window) {
  return reinterpret_cast<ControlState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// A caption's colour: the design's, or on a dark face a lighter one of its kind.
COLORREF CaptionColour(const ControlState& state) {
  const COLORREF colour = state.look.colour;
  if (!state.dark) return colour == kWindowTextColour ? GetSysColor(COLOR_WINDOWTEXT) : colour;
  if (colour == RGB(0, 0, 255)) return RGB(0x8A, 0xB4, 0xF8);
  if (colour == RGB(128, 0, 128)) return RGB(0xD7, 0xAE, 0xFB);
  return kDarkText;
}

void FillFace(HDC dc, const RECT& box, const ControlState& state) {
  if (!state.dark) {
    FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
    return;
  }
  // The stock DC brush takes any colour without a brush to own.
  const HGDIOBJ old = SelectObject(dc, GetStockObject(DC_BRUSH));
  SetDCBrushColor(dc, kDarkFace);
  PatBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, PATCOPY);
  SelectObject(dc, old);
}

void Notify(HWND window, ControlState& state, ControlEvent event, LPARAM lparam) {
  POINT client{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  POINT screen = client;
  ClientToScreen(window, &screen);
  if (state.listener != nullptr) state.listener->OnControl(state.id, event, screen, client);
}

// The messages every control handles alike: taking over and freeing its state.
bool CommonMessage(HWND window, UINT message, LPARAM lparam, LRESULT* result) {
  if (message == WM_NCCREATE) {
    auto* state =
        static_cast<ControlState*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    state->adopted = true;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    // The default handling stores the window text.
    *result = DefWindowProcW(window, message, 0, lparam);
    return true;
  }
  if (message == WM_NCDESTROY) {
    delete StateOf(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    *result = 0;
    return true;
  }
  return false;
}

// The keyboard's place, as the system marks it: a dotted frame inside.
void DrawFocusMark(HWND window, HDC dc, RECT box) {
  if (GetFocus() != window) return;
  InflateRect(&box, -2, -2);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  DrawFocusRect(dc, &box);
}

// Space and Enter press a focused button or picture, as a click would.
bool IsPressKey(UINT message, WPARAM key) {
  return message == WM_KEYDOWN && (key == VK_SPACE || key == VK_RETURN);
}

void PaintButton(HWND window, HDC dc, const ControlState& state) {
  RECT box{};
  GetClientRect(window, &box);
  FillFace(dc, box, state);
  const bool enabled = IsWindowEnabled(window) != FALSE;
  POINT cursor{};
  GetCursorPos(&cursor);
  ScreenToClient(window, &cursor);
  const bool down = state.pressed && PtInRect(&box, cursor);
  if (state.look.framed && enabled) {
    // Always a button: the caption's colour round it.
    HBRUSH frame = CreateSolidBrush(CaptionColour(state));
    if (frame != nullptr) {
      FrameRect(dc, &box, frame);
      DeleteObject(frame);
    }
  }
  // Flat: an edge only while the mouse is over the button.
  if (enabled && down) {
    DrawEdge(dc, &box, BDR_SUNKENOUTER, BF_RECT);
  } else if (enabled && state.hot) {
    DrawEdge(dc, &box, BDR_RAISEDINNER, BF_RECT);
  }
  wchar_t caption[256] = {};
  int length = 0;
  if (state.look.glyph != nullptr) {
    lstrcpynW(caption, state.look.glyph, 256);
    length = lstrlenW(caption);
  } else {
    length = GetWindowTextW(window, caption, 256);
  }
  HGDIOBJ old_font =
      SelectObject(dc, state.look.font != nullptr ? static_cast<HGDIOBJ>(state.look.font)
                                                  : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  RECT text = box;
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
  if (state.look.margin >= 0) {
    text.left += state.look.margin;
    format |= DT_LEFT;
  } else {
    format |= DT_CENTER;
  }
  if (down) OffsetRect(&text, 1, 1);
  if (enabled) {
    SetTextColor(dc, CaptionColour(state));
    DrawTextW(dc, caption, length, &text, format);
  } else if (state.dark) {
    SetTextColor(dc, kDarkDisabledText);
    DrawTextW(dc, caption, length, &text, format);
  } else {
    // Disabled captions are embossed, as the system draws them.
    RECT light = text;
    OffsetRect(&light, 1, 1);
    SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawTextW(dc, caption, length, &light, format);
    SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
    DrawTextW(dc, caption, length, &text, format);
  }
  SelectObject(dc, old_font);
  DrawFocusMark(window, dc, box);
}

LRESULT ButtonMessage(HWND window, ControlState* state, UINT message, WPARAM wparam,
                      LPARAM lparam) {
  LRESULT result = 0;
  switch (message) {
    case WM_LBUTTONDOWN:
      if (state->other_pressed) return 0;
      state->pressed = true;
      SetCapture(window);
      InvalidateRect(window, nullptr, FALSE);
      Notify(window, *state, ControlEvent::kMouseDown, lparam);
      return 0;
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      // Other buttons press and release too (a hold on Back or Forward
      // starts with any of them) but never click.
      if (state->pressed || state->other_pressed) return 0;
      state->other_pressed = true;
      SetCapture(window);
      Notify(window, *state, ControlEvent::kMouseDown, lparam);
      return 0;
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (!state->other_pressed) return 0;
      state->other_pressed = false;
      ReleaseCapture();
      Notify(window, *state, ControlEvent::kMouseUp, lparam);
      return 0;
    case WM_MOUSEMOVE:
      if (!state->hot) {
        state->hot = true;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
        TrackMouseEvent(&track);
      }
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_MOUSELEAVE:
      state->hot = false;
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_LBUTTONUP: {
      if (!state->pressed) return 0;
      state->pressed = false;
      ReleaseCapture();
      InvalidateRect(window, nullptr, FALSE);
      RECT box{};
      GetClientRect(window, &box);
      const POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      const bool inside = PtInRect(&box, point) != FALSE;
      Notify(window, *state, ControlEvent::kMouseUp, lparam);
      // The release may have closed the window meanwhile.
      if (inside && IsWindow(window) && StateOf(window) == state)
        Notify(window, *state, ControlEvent::kClick, lparam);
      return 0;
    }
    case WM_CAPTURECHANGED:
      // A press taken away (the button disabled, a menu opened) ends as a release.
      if (state->pressed || state->other_pressed) {
        state->pressed = false;
        state->other_pressed = false;
        InvalidateRect(window, nullptr, FALSE);
        Notify(window, *state, ControlEvent::kMouseUp, MAKELPARAM(-1, -1));
      }
      return 0;
    case WM_ENABLE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_KEYDOWN:
      if (!IsPressKey(message, wparam) || !IsWindowEnabled(window))
        return DefWindowProcW(window, message, wparam, lparam);
      Notify(window, *state, ControlEvent::kClick, MAKELPARAM(0, 0));
      return 0;
    case WM_SETTEXT:
      result = DefWindowProcW(window, message, wparam, lparam);
      InvalidateRect(window, nullptr, FALSE);
      return result;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      HDC dc = BeginPaint(window, &paint);
      if (dc != nullptr) PaintButton(window, dc, *state);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

LRESULT ImageMessage(HWND window, ControlState* state, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      Notify(window, *state, ControlEvent::kMouseDown, lparam);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      Notify(window, *state, ControlEvent::kMouseUp, lparam);
      return 0;
    case WM_MOUSEMOVE:
      Notify(window, *state, ControlEvent::kMouseMove, lparam);
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) != window)
        Notify(window, *state, ControlEvent::kCaptureLost, MAKELPARAM(-1, -1));
      return 0;
    case WM_SETCURSOR:
      if (state->cursor == nullptr) break;
      SetCursor(state->cursor);
      return TRUE;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      HDC dc = BeginPaint(window, &paint);
      if (dc != nullptr) {
        RECT box{};
        GetClientRect(window, &box);
        FillFace(dc, box, *state);
        HDC memory = CreateCompatibleDC(dc);
        BITMAP info{};
        if (memory != nullptr && GetObjectW(state->bitmap, sizeof info, &info) != 0) {
          HGDIOBJ old = SelectObject(memory, state->bitmap);
          // The pictures are drawn for 96 DPI: at higher scales they grow
          // with the control, pixel for pixel.
          const int width = MulDiv(info.bmWidth, state->dpi, 96);
          const int height = MulDiv(info.bmHeight, state->dpi, 96);
          // In the middle of the target, which is larger than the picture.
          const int x = std::max(0, (static_cast<int>(box.right) - width) / 2);
          const int y = std::max(0, (static_cast<int>(box.bottom) - height) / 2);
          if (width == info.bmWidth && height == info.bmHeight) {
            BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
          } else {
            SetStretchBltMode(dc, COLORONCOLOR);
            StretchBlt(dc, x, y, width, height, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
          }
          SelectObject(memory, old);
        }
        if (memory != nullptr) DeleteDC(memory);
        DrawFocusMark(window, dc, box);
      }
      EndPaint(window, &paint);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT PanelMessage(HWND window, ControlState* state, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_MOUSEMOVE) {
    Notify(window, *state, ControlEvent::kMouseMove, lparam);
    return 0;
  }
  if (message == WM_ERASEBKGND && state->dark) {
    RECT box{};
    GetClientRect(window, &box);
    FillFace(reinterpret_cast<HDC>(wparam), box, *state);
    return 1;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT LineMessage(HWND window, ControlState* state, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_ERASEBKGND) return 1;
  if (message != WM_PAINT) return DefWindowProcW(window, message, wparam, lparam);
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  if (dc != nullptr) {
    RECT box{};
    GetClientRect(window, &box);
    const HGDIOBJ old = SelectObject(dc, GetStockObject(DC_BRUSH));
    SetDCBrushColor(dc, state->dark ? RGB(0x8A, 0xB4, 0xF8) : RGB(0x3A, 0x6F, 0xD8));
    PatBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, PATCOPY);
    SelectObject(dc, old);
  }
  EndPaint(window, &paint);
  return 0;
}

// The procedure of each control class: the state's life, then the class's
// own handling once the state is there.
template <LRESULT (*kHandle)(HWND, ControlState*, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (CommonMessage(window, message, lparam, &result)) return result;
  ControlState* state = StateOf(window);
  if (state == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return kHandle(window, state, message, wparam, lparam);
}

HWND CreateControl(const wchar_t* window_class, HWND parent, int id, const wchar_t* text,
                   const RECT& place, DWORD style, std::unique_ptr<ControlState> state) {
  HWND window = CreateWindowExW(
      0, window_class, text != nullptr ? text : L"", WS_CHILD | WS_VISIBLE | style, place.left,
      place.top, place.right - place.left, place.bottom - place.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), state.get());
  // Once the window has taken the state, it deletes it.
  if (state->adopted) state.release();
  return window;
}

// A 32-bit top-down bitmap of the picture; alpha is not used here, the
// pictures are opaque on their background.
HBITMAP ToBitmap(const Picture& picture) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.size;
  info.bmiHeader.biHeight = -picture.size;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) return bitmap;
  std::copy(picture.pixels.begin(), picture.pixels.end(), static_cast<std::uint32_t*>(bits));
  return bitmap;
}

}  // namespace

bool RegisterControlClasses(HINSTANCE instance) {
  const std::pair<const wchar_t*, WNDPROC> classes[] = {{kPanelClass, ControlProc<PanelMessage>},
                                                        {kButtonClass, ControlProc<ButtonMessage>},
                                                        {kImageClass, ControlProc<ImageMessage>},
                                                        {kLineClass, ControlProc<LineMessage>}};
  for (const auto& [name, procedure] : classes) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = name;
    if (RegisterClassW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  return true;
}

void UnregisterControlClasses(HINSTANCE instance) {
  for (const wchar_t* name : {kPanelClass, kButtonClass, kImageClass, kLineClass})
    UnregisterClassW(name, instance);
}

HWND CreatePanel(HWND parent, int id, ControlListener* listener) {
  auto state = std::make_unique<ControlState>();
  state->id = id;
  state->listener = listener;
  return CreateControl(kPanelClass, parent, id, nullptr, RECT{0, 0, 1, 1}, WS_CLIPCHILDREN,
                       std::move(state));
}

HWND CreateSpeedButton(HWND parent, int id, const wchar_t* caption, const RECT& place,
                       const ButtonLook& look, ControlListener* listener) {
  auto state = std::make_unique<ControlState>();
  state->id = id;
  state->listener = listener;
  state->look = look;
  return CreateControl(kButtonClass, parent, id, caption, place, 0, std::move(state));
}

HWND CreateLine(HWND parent, int id) {
  auto state = std::make_unique<ControlState>();
  state->id = id;
  return CreateControl(kLineClass, parent, id, nullptr, RECT{0, 0, 1, 1}, 0, std::move(state));
}

HWND CreateImage(HWND parent, int id, HBITMAP bitmap, const RECT& place, HCURSOR cursor,
                 ControlListener* listener) {
  auto state = std::make_unique<ControlState>();
  state->id = id;
  state->listener = listener;
  state->bitmap = bitmap;
  state->cursor = cursor;
  return CreateControl(kImageClass, parent, id, nullptr, place, 0, std::move(state));
}

void SetButtonFont(HWND button, HFONT font) {
  ControlState* state = StateOf(button);
  if (state == nullptr) return;
  state->look.font = font;
  InvalidateRect(button, nullptr, FALSE);
}

void SetButtonMargin(HWND button, int margin) {
  ControlState* state = StateOf(button);
  if (state == nullptr) return;
  state->look.margin = margin;
  InvalidateRect(button, nullptr, FALSE);
}

void SetImageDpi(HWND image, int dpi) {
  ControlState* state = StateOf(image);
  if (state == nullptr || dpi <= 0) return;
  state->dpi = dpi;
  InvalidateRect(image, nullptr, TRUE);
}

void SetControlDark(HWND control, bool dark) {
  ControlState* state = StateOf(control);
  if (state == nullptr || state->dark == dark) return;
  state->dark = dark;
  InvalidateRect(control, nullptr, TRUE);
}

void SetImageBitmap(HWND image, HBITMAP bitmap) {
  ControlState* state = StateOf(image);
  if (state == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    return;
  }
  if (state->bitmap != nullptr) DeleteObject(state->bitmap);
  state->bitmap = bitmap;
  InvalidateRect(image, nullptr, TRUE);
}

HBITMAP NewMenuIcon(bool dark) {
  const COLORREF face = dark ? kDarkFace : GetSysColor(COLOR_BTNFACE);
  return ToBitmap(
      MenuIconPicture(0xFF000000u | (static_cast<std::uint32_t>(GetRValue(face)) << 16) |
                      (static_cast<std::uint32_t>(GetGValue(face)) << 8) | GetBValue(face)));
}

HBITMAP NewDragHandle(bool dark) {
  // The arrow in the bar's text colour, on the bar's own face.
  const COLORREF face = dark ? kDarkFace : GetSysColor(COLOR_BTNFACE);
  const COLORREF ink = dark ? kDarkText : GetSysColor(COLOR_BTNTEXT);
  const auto argb = [](COLORREF c) {
    return 0xFF000000u | (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
  };
  return ToBitmap(DragHandlePicture(argb(ink), argb(face)));
}

}  // namespace vellum::win32
