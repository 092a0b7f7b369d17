// Vellum for Linux: GTK 3 on X11 (also under XWayland), WebKitGTK 4.1.
#include <gtk/gtk.h>

#include <cstdio>
#include <exception>
#include <memory>

#include "app/gtk/viewer_window_gtk.h"
#include "core/libraries.h"
#include "core/text.h"
#include "platform/platform.h"
#include "vellum_version.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kExitCodes[] =
    "Shows book pages beside a host reading program, which tells it the book, chapter\n"
    "and verse to show (vellum-host(1) plays such a host).\n"
    "\n"
    "Exit codes: 0 the window was closed; 1 the display cannot be opened or start-up\n"
    "failed; 2 the command line is wrong (an unknown library among it: the libraries\n"
    "found are listed).";

struct ContextFree {
  void operator()(GOptionContext* context) const { g_option_context_free(context); }
};
struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
struct TextFree {
  void operator()(gchar* text) const { g_free(text); }
};

}  // namespace

int main(int argc, char** argv) {
  // The host link and the window lookups are X11's.
  gdk_set_allowed_backends("x11");
  g_set_prgname("vellum");

  gboolean follow_sync = FALSE;
  gboolean version = FALSE;
  gchar* raw_library = nullptr;
  const GOptionEntry entries[] = {
      {"biblesync", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE, &follow_sync,
       "Follow other Bible programs on this desktop (BibleSync) for this run", nullptr},
      {"library", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_STRING, &raw_library,
       "Show this library for this run: its folder's name without \".htm\", or its ShortName "
       "(case ignored)",
       "NAME"},
      {"version", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE, &version, "Show the version and exit",
       nullptr},
      {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
  };
  const std::unique_ptr<GOptionContext, ContextFree> context(
      g_option_context_new("- a companion viewer for book pages"));
  g_option_context_add_main_entries(context.get(), entries, nullptr);
  g_option_context_set_description(context.get(), kExitCodes);
  // GTK's own options (--display, ...) without opening the display yet, so
  // that --help and --version answer where there is none.
  g_option_context_add_group(context.get(), gtk_get_option_group(FALSE));
  GError* raw_error = nullptr;
  // Answers --help itself (and ends the program with 0).
  const gboolean parsed = g_option_context_parse(context.get(), &argc, &argv, &raw_error);
  const std::unique_ptr<GError, ErrorFree> error(raw_error);
  const std::unique_ptr<gchar, TextFree> library(raw_library);
  if (!parsed || argc > 1) {
    const std::unique_ptr<gchar, TextFree> usage(
        g_option_context_get_help(context.get(), TRUE, nullptr));
    if (!parsed) {
      std::fprintf(stderr, "vellum: %s\n\n%s", error ? error->message : "bad command line",
                   usage.get());
    } else {
      std::fprintf(stderr, "vellum: unexpected argument \"%s\"\n\n%s", argv[1], usage.get());
    }
    return kExitUsage;
  }
  if (version) {
    std::printf("vellum %s\n", vellum::kVersion);
    return 0;
  }
  vellum::StartOptions options{follow_sync != FALSE, library ? library.get() : ""};
  if (library) {
    const vellum::SystemFileSystem fs;
    const vellum::LocaleTextRules rules;
    const std::string unknown = vellum::UnknownLibraryText(
        "vellum", options.library, vellum::InstalledLibraries(fs, rules), rules);
    if (!unknown.empty()) {
      std::fputs(vellum::DisplayTextToUtf8(unknown).c_str(), stderr);
      return kExitUsage;
    }
  }
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "vellum: cannot open the X display\n");
    return kExitFailed;
  }
  // GDK gives every toplevel of the process the program class: message boxes
  // and menus too. Only the viewer window may carry the viewer's class (the
  // host looks it up by class and title, and a message box has the same
  // title), so the program class is our own name and the viewer window sets
  // its class itself. Set after initialisation, which derives one from the
  // program name.
  gdk_set_program_class("Vellum");
  try {
    vellum::ViewerWindowGtk window(options);
    return window.Run();
  } catch (const std::exception& exception) {
    std::fprintf(stderr, "vellum: %s\n", exception.what());
    return kExitFailed;
  }
}
