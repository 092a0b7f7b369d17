// What the viewer lets the WebBrowser control do on its own: which keys reach
// it, and how a local file becomes the URL it is asked to load. Pure
// functions, so that they can be read and tested without a control.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace vellum {

enum class KeyRoute {
  kOffer,              // offered to the control's own shortcuts, then delivered
  kDeliver,            // delivered to the page as typed, never taken as a shortcut
  kSwallow,            // dropped: it would change the page behind the viewer
  kOpenMenu,           // dropped, and the viewer's own menu opens instead
  kBack,               // dropped, and the viewer steps back in its own history
  kForward,            // dropped, and the viewer steps forward
  kLargerText,         // dropped, and the viewer's text size steps up
  kSmallerText,        // ... down
  kNormalSize,         // ... back to 100 %
  kFind,               // dropped, and the viewer's find bar opens
  kFindNext,           // dropped, and the find bar goes to the next match
  kFindPrevious,       // ... to the previous one
  kCopyWithReference,  // dropped, and the viewer copies the selection with its place
  kPrint,              // dropped, and the viewer prints the page through its own command
};

struct KeyState {
  bool ctrl = false;
  bool alt = false;
  bool shift = false;
};

// The modifier keys as they stood when the message being handled was sent.
KeyState CurrentKeyState();

// The route of one key message for one of the control's windows. Only keys
// that act inside the page are offered as shortcuts (copy, select all,
// scrolling, Tab); keys that would navigate, reload, print, open files or
// windows are dropped; the context-menu keys open ours; Alt+Left and
// Alt+Right step our history, never the control's; Ctrl+F, F3 and Shift+F3
// are our find bar's; Ctrl+Shift+C and Ctrl+P are our copy with reference
// and print.
KeyRoute RouteKey(UINT message, WPARAM key, KeyState state);

// The URL for a navigation the viewer asks for. A local path (C:\..., a UNC
// path) becomes a file URL through the system's own conversion, with its
// fragment ("#TOC") appended afterwards, since a path with a fragment is
// neither a URL nor a path. Anything that already names a scheme of more
// than one letter (about:, file:, res:) is kept as it is. nullopt when the
// system cannot convert the path.
std::optional<std::wstring> NavigationUrl(std::wstring_view target);

// Whether an event's URL is the blank document's, as the engine reports it.
bool IsBlankPageUrl(std::wstring_view url);

// The optical zoom for pages at a window's DPI and the reader's text size
// (percent). With DOCHOSTUIFLAG_DPI_AWARE the control takes the optical zoom
// as the page's whole scale against 96 DPI (Microsoft Learn, "Addressing DPI
// issues", the WebBrowser control): 125 % scaling is a zoom of 125, not 100.
// Within the command's range, 10 to 1000.
int PageZoomPercent(int window_dpi, int text_size_percent);

// A root element's class attribute with the theme's mark: "vellum-dark" or
// "vellum-light" added, the other taken away, every other class kept.
std::wstring WithThemeClass(std::wstring_view classes, bool dark);

}  // namespace vellum
