#include "app/pictures.h"

#include <utility>

namespace vellum {
namespace {

constexpr std::uint32_t Opaque(std::uint32_t rgb) {
  return 0xFF000000u | rgb;
}

// Draws pixel by pixel: whole pixels, no blending.
class Canvas {
 public:
  Canvas(int size, std::uint32_t background)
      : picture_{size,
                 std::vector<std::uint32_t>(static_cast<std::size_t>(size * size), background)} {}
  void Fill(int x0, int y0, int x1, int y1, std::uint32_t colour) {  // inclusive
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        Set(x, y, colour);
  }
  // Fills the pixels whose centres lie inside the triangle.
  void Triangle(const double (&p)[6], std::uint32_t colour) {
    for (int y = 0; y < picture_.size; ++y) {
      for (int x = 0; x < picture_.size; ++x) {
        const double cx = x + 0.5, cy = y + 0.5;
        const double d1 = Side(cx, cy, p[0], p[1], p[2], p[3]);
        const double d2 = Side(cx, cy, p[2], p[3], p[4], p[5]);
        const double d3 = Side(cx, cy, p[4], p[5], p[0], p[1]);
        const bool negative = d1 < 0 || d2 < 0 || d3 < 0;
        const bool positive = d1 > 0 || d2 > 0 || d3 > 0;
        if (!(negative && positive)) Set(x, y, colour);
      }
    }
  }
  Picture Take() { return std::move(picture_); }

 private:
  static double Side(double x, double y, double ax, double ay, double bx, double by) {
    return (x - bx) * (ay - by) - (ax - bx) * (y - by);
  }
  void Set(int x, int y, std::uint32_t colour) {
    if (x >= 0 && y >= 0 && x < picture_.size && y < picture_.size)
      picture_.pixels[static_cast<std::size_t>(y * picture_.size + x)] = colour;
  }
  Picture picture_;
};

}  // namespace

Picture MenuIconPicture(std::uint32_t background) {
  // Two pages of a book, opened flat, with dark lines of text and a ribbon.
  Canvas canvas(16, background);
  canvas.Fill(1, 3, 14, 13, Opaque(0x8C4D26));
  canvas.Fill(2, 4, 6, 12, Opaque(0xFAF5E0));
  canvas.Fill(9, 4, 13, 12, Opaque(0xFAF5E0));
  for (int y = 6; y <= 10; y += 2) {
    canvas.Fill(3, y, 6, y, Opaque(0x40404D));
    canvas.Fill(9, y, 12, y, Opaque(0x40404D));
  }
  canvas.Fill(11, 1, 12, 5, Opaque(0xCC1A1A));
  return canvas.Take();
}

Picture DragHandlePicture() {
  Canvas canvas(19, Opaque(0xDBDBDB));
  canvas.Fill(9, 3, 9, 15, Opaque(0x000000));
  canvas.Fill(3, 9, 15, 9, Opaque(0x000000));
  const double heads[4][6] = {{9.5, 1, 6.5, 4.5, 12.5, 4.5},
                              {9.5, 18, 6.5, 14.5, 12.5, 14.5},
                              {1, 9.5, 4.5, 6.5, 4.5, 12.5},
                              {18, 9.5, 14.5, 6.5, 14.5, 12.5}};
  for (const auto& head : heads)
    canvas.Triangle(head, Opaque(0x000000));
  return canvas.Take();
}

}  // namespace vellum
