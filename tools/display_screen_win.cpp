#include <windows.h>

#include "tools/display_screen.h"

namespace vellum {

std::optional<ScreenPoint> DisplayScreenSize() {
  // The primary monitor, as the viewer's PlaceWindow measures it.
  const ScreenPoint size{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (size.x <= 0 || size.y <= 0) return std::nullopt;
  return size;
}

}  // namespace vellum
