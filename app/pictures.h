// The title bar's two small pictures, drawn by the program itself so that
// nothing is loaded from files: the same pixels on every platform.
#pragma once

#include <cstdint>
#include <vector>

namespace vellum {

// A square picture, row by row from the top, each pixel 0xAARRGGBB.
struct Picture {
  int size = 0;
  std::vector<std::uint32_t> pixels;
};

inline constexpr std::uint32_t kTransparent = 0x00000000;

// 16 x 16: the menu icon, a small open book with a ribbon, on `background`.
Picture MenuIconPicture(std::uint32_t background = kTransparent);
// 19 x 19: the drag handle, a black four-way arrow on light grey.
Picture DragHandlePicture();

}  // namespace vellum
