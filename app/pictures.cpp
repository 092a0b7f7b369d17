#include "app/pictures.h"

#include <cstdio>
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

// A filled polygon of the icon, in a 64 x 64 frame, painted over those
// before it.
struct Shape {
  std::uint32_t rgb;
  std::vector<double> xy;  // x0, y0, x1, y1, ...
};

// A bar of text on a page whose top edge rises by `slope` per unit to the
// right: a thin parallelogram from x0 to x1 starting at height y.
Shape TextLine(double x0, double x1, double y, double slope) {
  constexpr double kThickness = 1.8;
  const double y1 = y - slope * (x1 - x0);
  return {0x40404D, {x0, y, x1, y1, x1, y1 + kThickness, x0, y + kThickness}};
}

std::vector<Shape> AppIconShapes() {
  std::vector<Shape> shapes = {
      {0x8C4D26, {3, 15, 32, 19, 61, 15, 61, 51, 32, 56, 3, 51}},  // the cover
      {0x6B3A1C, {31, 18, 33, 18, 33, 56, 31, 56}},                // the spine
      {0xFAF5E0, {6, 11, 31, 16, 31, 52, 6, 47}},                  // left page
      {0xFAF5E0, {33, 16, 58, 11, 58, 47, 33, 52}},                // right page
  };
  for (int line = 0; line < 5; ++line) {
    const double y = 21 + 5 * line;
    shapes.push_back(TextLine(10, 27, y + 0.2 * 4, -0.2));
    shapes.push_back(TextLine(37, 54, y + 0.2 * 21, 0.2));
  }
  shapes.push_back({0xCC1A1A, {45, 7, 50, 7, 50, 31, 47.5, 27.5, 45, 31}});  // the ribbon
  return shapes;
}

// Even-odd rule: a ray to the right crosses the outline an odd number of times.
bool Inside(const Shape& shape, double x, double y) {
  bool inside = false;
  const std::size_t n = shape.xy.size() / 2;
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const double xi = shape.xy[2 * i], yi = shape.xy[2 * i + 1];
    const double xj = shape.xy[2 * j], yj = shape.xy[2 * j + 1];
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside;
}

}  // namespace

Picture AppIconPicture(int size) {
  // Each pixel takes the average of 4 x 4 samples: the topmost shape under
  // each, or nothing. Uncovered samples make the pixel transparent in part.
  constexpr int kSamples = 4;
  const std::vector<Shape> shapes = AppIconShapes();
  Picture picture{size, std::vector<std::uint32_t>(static_cast<std::size_t>(size * size), 0)};
  const double unit = 64.0 / size;
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      unsigned red = 0, green = 0, blue = 0, covered = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSamples) * unit;
          const double y = (py + (sy + 0.5) / kSamples) * unit;
          for (auto shape = shapes.rbegin(); shape != shapes.rend(); ++shape) {
            if (!Inside(*shape, x, y)) continue;
            red += (shape->rgb >> 16) & 0xFF;
            green += (shape->rgb >> 8) & 0xFF;
            blue += shape->rgb & 0xFF;
            ++covered;
            break;
          }
        }
      }
      if (covered == 0) continue;
      const unsigned alpha = (covered * 255 + kSamples * kSamples / 2) / (kSamples * kSamples);
      const auto average = [covered](unsigned sum) { return (sum + covered / 2) / covered; };
      picture.pixels[static_cast<std::size_t>(py * size + px)] =
          (alpha << 24) | (average(red) << 16) | (average(green) << 8) | average(blue);
    }
  }
  return picture;
}

std::string AppIconSvg() {
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
      "viewBox=\"0 0 64 64\">\n";
  for (const Shape& shape : AppIconShapes()) {
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%06X", static_cast<unsigned>(shape.rgb));
    svg.append("  <polygon fill=\"").append(colour).append("\" points=\"");
    for (std::size_t i = 0; i < shape.xy.size(); ++i) {
      char number[32];
      std::snprintf(number, sizeof number, "%.4g", shape.xy[i]);
      svg.append(i == 0 ? "" : i % 2 == 0 ? " " : ",").append(number);
    }
    svg.append("\"/>\n");
  }
  svg.append("</svg>\n");
  return svg;
}

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

Picture DragHandlePicture(std::uint32_t ink, std::uint32_t background) {
  Canvas canvas(19, background);
  canvas.Fill(9, 3, 9, 15, ink);
  canvas.Fill(3, 9, 15, 9, ink);
  const double heads[4][6] = {{9.5, 1, 6.5, 4.5, 12.5, 4.5},
                              {9.5, 18, 6.5, 14.5, 12.5, 14.5},
                              {1, 9.5, 4.5, 6.5, 4.5, 12.5},
                              {18, 9.5, 14.5, 6.5, 14.5, 12.5}};
  for (const auto& head : heads)
    canvas.Triangle(head, ink);
  return canvas.Take();
}

}  // namespace vellum
