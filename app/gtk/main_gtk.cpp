// Vellum for Linux: GTK 3 on X11 (also under XWayland), WebKitGTK 4.1.
#include <gtk/gtk.h>

#include <cstdio>
#include <exception>
#include <string>

#include "app/gtk/viewer_window_gtk.h"
#include "host/protocol.h"

int main(int argc, char** argv) {
  // The host link and the window lookups are X11's.
  gdk_set_allowed_backends("x11");
  g_set_prgname("vellum");
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "vellum: cannot open the X display\n");
    return 1;
  }
  // After initialisation, which sets a class of its own from the program name.
  gdk_set_program_class(std::string(vellum::host::kViewerClass).c_str());
  try {
    vellum::ViewerWindowGtk window;
    return window.Run();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vellum: %s\n", error.what());
    return 1;
  }
}
