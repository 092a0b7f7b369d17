#include "app/gtk/find_bar_gtk.h"

#include <string>

#include "app/gtk/widgets_gtk.h"
#include "core/guarded.h"
#include "core/text.h"

namespace vellum {
namespace {

constexpr guint32 kOptions = WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;
constexpr guint kMaxMatches = kMostMatchesCounted;

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
  SetAccessible(bar_, "FindBar");
  SetAccessible(entry_, "FindText");
  SetAccessible(previous_, "FindPrevious");
  SetAccessible(next_, "FindNext");
  SetAccessible(status_, "FindStatus");
  SetAccessible(close_, "FindClose");
  gtk_box_pack_start(GTK_BOX(bar_), entry_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), previous_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), next_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), status_, FALSE, FALSE, 4);
  gtk_box_pack_end(GTK_BOX(bar_), close_, FALSE, FALSE, 0);
  gtk_widget_show_all(bar_);
  gtk_widget_set_no_show_all(bar_, TRUE);
  gtk_widget_hide(bar_);

  signals_.Connect(entry_, "changed", G_CALLBACK(OnChanged));
  signals_.Connect(entry_, "key-press-event", G_CALLBACK(OnEntryKey));
  for (GtkWidget* button : {previous_, next_, close_})
    signals_.Connect(button, "clicked", G_CALLBACK(OnButton));
  signals_.Connect(finder_, "counted-matches", G_CALLBACK(OnCounted));
  signals_.Connect(finder_, "failed-to-find-text", G_CALLBACK(OnFailed));
  if (WebKitWebView* view = webkit_find_controller_get_web_view(finder_))
    signals_.Connect(view, "load-changed", G_CALLBACK(OnLoadChanged));
}

FindBarGtk::~FindBarGtk() {
  signals_.DisconnectAll();
  g_object_unref(bar_);
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
