#include "app/gtk/go_to_bar_gtk.h"

#include "app/gtk/widgets_gtk.h"
#include "core/guarded.h"

namespace vellum {

GoToBarGtk::GoToBarGtk(Callbacks callbacks) : callbacks_(std::move(callbacks)) {
  bar_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  g_object_ref_sink(bar_);
  gtk_container_set_border_width(GTK_CONTAINER(bar_), 2);
  GtkWidget* label = gtk_label_new_with_mnemonic("_Go to");
  entry_ = gtk_entry_new();
  gtk_label_set_mnemonic_widget(GTK_LABEL(label), entry_);
  gtk_entry_set_placeholder_text(GTK_ENTRY(entry_), "John 3:16");
  gtk_widget_set_tooltip_text(entry_, "A book, chapter and verse: John 3:16, Jn 3.16, 1 Cor 13");
  go_ = FlatButton("Go", "Go there (Enter)");
  status_ = gtk_label_new("");
  gtk_label_set_ellipsize(GTK_LABEL(status_), PANGO_ELLIPSIZE_END);
  gtk_label_set_xalign(GTK_LABEL(status_), 0.0f);
  close_ = FlatButton("x", "Close (Esc)");
  SetAccessible(bar_, "GoToBar");
  SetAccessible(entry_, "GoToText", "Go to");
  SetAccessible(go_, "GoToGo");
  SetAccessible(status_, "GoToStatus");
  SetAccessible(close_, "GoToClose", "Close");
  gtk_box_pack_start(GTK_BOX(bar_), label, FALSE, FALSE, 4);
  gtk_box_pack_start(GTK_BOX(bar_), entry_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), go_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), status_, TRUE, TRUE, 4);
  gtk_box_pack_end(GTK_BOX(bar_), close_, FALSE, FALSE, 0);

  gtk_widget_show_all(bar_);
  gtk_widget_set_no_show_all(bar_, TRUE);
  gtk_widget_hide(bar_);

  signals_.Connect(entry_, "key-press-event", G_CALLBACK(OnEntryKey));
  signals_.Connect(entry_, "changed", G_CALLBACK(OnChanged));
  for (GtkWidget* button : {go_, close_})
    signals_.Connect(button, "clicked", G_CALLBACK(OnButton));
}

GoToBarGtk::~GoToBarGtk() {
  if (complete_idle_ != 0) g_source_remove(complete_idle_);
  signals_.DisconnectAll();
  g_object_unref(bar_);
}

void GoToBarGtk::Open() {
  gtk_label_set_text(GTK_LABEL(status_), "");
  gtk_widget_show(bar_);
  gtk_widget_grab_focus(entry_);
  gtk_editable_select_region(GTK_EDITABLE(entry_), 0, -1);
  typed_ = gtk_entry_get_text(GTK_ENTRY(entry_));
}

void GoToBarGtk::Close() {
  if (!IsOpen()) return;
  gtk_widget_hide(bar_);
  if (callbacks_.closed) callbacks_.closed();
}

void GoToBarGtk::Go() {
  if (!callbacks_.go) return;
  const GoToResult result = callbacks_.go(gtk_entry_get_text(GTK_ENTRY(entry_)));
  if (result.location) {
    Close();
    return;
  }
  // Said beside the field, which keeps the text to mend.
  gtk_label_set_text(GTK_LABEL(status_), result.problem.c_str());
  gtk_widget_set_tooltip_text(status_, result.problem.c_str());
  gtk_widget_grab_focus(entry_);
}

gboolean GoToBarGtk::OnEntryKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<GoToBarGtk*>(data);
  gboolean handled = FALSE;
  Guarded([&] {
    switch (event->keyval) {
      case GDK_KEY_Return:
      case GDK_KEY_KP_Enter:
        self->Go();
        handled = TRUE;
        break;
      case GDK_KEY_Escape:
        self->Close();
        handled = TRUE;
        break;
      case GDK_KEY_Tab: {
        // Takes the name completed, and makes room for the numbers.
        gint start = 0;
        gint end = 0;
        const gint length = gtk_entry_get_text_length(GTK_ENTRY(self->entry_));
        if (!gtk_editable_get_selection_bounds(GTK_EDITABLE(self->entry_), &start, &end) ||
            end != length)
          break;
        gtk_editable_set_position(GTK_EDITABLE(self->entry_), -1);
        gint at = length;
        gtk_editable_insert_text(GTK_EDITABLE(self->entry_), " ", 1, &at);
        gtk_editable_set_position(GTK_EDITABLE(self->entry_), -1);
        handled = TRUE;
        break;
      }
      default:
        break;
    }
  });
  return handled;
}

void GoToBarGtk::OnButton(GtkWidget* button, gpointer data) {
  auto* self = static_cast<GoToBarGtk*>(data);
  Guarded([&] {
    if (button == self->go_) self->Go();
    if (button == self->close_) self->Close();
  });
}

void GoToBarGtk::OnChanged(GtkEditable*, gpointer data) {
  auto* self = static_cast<GoToBarGtk*>(data);
  Guarded([&] {
    // What was said of the last text no longer holds.
    gtk_label_set_text(GTK_LABEL(self->status_), "");
    const std::string text = gtk_entry_get_text(GTK_ENTRY(self->entry_));
    // Only typing at the end is completed: a deletion, or a change within,
    // is the reader's own. The entry places its cursor after this signal,
    // so the completion and its selection come once the keystroke is done.
    const std::string& before = self->typed_;
    const bool appended = !self->completing_ && text.size() > before.size() &&
                          text.compare(0, before.size(), before) == 0;
    self->to_complete_ = appended ? text : std::string();
    if (appended && self->complete_idle_ == 0) {
      self->complete_idle_ = g_idle_add(
          [](gpointer bar) -> gboolean {
            auto* me = static_cast<GoToBarGtk*>(bar);
            me->complete_idle_ = 0;
            Guarded([&] { me->Complete(); });
            return G_SOURCE_REMOVE;
          },
          self);
    }
    self->typed_ = text;
  });
}

void GoToBarGtk::Complete() {
  const std::string text = gtk_entry_get_text(GTK_ENTRY(entry_));
  // Changed since by other than typing at the end: nothing to complete.
  if (text.empty() || text != to_complete_ || !callbacks_.complete) return;
  const std::optional<std::string> completed = callbacks_.complete(text);
  if (!completed) return;
  completing_ = true;
  gtk_entry_set_text(GTK_ENTRY(entry_), completed->c_str());
  completing_ = false;
  typed_ = *completed;
  // The rest of the name selected: typing on replaces it.
  gtk_editable_select_region(GTK_EDITABLE(entry_),
                             static_cast<gint>(g_utf8_strlen(text.c_str(), -1)), -1);
}

}  // namespace vellum
