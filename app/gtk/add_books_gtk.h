// The Add books dialog of the Linux viewer (Library > Add books…): the SWORD
// modules installed on this computer and module .zip files chosen by the
// reader, imported one after the other by vellum-import as a child process,
// each with its progress bar and, at the end, a plain line: added, already
// there, cancelled or why not. The viewer goes on meanwhile; a library added
// is in the Library menu at once and can be shown from here.
#pragma once

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "app/gtk/widgets_gtk.h"
#include "core/book_imports.h"

namespace vellum {

class Viewer;

class AddBooksDialogGtk {
 public:
  AddBooksDialogGtk(GtkWindow* parent, Viewer& viewer);
  AddBooksDialogGtk(const AddBooksDialogGtk&) = delete;
  AddBooksDialogGtk& operator=(const AddBooksDialogGtk&) = delete;
  ~AddBooksDialogGtk();

  // Shows the dialog, listing the modules anew.
  void Present();

 private:
  struct Row {
    std::string module;  // a module's name, or a .zip file's path
    bool replace = false;
    std::string library;  // the library it became, once added
    GtkWidget* box = nullptr;
    GtkWidget* check = nullptr;
    GtkWidget* bar = nullptr;
    GtkWidget* result = nullptr;
    GtkWidget* show = nullptr;
  };

  void List();
  static void OnListed(GObject* source, GAsyncResult* result, gpointer self);
  void AddRow(const std::string& module, const std::string& label, bool ticked, bool replace);
  void SetNote(const std::string& text);
  // The reader's own libraries, each with its Remove… button.
  void ListLibraries();
  static void OnRemove(GtkWidget* button, gpointer self);
  void UpdateButtons();

  static void OnAdd(GtkWidget* button, gpointer self);
  static void OnCancel(GtkWidget* button, gpointer self);
  static void OnFromFile(GtkWidget* button, gpointer self);
  static void OnShow(GtkWidget* button, gpointer self);
  static gboolean OnDelete(GtkWidget* window, GdkEvent* event, gpointer self);
  // Escape: as Cancel (while importing) or Close.
  static gboolean OnKey(GtkWidget* window, GdkEventKey* event, gpointer self);
  void StartNext();
  void ReadLine();
  static void OnLine(GObject* source, GAsyncResult* result, gpointer self);
  static void OnExited(GObject* source, GAsyncResult* result, gpointer self);
  void Finish(int exit_code);
  void StopChild();

  GtkWindow* parent_;
  Viewer& viewer_;
  std::string program_;  // vellum-import's path; "" when it is not there
  GtkWidget* window_ = nullptr;
  GtkWidget* list_ = nullptr;
  GtkWidget* libraries_ = nullptr;
  GtkWidget* note_ = nullptr;
  GtkWidget* add_ = nullptr;
  GtkWidget* cancel_ = nullptr;
  GtkWidget* from_file_ = nullptr;
  std::vector<std::unique_ptr<Row>> rows_;
  std::vector<Row*> queue_;  // ticked, not yet imported
  Row* running_ = nullptr;
  GSubprocess* child_ = nullptr;
  GDataInputStream* lines_ = nullptr;
  GCancellable* cancellable_ = nullptr;  // cancelled when the dialog goes
  std::string errors_path_;
  bool cancelling_ = false;
  std::string note_after_listing_;  // said once the modules are listed anew
  SignalConnections connections_{this};
};

}  // namespace vellum
