// The host protocol over X11: the same codes and payload bytes as the Windows
// copy-data messages. A sender appends a frame to the _VELLUM_COPYDATA
// property of the receiver's top-level window and rings a _VELLUM_DOORBELL
// client message; the receiver takes (reads and deletes) the property and
// handles its frames in order. A sender knows its message was taken when the
// property is deleted. X errors (a window that vanished) are trapped, never
// fatal. See docs/host-protocol.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/geometry.h"
#include "host/protocol.h"

struct _XDisplay;

namespace vellum::host {

using XDisplay = _XDisplay;
using XWindow = unsigned long;

// Collects X errors for its lifetime instead of letting the default handler
// end the program. Nested traps are fine; the outermost restores the old
// handler. The destructor syncs, so errors of the calls made meanwhile count.
class X11ErrorTrap {
 public:
  explicit X11ErrorTrap(XDisplay* display);
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;
  ~X11ErrorTrap();
  // Syncs with the server and tells whether any error arrived so far.
  bool Failed();

 private:
  XDisplay* display_;
  int errors_before_;
  void* previous_handler_;
};

// The class part of WM_CLASS, and the title (_NET_WM_NAME, else WM_NAME).
std::string WindowClass(XDisplay* display, XWindow window);
std::string WindowTitle(XDisplay* display, XWindow window);

// The WM_WINDOW_ROLE of the viewer's own window: of several windows of the
// viewer's class and title, the one that has it is the viewer.
inline constexpr std::string_view kViewerRole = "frmHView";

// Both lookups search the window manager's client list (_NET_CLIENT_LIST),
// newest first, then, for what it does not list (withdrawn windows, or all
// when no window manager runs), the root's children and, for a child without
// a class (a frame), its children, topmost first.

// The viewer: a top-level window of class "TfrmHView" titled "Vellum", mapped
// or not; of several, the first with the viewer's role, else the first.
std::optional<XWindow> FindViewerWindow(XDisplay* display);
// The host: a top-level window of class "TFrmORUmain", mapped or not (a
// minimized or hidden host is still there), but not an override-redirect one
// (a pop-up).
std::optional<XWindow> FindHostWindow(XDisplay* display);

// The window's outer rectangle (its frame, when a window manager adds one)
// in root coordinates; nullopt when the window has gone or is not on screen.
std::optional<ScreenRect> FrameRect(XDisplay* display, XWindow window);

// Sends one message and waits up to timeout_ms for the receiver to take it.
// Use a connection of its own: the wait reads events from it.
SendStatus SendMessage(XDisplay* display, XWindow target, const Message& message, int timeout_ms);

// Takes every message waiting on the window's property, in the order sent.
// Malformed data ends the list; what came before it is kept. The property
// never stays behind: one of another type or format is deleted unread, and
// one longer than a read takes (64 MiB) is deleted after the read.
std::vector<Message> TakeMessages(XDisplay* display, XWindow window);

// The atoms of the protocol, interned on first use per display.
unsigned long CopyDataAtom(XDisplay* display);
unsigned long DoorbellAtom(XDisplay* display);

}  // namespace vellum::host
