#include "host/x11_link.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <chrono>
#include <memory>

namespace vellum::host {
namespace {

int g_error_count = 0;
int g_trap_depth = 0;

int CountError(Display*, XErrorEvent*) {
  ++g_error_count;
  return 0;
}

struct XFreeDeleter {
  void operator()(void* p) const {
    if (p != nullptr) XFree(p);
  }
};
template <typename T>
using XPtr = std::unique_ptr<T, XFreeDeleter>;

Atom Intern(Display* display, const char* name) {
  return XInternAtom(display, name, False);
}

// The most one read takes: 64 MiB, room for a burst of 64 largest frames.
constexpr long kReadLimitLongs = static_cast<long>(kMaxPayload) * 16;

// A property read whole, up to the read limit; empty when absent. after: the
// bytes left unread.
struct Property {
  Atom type = 0;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  XPtr<unsigned char> data;
};

Property ReadProperty(Display* display, Window window, Atom property, bool remove,
                      Atom type = AnyPropertyType) {
  Property result;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, kReadLimitLongs, remove ? True : False, type,
                         &result.type, &result.format, &result.items, &result.after,
                         &data) != Success) {
    return {};
  }
  result.data.reset(data);
  return result;
}

std::string PropertyText(const Property& p) {
  if (!p.data || p.format != 8) return {};
  return std::string(reinterpret_cast<const char*>(p.data.get()), p.items);
}

bool OverrideRedirect(Display* display, Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display, window, &attributes) == 0 ||
         attributes.override_redirect != 0;
}

// The window manager's client list, oldest first; nullopt when none runs.
std::optional<std::vector<XWindow>> ClientList(Display* display) {
  const Property list = ReadProperty(display, DefaultRootWindow(display),
                                     Intern(display, "_NET_CLIENT_LIST"), false, XA_WINDOW);
  if (!list.data || list.format != 32 || list.items == 0) return std::nullopt;
  const auto* ids = reinterpret_cast<const unsigned long*>(list.data.get());
  return std::vector<XWindow>(ids, ids + list.items);
}

// The root's children that carry a class, and for a child without one (a
// frame) its own children, bottom of the stack first. Unlike the client list
// it holds windows a window manager has let go of: withdrawn ones.
std::vector<XWindow> RootTreeWindows(Display* display) {
  std::vector<XWindow> windows;
  Window root_return = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root_return, &parent, &children, &count) ==
      0)
    return windows;
  const XPtr<Window> owned(children);
  for (unsigned int i = 0; i < count; ++i) {
    if (!WindowClass(display, children[i]).empty()) {
      windows.push_back(children[i]);
      continue;
    }
    Window* inner = nullptr;
    unsigned int inner_count = 0;
    if (XQueryTree(display, children[i], &root_return, &parent, &inner, &inner_count) == 0)
      continue;
    const XPtr<Window> owned_inner(inner);
    for (unsigned int j = 0; j < inner_count; ++j) {
      if (!WindowClass(display, inner[j]).empty()) windows.push_back(inner[j]);
    }
  }
  return windows;
}

std::string WindowRole(Display* display, Window window) {
  return PropertyText(
      ReadProperty(display, window, Intern(display, "WM_WINDOW_ROLE"), false, XA_STRING));
}

struct WindowQuery {
  std::string_view window_class;
  std::optional<std::string_view> title;
  bool skip_override_redirect = false;
  // Of several matches, one with this role comes first.
  std::optional<std::string_view> role;
};

bool Matches(Display* display, Window window, const WindowQuery& query) {
  if (WindowClass(display, window) != query.window_class) return false;
  if (query.title && WindowTitle(display, window) != *query.title) return false;
  return !query.skip_override_redirect || !OverrideRedirect(display, window);
}

// Looks through the window manager's client list, newest first, then through
// the root's tree, topmost first, for what a window manager does not list
// (withdrawn windows). A match with the query's role is taken at once; else
// the first match.
std::optional<XWindow> FindTopLevel(Display* display, const WindowQuery& query) {
  X11ErrorTrap trap(display);
  std::optional<XWindow> first;
  const auto search = [&](const std::vector<XWindow>& windows) -> std::optional<XWindow> {
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
      if (!Matches(display, *it, query)) continue;
      if (!query.role || WindowRole(display, *it) == *query.role) return *it;
      if (!first) first = *it;
    }
    return std::nullopt;
  };
  if (const std::optional<std::vector<XWindow>> clients = ClientList(display)) {
    if (const std::optional<XWindow> found = search(*clients)) return found;
  }
  if (const std::optional<XWindow> found = search(RootTreeWindows(display))) return found;
  return first;
}

}  // namespace

X11ErrorTrap::X11ErrorTrap(XDisplay* display)
    : display_(display), errors_before_(g_error_count), previous_handler_(nullptr) {
  XSync(display_, False);
  errors_before_ = g_error_count;
  if (g_trap_depth++ == 0) {
    previous_handler_ = reinterpret_cast<void*>(XSetErrorHandler(CountError));
  }
}

