#include "app/gtk/find_bar_gtk.h"

#include <string>

#include "core/guarded.h"
#include "core/text.h"

namespace vellum {
namespace {

constexpr guint32 kOptions = WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;
constexpr guint kMaxMatches = kMostMatchesCounted;

void Name(GtkWidget* widget, const char* designer_name) {
  gtk_widget_set_name(widget, designer_name);
  if (AtkObject* accessible = gtk_widget_get_accessible(widget))
    atk_object_set_description(accessible, designer_name);
}

GtkWidget* FlatButton(const char* caption, const char* tooltip) {
  GtkWidget* button = gtk_button_new_with_label(caption);
  gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
  gtk_widget_set_focus_on_click(button, FALSE);
  gtk_widget_set_tooltip_text(button, tooltip);
  return button;
}

}  // namespace

FindBarGtk::FindBarGtk(WebKitFindController* finder, std::function<void()> on_closed)
    : finder_(finder), on_closed_(std::move(on_closed)) {
  bar_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  g_object_ref_sink(bar_);
  gtk_container_set_border_width(GTK_CONTAINER(bar_), 2);
  entry_ = gtk_entry_new();
  gtk_entry_set_placeholder_text(GTK_ENTRY(entry_), "Find in page");
  previous_ = FlatButton("<", "Previous (Shift+F3)");
  next_ = FlatButton(">", "Next (F3)");
  status_ = gtk_label_new("");
  close_ = FlatButton("x", "Close (Esc)");
  Name(bar_, "FindBar");
  Name(entry_, "FindText");
  Name(previous_, "FindPrevious");
  Name(next_, "FindNext");
  Name(status_, "FindStatus");
  Name(close_, "FindClose");
  gtk_box_pack_start(GTK_BOX(bar_), entry_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), previous_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), next_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), status_, FALSE, FALSE, 4);
  gtk_box_pack_end(GTK_BOX(bar_), close_, FALSE, FALSE, 0);
  gtk_widget_show_all(bar_);
  gtk_widget_set_no_show_all(bar_, TRUE);
  gtk_widget_hide(bar_);

  Connect(entry_, "changed", G_CALLBACK(OnChanged));
  Connect(entry_, "key-press-event", G_CALLBACK(OnEntryKey));
  for (GtkWidget* button : {previous_, next_, close_})
    Connect(button, "clicked", G_CALLBACK(OnButton));
  Connect(finder_, "counted-matches", G_CALLBACK(OnCounted));
  Connect(finder_, "failed-to-find-text", G_CALLBACK(OnFailed));
  if (WebKitWebView* view = webkit_find_controller_get_web_view(finder_))
    Connect(view, "load-changed", G_CALLBACK(OnLoadChanged));
}

FindBarGtk::~FindBarGtk() {
  for (const auto& [instance, id] : handlers_) {
    if (G_IS_OBJECT(instance)) g_signal_handler_disconnect(instance, id);
  }
  g_object_unref(bar_);
}

void FindBarGtk::Connect(gpointer instance, const char* signal, GCallback callback) {
  handlers_.emplace_back(instance, g_signal_connect(instance, signal, callback, this));
}

void FindBarGtk::Open() {
  gtk_widget_show(bar_);
  gtk_widget_grab_focus(entry_);
  gtk_editable_select_region(GTK_EDITABLE(entry_), 0, -1);
  // Searched again: the page may have changed since the bar last closed.
  Search();
}

void FindBarGtk::Close() {
  if (!IsOpen()) return;
  webkit_find_controller_search_finish(finder_);
  gtk_label_set_text(GTK_LABEL(status_), "");
  gtk_widget_hide(bar_);
  if (on_closed_) on_closed_();
}

void FindBarGtk::Next() {
  if (gtk_entry_get_text_length(GTK_ENTRY(entry_)) > 0) webkit_find_controller_search_next(finder_);
}

void FindBarGtk::Previous() {
  if (gtk_entry_get_text_length(GTK_ENTRY(entry_)) > 0)
    webkit_find_controller_search_previous(finder_);
}

void FindBarGtk::Search() {
  const std::string text = gtk_entry_get_text(GTK_ENTRY(entry_));
  if (text.empty()) {
    webkit_find_controller_search_finish(finder_);
    gtk_label_set_text(GTK_LABEL(status_), "");
    return;
  }
  webkit_find_controller_count_matches(finder_, text.c_str(), kOptions, kMaxMatches);
  webkit_find_controller_search(finder_, text.c_str(), kOptions, kMaxMatches);
}

void FindBarGtk::OnChanged(GtkEditable*, gpointer data) {
  Guarded([&] { static_cast<FindBarGtk*>(data)->Search(); });
}

gboolean FindBarGtk::OnEntryKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<FindBarGtk*>(data);
  const bool shift = (event->state & GDK_SHIFT_MASK) != 0;
  gboolean handled = FALSE;
  Guarded([&] {
    switch (event->keyval) {
      case GDK_KEY_Return:
      case GDK_KEY_KP_Enter:
        shift ? self->Previous() : self->Next();
        handled = TRUE;
        break;
      case GDK_KEY_Escape:
        self->Close();
        handled = TRUE;
        break;
      default:
        break;
    }
  });
  return handled;
}

void FindBarGtk::OnButton(GtkWidget* button, gpointer data) {
  auto* self = static_cast<FindBarGtk*>(data);
  Guarded([&] {
    if (button == self->previous_) self->Previous();
    if (button == self->next_) self->Next();
    if (button == self->close_) self->Close();
  });
}

bool FindBarGtk::AwaitsReplies() const {
  // Replies come after the request, in order: one for a search since ended
  // (the field emptied, the bar closed) must not show.
  return IsOpen() && gtk_entry_get_text_length(GTK_ENTRY(entry_)) > 0;
}

void FindBarGtk::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* self = static_cast<FindBarGtk*>(data);
  Guarded([&] {
    // A new page under an open bar: its matches are counted, but the place
    // the viewer shows is not left for the first of them.
    if (event != WEBKIT_LOAD_FINISHED || !self->AwaitsReplies()) return;
    webkit_find_controller_count_matches(self->finder_, gtk_entry_get_text(GTK_ENTRY(self->entry_)),
                                         kOptions, kMaxMatches);
  });
}

void FindBarGtk::OnCounted(WebKitFindController*, guint count, gpointer data) {
  auto* self = static_cast<FindBarGtk*>(data);
  Guarded([&] {
    if (!self->AwaitsReplies()) return;
    // Beyond the most counted, WebKit reports G_MAXUINT.
    gtk_label_set_text(GTK_LABEL(self->status_), MatchCountText(count).c_str());
  });
}

void FindBarGtk::OnFailed(WebKitFindController*, gpointer data) {
  auto* self = static_cast<FindBarGtk*>(data);
  Guarded([&] {
    if (self->AwaitsReplies())
      gtk_label_set_text(GTK_LABEL(self->status_), MatchCountText(0).c_str());
  });
}

}  // namespace vellum
