// The title bar's two small images, drawn by the program itself.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace vellum {

// 16 x 16: the menu icon, a small open book with a ribbon.
GdkPixbuf* NewMenuIcon();
// 19 x 19: the drag handle, a black four-way arrow on light grey.
GdkPixbuf* NewDragHandle(bool dark = false);

}  // namespace vellum