X11ErrorTrap::~X11ErrorTrap() {
  XSync(display_, False);
  if (--g_trap_depth == 0) {
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(previous_handler_));
  }
}

bool X11ErrorTrap::Failed() {
  XSync(display_, False);
  return g_error_count != errors_before_;
}

unsigned long CopyDataAtom(XDisplay* display) {
  return Intern(display, "_VELLUM_COPYDATA");
}

unsigned long DoorbellAtom(XDisplay* display) {
  return Intern(display, "_VELLUM_DOORBELL");
}

std::string WindowClass(XDisplay* display, XWindow window) {
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) == 0) return {};
  std::string result = hint.res_class != nullptr ? hint.res_class : "";
  if (hint.res_name != nullptr) XFree(hint.res_name);
  if (hint.res_class != nullptr) XFree(hint.res_class);
  return result;
}

std::string WindowTitle(XDisplay* display, XWindow window) {
  const Property net_name = ReadProperty(display, window, Intern(display, "_NET_WM_NAME"), false,
                                         Intern(display, "UTF8_STRING"));
  if (net_name.data && net_name.items > 0) return PropertyText(net_name);
  return PropertyText(ReadProperty(display, window, XA_WM_NAME, false));
}

std::optional<XWindow> FindViewerWindow(XDisplay* display) {
  // The viewer's own window carries its role; another window of its class and
  // title (a message box of an earlier build) is taken only when none does.
  return FindTopLevel(display, {kViewerClass, kViewerTitle, false, kViewerRole});
}

std::optional<XWindow> FindHostWindow(XDisplay* display) {
  // As a lookup by class finds it on Windows: minimized or hidden alike.
  return FindTopLevel(display, {kHostClass, std::nullopt, true, std::nullopt});
}

std::optional<ScreenRect> FrameRect(XDisplay* display, XWindow window) {
  X11ErrorTrap trap(display);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) == 0) return std::nullopt;
  // A window out of sight (minimized, hidden) keeps its last place, but there
  // is nothing there to dock to.
  if (attributes.map_state != IsViewable) return std::nullopt;
  int x = 0;
  int y = 0;
  Window child = 0;
  if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child)) {
    return std::nullopt;
  }
  long left = 0, right = 0, top = 0, bottom = 0;
  const Property extents =
      ReadProperty(display, window, Intern(display, "_NET_FRAME_EXTENTS"), false, XA_CARDINAL);
  if (extents.data && extents.format == 32 && extents.items == 4) {
    const auto* e = reinterpret_cast<const long*>(extents.data.get());
    left = e[0], right = e[1], top = e[2], bottom = e[3];
  }
  if (trap.Failed()) return std::nullopt;
  return ScreenRect{static_cast<std::int32_t>(x - left), static_cast<std::int32_t>(y - top),
                    static_cast<std::int32_t>(x + attributes.width + right),
                    static_cast<std::int32_t>(y + attributes.height + bottom)};
}

SendStatus SendMessage(XDisplay* display, XWindow target, const Message& message, int timeout_ms) {
  const Atom property = CopyDataAtom(display);
  const std::string frame = EncodeFrame(message);
  {
    X11ErrorTrap trap(display);
    XSelectInput(display, target, PropertyChangeMask);
    XChangeProperty(display, target, property, property, 8, PropModeAppend,
                    reinterpret_cast<const unsigned char*>(frame.data()),
                    static_cast<int>(frame.size()));
    XEvent bell{};
    bell.xclient.type = ClientMessage;
    bell.xclient.window = target;
    bell.xclient.message_type = DoorbellAtom(display);
    bell.xclient.format = 32;
    bell.xclient.data.l[0] = static_cast<long>(message.sender);
    XSendEvent(display, target, False, NoEventMask, &bell);
    if (trap.Failed()) return SendStatus::kFailed;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  SendStatus status = SendStatus::kTimedOut;
  while (status == SendStatus::kTimedOut) {
    while (XPending(display) > 0) {
      XEvent event{};
      XNextEvent(display, &event);
      if (event.type == PropertyNotify && event.xproperty.window == target &&
          event.xproperty.atom == property && event.xproperty.state == PropertyDelete) {
        status = SendStatus::kTaken;
      }
    }
    if (status == SendStatus::kTaken) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left.count()));
  }
  X11ErrorTrap trap(display);
  XSelectInput(display, target, NoEventMask);
  return status;
}

std::vector<Message> TakeMessages(XDisplay* display, XWindow window) {
  X11ErrorTrap trap(display);
  const Atom property = CopyDataAtom(display);
  // Read whatever its type, so that it goes whatever its type: a property of
  // another type or format left in place would make every later append fail,
  // and one never deleted would leave every sender waiting.
  const Property taken = ReadProperty(display, window, property, true);
  // More than one read takes is not deleted by the read: the rest is dropped.
  if (taken.after > 0) XDeleteProperty(display, window, property);
  if (trap.Failed()) return {};
  if (taken.type != property || taken.format != 8) return {};
  return DecodeFrames(PropertyText(taken)).messages;
}

}  // namespace vellum::host
