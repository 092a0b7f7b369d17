// The title bar's two small pictures, drawn by the program itself so that
// nothing is loaded from files: the same pixels on every platform. Also the
// program's icon, drawn at any size and written as SVG from one description.
#pragma once

#include <cstdint>
#include <string>
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
// 19 x 19: the drag handle, a four-way arrow in `ink` on `background`: the
// title bar's own face, so that it never looks like a pressed button.
Picture DragHandlePicture(std::uint32_t ink = 0xFF000000u, std::uint32_t background = kTransparent);

// The program's icon: the menu icon's open book with its ribbon, drawn as
// shapes so that it scales. size x size pixels, edges anti-aliased, on a
// transparent background.
Picture AppIconPicture(int size);
// The same icon as an SVG document (a 64 x 64 view box).
std::string AppIconSvg();

}  // namespace vellum
