// WebKit alone: a bare WebKitGTK view, the yardstick for the viewer's own
// page loads. It loads what it is told on standard input, one command a line:
//
//   load URI    prints "requested MS" (wall clock) and loads URI
//   quit        ends the program
//
// and, given a URI on the command line, loads it first, as soon as the view
// exists (start-up is measured from the process start to that page shown).
// The bench pages tell when they were shown and scrolled on the console,
// which this view writes out (WebKit writes it to standard error), as the
// viewer does when traced: both sides report through the same channel, and
// nothing polls either page while it is measured. Every other setting is
// WebKit's own default.
//
//   webkit_alone [URI]
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <string>

namespace {

double WallMs() {
  return static_cast<double>(g_get_real_time()) / 1000.0;
}

void Load(WebKitWebView* view, const std::string& uri) {
  std::printf("requested %.1f\n", WallMs());
  std::fflush(stdout);
  webkit_web_view_load_uri(view, uri.c_str());
}

gboolean OnCommand(GIOChannel* channel, GIOCondition, gpointer data) {
  auto* view = static_cast<WebKitWebView*>(data);
  gchar* line = nullptr;
  gsize length = 0;
  const GIOStatus status = g_io_channel_read_line(channel, &line, &length, nullptr, nullptr);
  if (status == G_IO_STATUS_AGAIN) return TRUE;
  std::string command = line != nullptr ? line : "";
  g_free(line);
  while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
    command.pop_back();
  if (status != G_IO_STATUS_NORMAL || command == "quit") {
    gtk_main_quit();
    return FALSE;
  }
  if (command.rfind("load ", 0) == 0) Load(view, command.substr(5));
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || !gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "usage: webkit_alone [URI] (needs a display; commands on stdin)\n");
    return 2;
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 600, 400);
  auto* view = WEBKIT_WEB_VIEW(webkit_web_view_new());
  webkit_settings_set_enable_write_console_messages_to_stdout(webkit_web_view_get_settings(view),
                                                              TRUE);
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  if (argc == 2) Load(view, argv[1]);
  gtk_widget_show_all(window);

  GIOChannel* input = g_io_channel_unix_new(0);
  g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnCommand, view);
  gtk_main();
  g_io_channel_unref(input);
  return 0;
}
