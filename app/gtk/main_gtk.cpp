// Vellum for Linux: GTK 3 on X11 (also under XWayland), WebKitGTK 4.1.
#include <gtk/gtk.h>

#include <cstdio>
#include <exception>

#include "app/gtk/viewer_window_gtk.h"

int main(int argc, char** argv) {
  // The host link and the window lookups are X11's.
  gdk_set_allowed_backends("x11");
  g_set_prgname("vellum");
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "vellum: cannot open the X display\n");
    return 1;
  }
  // GDK gives every toplevel of the process the program class: message boxes
  // and menus too. Only the viewer window may carry the viewer's class (the
  // host looks it up by class and title, and a message box has the same
  // title), so the program class is our own name and the viewer window sets
  // its class itself. Set after initialisation, which derives one from the
  // program name.
  gdk_set_program_class("Vellum");
  try {
    vellum::ViewerWindowGtk window;
    return window.Run();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vellum: %s\n", error.what());
    return 1;
  }
}
