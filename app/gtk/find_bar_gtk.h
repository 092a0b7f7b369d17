// The find bar of the Linux viewer: a line under the title bar with a text
// field, Previous and Next, where the selected match stands ("3 of 14") or
// "not found", and a close button. WebKit's find controller does the
// finding; the page is asked where its selected match stands, and keeps the
// reader's place for a search that ends without a match or a closed bar.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/gtk/widgets_gtk.h"

namespace vellum {

class FindBarGtk {
 public:
  // on_closed gives the keyboard back to the page.
  FindBarGtk(WebKitFindController* finder, std::function<void()> on_closed);
  FindBarGtk(const FindBarGtk&) = delete;
  FindBarGtk& operator=(const FindBarGtk&) = delete;
  ~FindBarGtk();

  GtkWidget* Widget() const { return bar_; }
  bool IsOpen() const { return gtk_widget_get_visible(bar_) != FALSE; }

  // Shows the bar with the keyboard in its field, its text selected.
  void Open();
  // Hides it, ends the search and gives the keyboard back to the page.
  void Close();
  void Next();
  void Previous();

 private:
  void Search();
  bool AwaitsReplies() const;
  // Runs one of the viewer's scripts in the page, its answer unread.
  void Run(const std::string& script);
  void AskPosition();
  void ShowStatus();
  static void OnFound(WebKitFindController* finder, guint count, gpointer self);
  static void OnChanged(GtkEditable* entry, gpointer self);
  static gboolean OnEntryKey(GtkWidget* entry, GdkEventKey* event, gpointer self);
  static void OnButton(GtkWidget* button, gpointer self);
  static void OnCounted(WebKitFindController* finder, guint count, gpointer self);
  static void OnFailed(WebKitFindController* finder, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);

  WebKitFindController* finder_;
  std::function<void()> on_closed_;
  GtkWidget* bar_ = nullptr;
  GtkWidget* entry_ = nullptr;
  GtkWidget* previous_ = nullptr;
  GtkWidget* next_ = nullptr;
  GtkWidget* status_ = nullptr;
  GtkWidget* close_ = nullptr;
  unsigned count_ = 0;     // as last counted
  unsigned position_ = 0;  // of the selected match; 0 when not known
  // Answers to position questions asked before the last search are late.
  unsigned search_serial_ = 0;
  SignalConnections signals_{this};
  std::shared_ptr<FindBarGtk*> alive_ = std::make_shared<FindBarGtk*>(this);
};

}  // namespace vellum
