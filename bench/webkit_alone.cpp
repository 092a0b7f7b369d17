// WebKit alone: loads a page with an anchor as its #fragment in a bare
// WebKitGTK view, the yardstick for the viewer's own page loads. Prints the
// milliseconds from the load request to the page's scroll event (recorded by
// the page itself), then the time the load took to finish.
//
//   webkit_alone FILE ANCHOR
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <string>

namespace {

struct Run {
  WebKitWebView* view = nullptr;
  double requested_ms = 0;  // wall clock, as the page's own clock counts it
  bool finished = false;
  double finish_ms = 0;
};

double WallMs() {
  return static_cast<double>(g_get_real_time()) / 1000.0;
}

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* run = static_cast<Run*>(data);
  if (event == WEBKIT_LOAD_FINISHED) {
    run->finished = true;
    run->finish_ms = WallMs();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || !gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "usage: webkit_alone FILE ANCHOR (needs a display)\n");
    return 2;
  }
  Run run;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 600, 400);
  run.view = WEBKIT_WEB_VIEW(webkit_web_view_new());
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(run.view));
  g_signal_connect(run.view, "load-changed", G_CALLBACK(OnLoadChanged), &run);
  gtk_widget_show_all(window);
  // Let the view settle on its blank page first, as the viewer's does.
  for (int i = 0; i < 200; ++i)
    g_main_context_iteration(nullptr, FALSE);

  gchar* uri = g_filename_to_uri(argv[1], nullptr, nullptr);
  const std::string target = std::string(uri) + "#" + argv[2];
  g_free(uri);
  run.requested_ms = WallMs();
  webkit_web_view_load_uri(run.view, target.c_str());
  while (!run.finished)
    g_main_context_iteration(nullptr, TRUE);
  // Give the page's scroll event time to be recorded.
  const gint64 until = g_get_monotonic_time() + 300'000;
  while (g_get_monotonic_time() < until)
    g_main_context_iteration(nullptr, FALSE);

  bool done = false;
  double scrolled_ms = -1;
  std::pair<bool*, double*> answer(&done, &scrolled_ms);
  webkit_web_view_evaluate_javascript(
      run.view, "window.vellumScrolledAt || -1", -1, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* out = static_cast<std::pair<bool*, double*>*>(data);
        JSCValue* value =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
        if (value != nullptr) {
          *out->second = jsc_value_to_double(value);
          g_object_unref(value);
        }
        *out->first = true;
      },
      &answer);
  while (!done)
    g_main_context_iteration(nullptr, TRUE);
  std::printf("%.1f %.1f\n", scrolled_ms - run.requested_ms, run.finish_ms - run.requested_ms);
  gtk_widget_destroy(window);
  return scrolled_ms < 0 ? 1 : 0;
}
