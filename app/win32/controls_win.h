// The title bar's own controls: flat speed buttons, images and the panel
// that holds them. Each reports its mouse events to one listener.
#pragma once

#include <windows.h>

namespace vellum::win32 {

enum class ControlEvent {
  kMouseDown,  // any button pressed (speed buttons: the left one)
  kMouseUp,    // that button released, or the press lost (capture taken away)
  kMouseMove,
  kClick,        // speed buttons: left press and release over the button
  kCaptureLost,  // images: the mouse capture went elsewhere
};

class ControlListener {
 public:
  virtual ~ControlListener() = default;
  // `screen` is the event's own point in screen coordinates; `client` the
  // same point in the control's coordinates.
  virtual void OnControl(int id, ControlEvent event, POINT screen, POINT client) = 0;
};

// Registers the window classes; false when the system refused.
bool RegisterControlClasses(HINSTANCE instance);
void UnregisterControlClasses(HINSTANCE instance);

// Stands for the system's window text colour (clWindowText).
inline constexpr COLORREF kWindowTextColour = 0xFF000000;

// The title bar's dark face and captions (the Linux viewer's too).
inline constexpr COLORREF kDarkFace = RGB(0x2B, 0x2A, 0x28);
inline constexpr COLORREF kDarkText = RGB(0xE4, 0xE0, 0xD8);
inline constexpr COLORREF kDarkDisabledText = RGB(0x6E, 0x6A, 0x64);

struct ButtonLook {
  HFONT font = nullptr;  // not owned
  COLORREF colour = kWindowTextColour;
  int margin = -1;  // caption's distance from the left edge; -1: centred
  // Drawn instead of the window text, which then names the button for
  // assistive technology ("<" for "Back"); nullptr: the text is drawn.
  const wchar_t* glyph = nullptr;
  // A frame in the caption's colour: a button that waits to be pressed.
  bool framed = false;
};

HWND CreatePanel(HWND parent, int id, ControlListener* listener);
HWND CreateSpeedButton(HWND parent, int id, const wchar_t* caption, const RECT& place,
                       const ButtonLook& look, ControlListener* listener);
// The image takes over the bitmap and deletes it with the window.
HWND CreateImage(HWND parent, int id, HBITMAP bitmap, const RECT& place, HCURSOR cursor,
                 ControlListener* listener);
// A thin line in the accent colour: the title bar's sign of a page loading.
HWND CreateLine(HWND parent, int id);
// The DPI an image draws its picture for (96: as it is).
void SetImageDpi(HWND image, int dpi);
// Changes a speed button's font (not owned), redrawing it.
void SetButtonFont(HWND button, HFONT font);
// Changes a speed button's caption margin (-1: centred), redrawing it.
void SetButtonMargin(HWND button, int margin);

// A control drawn on the dark face (captions in lighter colours), or the
// system's face again.
void SetControlDark(HWND control, bool dark);
// Gives an image a new bitmap, which it takes over; the old one is deleted.
void SetImageBitmap(HWND image, HBITMAP bitmap);

// Our own pictures: the 16x16 menu icon (on the face it stands on) and the
// 19x19 drag handle.
HBITMAP NewMenuIcon(bool dark = false);
HBITMAP NewDragHandle(bool dark = false);

}  // namespace vellum::win32
