// The Go to bar of the Linux viewer: a line under the title bar where the
// reader types a place ("John 3:16"), with the book's name completed in the
// field as they type it (the rest selected: typing on replaces it, Tab takes
// it), and what could not be read said beside the field.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/gtk/widgets_gtk.h"
#include "core/go_to.h"

namespace vellum {

class GoToBarGtk {
 public:
  struct Callbacks {
    // Goes to the place typed; the problem when it cannot be read.
    std::function<GoToResult(const std::string&)> go;
    // The text with the book's name completed, where it completes.
    std::function<std::optional<std::string>(const std::string&)> complete;
    // The bar closed: the keyboard goes back to the page.
    std::function<void()> closed;
  };

  explicit GoToBarGtk(Callbacks callbacks);
  GoToBarGtk(const GoToBarGtk&) = delete;
  GoToBarGtk& operator=(const GoToBarGtk&) = delete;
  ~GoToBarGtk();

  GtkWidget* Widget() const { return bar_; }
  bool IsOpen() const { return gtk_widget_get_visible(bar_) != FALSE; }

  // Shows the bar with the keyboard in its field, its text selected.
  void Open();
  // Hides it and gives the keyboard back to the page.
  void Close();

 private:
  void Go();
  static gboolean OnEntryKey(GtkWidget* entry, GdkEventKey* event, gpointer self);
  static void OnButton(GtkWidget* button, gpointer self);
  static void OnChanged(GtkEditable* entry, gpointer self);
  // Typing that added to the end of the text: the book's name is completed.
  void Complete();

  Callbacks callbacks_;
  GtkWidget* bar_ = nullptr;
  GtkWidget* entry_ = nullptr;
  GtkWidget* go_ = nullptr;
  GtkWidget* status_ = nullptr;
  GtkWidget* close_ = nullptr;
  std::string typed_;        // the text before the last change
  bool completing_ = false;  // our own change of the text
  guint complete_idle_ = 0;  // the completion, once the keystroke is done
  std::string to_complete_;  // the text it completes
  SignalConnections signals_{this};
};

}  // namespace vellum
