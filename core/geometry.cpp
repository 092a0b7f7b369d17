#include "core/geometry.h"

#include <algorithm>
#include <limits>

namespace vellum {
namespace {

std::int32_t Clamp32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

bool Near(std::int64_t a, std::int64_t b) {
  const std::int64_t d = a - b;
  return (d < 0 ? -d : d) < kSnapDistance;
}

}  // namespace

Bounds PlaceWindow(Bounds saved, std::int32_t screen_width, std::int32_t screen_height) {
  std::int64_t left = saved.left;
  std::int64_t top = saved.top;
  const std::int64_t sw = screen_width;
  const std::int64_t sh = screen_height;
  if (left > sw - 100) left = sw - 100;
  if (left + saved.width > sw) left = sw - saved.width;
  if (top > sh - 30) top = sh - 30;
  if (top + saved.height > sh) top = sh - saved.height;
  return {Clamp32(left), Clamp32(top), saved.width, saved.height};
}

Bounds KeepTitleBarReachable(Bounds placed, const std::vector<ScreenRect>& monitors) {
  if (monitors.empty()) return placed;
  const std::int64_t left = placed.left;
  const std::int64_t top = placed.top;
  const std::int64_t right = left + placed.width;
  const std::int64_t bottom = top + std::min<std::int64_t>(placed.height, kTitleBarHeight);
  for (const ScreenRect& m : monitors) {
    if (left < m.right && right > m.left && top < m.bottom && bottom > m.top) return placed;
  }
  const ScreenRect& primary = monitors.front();
  const std::int64_t new_left = std::max<std::int64_t>(
      primary.left, std::min<std::int64_t>(left, primary.right - placed.width));
  const std::int64_t new_top = std::max<std::int64_t>(
      primary.top, std::min<std::int64_t>(top, primary.bottom - placed.height));
  return {Clamp32(new_left), Clamp32(new_top), placed.width, placed.height};
}

Bounds SnapToHost(std::int32_t raw_left, std::int32_t raw_top, std::int32_t width,
                  std::int32_t height, const std::optional<ScreenRect>& host) {
  std::int64_t left = raw_left;
  std::int64_t top = raw_top;
  std::int64_t w = width;
  const std::int64_t h = height;
  if (host) {
    const ScreenRect& r = *host;
    // Vertical, in this order; a later snap wins over an earlier one.
    if (Near(r.bottom, top)) top = r.bottom;
    if (Near(r.top, top)) top = r.top;
    if (Near(r.top, top + h)) top = r.top - h;
    // Horizontal, in this order.
    if (Near(r.left, left + w)) left = r.left - w;
    if (Near(r.right, left)) left = r.right;
    if (Near(r.left, left)) {
      left = r.left;
      if (Near(r.right, std::int64_t{r.left} + w)) w = std::int64_t{r.right} - r.left;
    }
  }
  return {Clamp32(left), Clamp32(top), Clamp32(w), height};
}

ScreenPoint RawDragPosition(ScreenPoint mouse, ScreenPoint drag_start, ScreenPoint window_start) {
  return {Clamp32(std::int64_t{mouse.x} - drag_start.x + window_start.x),
          Clamp32(std::int64_t{mouse.y} - drag_start.y + window_start.y)};
}

}  // namespace vellum
