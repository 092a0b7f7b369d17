#include "app/gtk/images_gtk.h"

#include <gdk/gdk.h>

#include <functional>

namespace vellum {
namespace {

GdkPixbuf* Draw(int size, const std::function<void(cairo_t*)>& paint) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  paint(cr);
  cairo_destroy(cr);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, size, size);
  cairo_surface_destroy(surface);
  return pixbuf;
}

}  // namespace

GdkPixbuf* NewMenuIcon() {
  return Draw(16, [](cairo_t* cr) {
    // Two pages of a book, opened flat, with dark lines of text.
    cairo_set_source_rgb(cr, 0.55, 0.30, 0.15);
    cairo_rectangle(cr, 1, 3, 14, 11);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.98, 0.96, 0.88);
    cairo_rectangle(cr, 2, 4, 5.5, 9);
    cairo_rectangle(cr, 8.5, 4, 5.5, 9);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.25, 0.25, 0.30);
    cairo_set_line_width(cr, 1);
    for (int y = 6; y <= 11; y += 2) {
      cairo_move_to(cr, 3, y + 0.5);
      cairo_line_to(cr, 7, y + 0.5);
      cairo_move_to(cr, 9, y + 0.5);
      cairo_line_to(cr, 13, y + 0.5);
    }
    cairo_stroke(cr);
    // A red ribbon hanging from the top.
    cairo_set_source_rgb(cr, 0.80, 0.10, 0.10);
    cairo_rectangle(cr, 11, 1, 2, 5);
    cairo_fill(cr);
  });
}

GdkPixbuf* NewDragHandle() {
  return Draw(19, [](cairo_t* cr) {
    cairo_set_source_rgb(cr, 0.86, 0.86, 0.86);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    // The cross.
    cairo_move_to(cr, 9.5, 3);
    cairo_line_to(cr, 9.5, 16);
    cairo_move_to(cr, 3, 9.5);
    cairo_line_to(cr, 16, 9.5);
    cairo_stroke(cr);
    // Four arrow heads.
    const double heads[4][6] = {{9.5, 1, 6.5, 4.5, 12.5, 4.5},
                                {9.5, 18, 6.5, 14.5, 12.5, 14.5},
                                {1, 9.5, 4.5, 6.5, 4.5, 12.5},
                                {18, 9.5, 14.5, 6.5, 14.5, 12.5}};
    for (const auto& h : heads) {
      cairo_move_to(cr, h[0], h[1]);
      cairo_line_to(cr, h[2], h[3]);
      cairo_line_to(cr, h[4], h[5]);
      cairo_close_path(cr);
      cairo_fill(cr);
    }
  });
}

}  // namespace vellum
