#include <X11/Xlib.h>

#include "tools/display_screen.h"

namespace vellum {

std::optional<ScreenPoint> DisplayScreenSize() {
  // Opening fails quietly (no error handler is called) where no server answers.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return std::nullopt;
  const int screen = DefaultScreen(display);
  const ScreenPoint size{DisplayWidth(display, screen), DisplayHeight(display, screen)};
  XCloseDisplay(display);
  if (size.x <= 0 || size.y <= 0) return std::nullopt;
  return size;
}

}  // namespace vellum
