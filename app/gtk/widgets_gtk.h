// Small pieces the Linux viewer's window and bars share: the names tests and
// assistive technology find a control by, a flat button, and signal
// connections let go of together.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <utility>
#include <vector>

namespace vellum {

// The control's designer name as its widget name and accessible description
// (what the tests look it up by), and its accessible name when given.
inline void SetAccessible(GtkWidget* widget, const char* designer_name,
                          const char* name = nullptr) {
  gtk_widget_set_name(widget, designer_name);
  AtkObject* accessible = gtk_widget_get_accessible(widget);
  if (accessible == nullptr) return;
  atk_object_set_description(accessible, designer_name);
  if (name != nullptr) atk_object_set_name(accessible, name);
}

// Text from outside (the network, a child process, a file name) made fit
// for a label: GTK takes valid UTF-8 only.
inline std::string ValidUtf8(const std::string& text) {
  gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
  std::string out = valid != nullptr ? valid : "";
  g_free(valid);
  return out;
}

// A button of a bar: flat, its tooltip naming its key, never taking the
// keyboard from the field by a click.
inline GtkWidget* FlatButton(const char* caption, const char* tooltip) {
  GtkWidget* button = gtk_button_new_with_label(caption);
  gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
  gtk_widget_set_focus_on_click(button, FALSE);
  gtk_widget_set_tooltip_text(button, tooltip);
  gtk_style_context_add_class(gtk_widget_get_style_context(button), "bar");
  return button;
}

// Signal handlers with one receiver, disconnected together: when their owner
// goes, or earlier, before what they point to does.
class SignalConnections {
 public:
  explicit SignalConnections(gpointer receiver) : receiver_(receiver) {}
  SignalConnections(const SignalConnections&) = delete;
  SignalConnections& operator=(const SignalConnections&) = delete;
  ~SignalConnections() { DisconnectAll(); }

  void Connect(gpointer instance, const char* signal, GCallback callback) {
    handlers_.emplace_back(instance, g_signal_connect(instance, signal, callback, receiver_));
  }
  void DisconnectAll() {
    for (const auto& [instance, id] : handlers_) {
      if (G_IS_OBJECT(instance)) g_signal_handler_disconnect(instance, id);
    }
    handlers_.clear();
  }

 private:
  gpointer receiver_;
  std::vector<std::pair<gpointer, gulong>> handlers_;
};

}  // namespace vellum
