// Vellum for Linux: GTK 3 on X11 (also under XWayland), WebKitGTK 4.1.
#include <gtk/gtk.h>

#include <cstdio>
#include <exception>

#include "app/gtk/viewer_window_gtk.h"

int main(int argc, char** argv) {
  // The host link and the window lookups are X11's.
  gdk_set_allowed_backends("x11");
  g_set_prgname("vellum");

  gboolean follow_sync = FALSE;
  const GOptionEntry entries[] = {
      {"biblesync", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE, &follow_sync,
       "Follow other Bible programs on this desktop (BibleSync) for this run", nullptr},
      {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
  };
  GError* error = nullptr;
  // Parses our options and GTK's (--display, ...) and answers --help; then
  // opens the display.
  if (!gtk_init_with_args(&argc, &argv, "- a companion viewer for book pages", entries, nullptr,
                          &error)) {
    if (error != nullptr) {
      std::fprintf(stderr, "vellum: %s\nTry \"vellum --help\".\n", error->message);
      g_error_free(error);
      return 2;
    }
    std::fprintf(stderr, "vellum: cannot open the X display\n");
    return 1;
  }
  if (argc > 1) {
    std::fprintf(stderr, "vellum: unexpected argument \"%s\"\nTry \"vellum --help\".\n", argv[1]);
    return 2;
  }
  // GDK gives every toplevel of the process the program class: message boxes
  // and menus too. Only the viewer window may carry the viewer's class (the
  // host looks it up by class and title, and a message box has the same
  // title), so the program class is our own name and the viewer window sets
  // its class itself. Set after initialisation, which derives one from the
  // program name.
  gdk_set_program_class("Vellum");
  try {
    vellum::ViewerWindowGtk window(vellum::StartOptions{follow_sync != FALSE});
    return window.Run();
  } catch (const std::exception& exception) {
    std::fprintf(stderr, "vellum: %s\n", exception.what());
    return 1;
  }
}
