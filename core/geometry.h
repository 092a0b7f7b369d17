// Window placement at start-up and the snapping of a docking drag: pure
// arithmetic on screen pixels, done in 64 bits so that any saved value, however
// large, cannot overflow.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace vellum {

struct Bounds {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const Bounds&, const Bounds&) = default;
};

struct ScreenRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// Limits saved bounds to a screen of the given size by moving the window
// left or up only: its left edge ends at most screen_width - 100 and its
// right edge not beyond the screen; likewise top (30) and bottom. Width and
// height are never changed and there is no lower limit.
Bounds PlaceWindow(Bounds saved, std::int32_t screen_width, std::int32_t screen_height);

// The height of the title bar: the only part of the window that moves it.
inline constexpr std::int32_t kTitleBarHeight = 26;

// One more step after PlaceWindow, for a window saved on a monitor that is
// gone: when no part of its title bar lies on any of the monitors, it is
// brought onto the primary one (the first of the list), keeping its size, as
// near its saved place as the primary allows. A window with any part of its
// title bar on any monitor stays exactly where it is; so does every window
// when the list is empty.
Bounds KeepTitleBarReachable(Bounds placed, const std::vector<ScreenRect>& monitors);

inline constexpr std::int32_t kSnapDistance = 25;

// One drag step after the raw position has been worked out: the viewer's
// edges snap to the host window's edges when nearer than kSnapDistance. The
// height never changes; the width becomes the host's only when the left
// edges align and the widths differ by less than kSnapDistance. Without a
// host rectangle the raw position is kept.
Bounds SnapToHost(std::int32_t raw_left, std::int32_t raw_top, std::int32_t width,
                  std::int32_t height, const std::optional<ScreenRect>& host);

// Where a drag puts the window before snapping: the start position moved by
// the mouse's way from its start point.
struct ScreenPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};
ScreenPoint RawDragPosition(ScreenPoint mouse, ScreenPoint drag_start, ScreenPoint window_start);

}  // namespace vellum
