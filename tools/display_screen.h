// The size of the screen the viewer would open on, where a display can be
// asked: the X server's default screen, or the primary monitor on Windows.
#pragma once

#include <optional>

#include "core/geometry.h"

namespace vellum {

// nullopt where no display answers (no DISPLAY, a server that refuses).
std::optional<ScreenPoint> DisplayScreenSize();

}  // namespace vellum
