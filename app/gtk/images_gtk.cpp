#include "app/gtk/images_gtk.h"

#include "app/pictures.h"

namespace vellum {
namespace {

// A pixbuf of its own (RGBA bytes) holding the picture.
GdkPixbuf* ToPixbuf(const Picture& picture) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, picture.size, picture.size);
  if (pixbuf == nullptr) return nullptr;
  guchar* rows = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < picture.size; ++y) {
    guchar* out = rows + y * stride;
    for (int x = 0; x < picture.size; ++x) {
      const std::uint32_t p = picture.pixels[static_cast<std::size_t>(y * picture.size + x)];
      *out++ = static_cast<guchar>(p >> 16);
      *out++ = static_cast<guchar>(p >> 8);
      *out++ = static_cast<guchar>(p);
      *out++ = static_cast<guchar>(p >> 24);
    }
  }
  return pixbuf;
}

}  // namespace

GdkPixbuf* NewMenuIcon() {
  return ToPixbuf(MenuIconPicture());
}

GdkPixbuf* NewDragHandle(bool dark) {
  // The title bar's text colours.
  return ToPixbuf(DragHandlePicture(dark ? 0xFFE4E0D8u : 0xFF000000u));
}

}  // namespace vellum
