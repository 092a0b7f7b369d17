#include "app/gtk/find_bar_gtk.h"

#include <string>

#include "app/gtk/widgets_gtk.h"
#include "browser/webkit_page_scripts.h"
#include "core/guarded.h"
#include "core/text.h"

namespace vellum {
namespace {

constexpr guint32 kOptions = WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;
constexpr guint kMaxMatches = kMostMatchesCounted;

// A position question in flight: whom to tell, and for which search.
struct PositionQuestion {
  std::weak_ptr<FindBarGtk*> bar;
  unsigned serial = 0;
};

}  // namespace

FindBarGtk::FindBarGtk(WebKitFindController* finder, std::function<void()> on_closed)
    : finder_(finder), on_closed_(std::move(on_closed)) {
  bar_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  g_object_ref_sink(bar_);
  gtk_container_set_border_width(GTK_CONTAINER(bar_), 2);
  entry_ = gtk_entry_new();
  gtk_entry_set_placeholder_text(GTK_ENTRY(entry_), "Find in page");
  // The field gives way in a narrow window; the status never does, so its
  // longest text always fits whole.
  gtk_entry_set_width_chars(GTK_ENTRY(entry_), 6);
  previous_ = FlatButton("<", "Previous (Shift+F3)");
  next_ = FlatButton(">", "Next (F3)");
  status_ = gtk_label_new("");
  gtk_label_set_width_chars(GTK_LABEL(status_), kMatchTextWidth);
  gtk_label_set_xalign(GTK_LABEL(status_), 0.0F);
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
  signals_.Connect(finder_, "found-text", G_CALLBACK(OnFound));
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
  // The reader is back where the find began.
  Run(RestoreFindPlaceScript(true));
  Run(MarkMatchesScript("", 0));
  ++search_serial_;
  count_ = position_ = 0;
  gtk_label_set_text(GTK_LABEL(status_), "");
  gtk_widget_hide(bar_);
  if (on_closed_) on_closed_();
}

void FindBarGtk::Next() {
  if (gtk_entry_get_text_length(GTK_ENTRY(entry_)) == 0) return;
  Run(KeepFindPlaceScript());
  webkit_find_controller_search_next(finder_);
}

void FindBarGtk::Previous() {
  if (gtk_entry_get_text_length(GTK_ENTRY(entry_)) == 0) return;
  Run(KeepFindPlaceScript());
  webkit_find_controller_search_previous(finder_);
}

void FindBarGtk::Search() {
  const std::string text = gtk_entry_get_text(GTK_ENTRY(entry_));
  ++search_serial_;
  position_ = 0;
  if (text.empty()) {
    webkit_find_controller_search_finish(finder_);
    Run(RestoreFindPlaceScript(false));
    Run(MarkMatchesScript("", 0));
    count_ = 0;
    gtk_label_set_text(GTK_LABEL(status_), "");
    return;
  }
  // Kept before the search can move the page: the page's scripts run in
  // the order they are sent, and before the find that follows them.
  Run(KeepFindPlaceScript());
  Run(MarkMatchesScript(text, kMaxMatches));
  webkit_find_controller_count_matches(finder_, text.c_str(), kOptions, kMaxMatches);
  webkit_find_controller_search(finder_, text.c_str(), kOptions, kMaxMatches);
}

void FindBarGtk::Run(const std::string& script) {
  if (WebKitWebView* view = webkit_find_controller_get_web_view(finder_))
    webkit_web_view_evaluate_javascript(view, script.c_str(), -1, kViewerWorld, nullptr, nullptr,
                                        nullptr, nullptr);
}

void FindBarGtk::ShowStatus() {
  gtk_label_set_text(GTK_LABEL(status_), MatchPositionText(position_, count_).c_str());
}

void FindBarGtk::AskPosition() {
  WebKitWebView* view = webkit_find_controller_get_web_view(finder_);
  if (view == nullptr) return;
  const std::string script = MatchPositionScript(gtk_entry_get_text(GTK_ENTRY(entry_)));
  auto* question = new PositionQuestion{alive_, search_serial_};
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, kViewerWorld, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<PositionQuestion> asked(static_cast<PositionQuestion*>(data));
        Guarded([&] {
          GError* error = nullptr;
          JSCValue* value =
              webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
          g_clear_error(&error);
          if (value == nullptr) return;
          const std::shared_ptr<FindBarGtk*> bar = asked->bar.lock();
          if (bar && jsc_value_is_number(value)) {
            FindBarGtk* self = *bar;
            const double position = jsc_value_to_double(value);
            if (asked->serial == self->search_serial_ && self->AwaitsReplies() && position >= 1 &&
                position <= kMostMatchesCounted) {
              self->position_ = static_cast<unsigned>(position);
              self->ShowStatus();
            }
          }
          g_object_unref(value);
        });
      },
      question);
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
    ++self->search_serial_;
    self->position_ = 0;
    self->Run(MarkMatchesScript(gtk_entry_get_text(GTK_ENTRY(self->entry_)), kMaxMatches));
    webkit_find_controller_count_matches(self->finder_, gtk_entry_get_text(GTK_ENTRY(self->entry_)),
                                         kOptions, kMaxMatches);
  });
}

void FindBarGtk::OnFound(WebKitFindController*, guint, gpointer data) {
  auto* self = static_cast<FindBarGtk*>(data);
  Guarded([&] {
    // Each step selects a match: where it stands is asked of the page.
    if (self->AwaitsReplies()) self->AskPosition();
  });
}

void FindBarGtk::OnCounted(WebKitFindController*, guint count, gpointer data) {
  auto* self = static_cast<FindBarGtk*>(data);
  Guarded([&] {
    if (!self->AwaitsReplies()) return;
    // Beyond the most counted, WebKit reports G_MAXUINT.
    self->count_ = count;
    self->ShowStatus();
  });
}

void FindBarGtk::OnFailed(WebKitFindController*, gpointer data) {
  auto* self = static_cast<FindBarGtk*>(data);
  Guarded([&] {
    if (!self->AwaitsReplies()) return;
    self->count_ = self->position_ = 0;
    self->ShowStatus();
    // Nothing to show: the reader's place comes back.
    self->Run(RestoreFindPlaceScript(false));
  });
}

}  // namespace vellum
