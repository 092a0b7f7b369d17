#include "app/gtk/add_books_gtk.h"

#include <glib/gstdio.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "core/guarded.h"
#include "core/viewer.h"

namespace vellum {
namespace {

// vellum-import beside our own executable (a build folder), in the bin
// folder of the prefix it was installed into (lib/vellum/../../bin), else on
// the PATH; "" when there is none.
std::string ImportProgram() {
  std::string path;
  if (gchar* self = g_file_read_link("/proc/self/exe", nullptr)) {
    gchar* folder = g_path_get_dirname(self);
    for (gchar* candidate :
         {g_build_filename(folder, "vellum-import", nullptr),
          g_build_filename(folder, "..", "..", "bin", "vellum-import", nullptr)}) {
      if (path.empty() && g_file_test(candidate, G_FILE_TEST_IS_EXECUTABLE)) path = candidate;
      g_free(candidate);
    }
    g_free(folder);
    g_free(self);
  }
  if (!path.empty()) return path;
  gchar* found = g_find_program_in_path("vellum-import");
  path = found != nullptr ? found : "";
  g_free(found);
  return path;
}

bool Cancelled(const GError* error) {
  return error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

}  // namespace

AddBooksDialogGtk::AddBooksDialogGtk(GtkWindow* parent, Viewer& viewer)
    : parent_(parent), viewer_(viewer), program_(ImportProgram()) {
  cancellable_ = g_cancellable_new();
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), "Add books");
  gtk_window_set_transient_for(GTK_WINDOW(window_), parent_);
  gtk_window_set_default_size(GTK_WINDOW(window_), 520, 420);
  GtkWidget* outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(outer), 12);
  gtk_container_add(GTK_CONTAINER(window_), outer);
  GtkWidget* intro = gtk_label_new(
      "Tick the books to add to your library: the SWORD modules installed on this computer, "
      "or a module .zip from a file.");
  gtk_label_set_line_wrap(GTK_LABEL(intro), TRUE);
  gtk_label_set_xalign(GTK_LABEL(intro), 0);
  gtk_box_pack_start(GTK_BOX(outer), intro, FALSE, FALSE, 0);
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  list_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_container_add(GTK_CONTAINER(scroller), list_);
  gtk_box_pack_start(GTK_BOX(outer), scroller, TRUE, TRUE, 0);
  GtkWidget* heading = gtk_label_new("Your libraries:");
  gtk_label_set_xalign(GTK_LABEL(heading), 0);
  gtk_box_pack_start(GTK_BOX(outer), heading, FALSE, FALSE, 0);
  libraries_ = gtk_flow_box_new();
  gtk_flow_box_set_selection_mode(GTK_FLOW_BOX(libraries_), GTK_SELECTION_NONE);
  gtk_box_pack_start(GTK_BOX(outer), libraries_, FALSE, FALSE, 0);
  note_ = gtk_label_new("");
  gtk_label_set_line_wrap(GTK_LABEL(note_), TRUE);
  gtk_label_set_xalign(GTK_LABEL(note_), 0);
  SetAccessible(note_, "AddBooksNote");
  gtk_box_pack_start(GTK_BOX(outer), note_, FALSE, FALSE, 0);
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  from_file_ = gtk_button_new_with_mnemonic("From a _file\u2026");
  cancel_ = gtk_button_new_with_mnemonic("_Cancel");
  add_ = gtk_button_new_with_mnemonic("_Add");
  // Named for the tests apart from the viewer's own buttons ("Close").
  SetAccessible(from_file_, "AddBooksFromFile");
  SetAccessible(cancel_, "AddBooksClose");
  SetAccessible(add_, "AddBooksAdd");
  gtk_box_pack_start(GTK_BOX(buttons), from_file_, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(buttons), add_, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(buttons), cancel_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(outer), buttons, FALSE, FALSE, 0);
  connections_.Connect(add_, "clicked", G_CALLBACK(OnAdd));
  connections_.Connect(cancel_, "clicked", G_CALLBACK(OnCancel));
  connections_.Connect(from_file_, "clicked", G_CALLBACK(OnFromFile));
  connections_.Connect(window_, "delete-event", G_CALLBACK(OnDelete));
  connections_.Connect(window_, "key-press-event", G_CALLBACK(OnKey));
  // Enter adds what is ticked, wherever the keys are in the window.
  gtk_widget_set_can_default(add_, TRUE);
  gtk_window_set_default(GTK_WINDOW(window_), add_);
}

AddBooksDialogGtk::~AddBooksDialogGtk() {
  // What is still on its way finds the cancellable cancelled, and us gone.
  g_cancellable_cancel(cancellable_);
  StopChild();
  g_clear_object(&lines_);
  g_clear_object(&child_);
  connections_.DisconnectAll();
  gtk_widget_destroy(window_);
  g_object_unref(cancellable_);
}

void AddBooksDialogGtk::Present() {
  if (running_ == nullptr) List();
  ListLibraries();
  gtk_widget_show_all(window_);
  for (const auto& row : rows_) {
    gtk_widget_set_visible(row->bar, FALSE);
    gtk_widget_set_visible(row->show, !row->library.empty());
  }
  gtk_window_present(GTK_WINDOW(window_));
}

void AddBooksDialogGtk::List() {
  for (const auto& row : rows_)
    gtk_widget_destroy(row->box);
  rows_.clear();
  if (program_.empty()) {
    SetNote("vellum-import is not installed beside Vellum: books cannot be added.");
    UpdateButtons();
    return;
  }
  SetNote("Looking for the modules installed on this computer\u2026");
  const gchar* argv[] = {program_.c_str(), "--list", "--machine", nullptr};
  GError* error = nullptr;
  GSubprocess* lister =
      g_subprocess_newv(argv,
                        static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_PIPE |
                                                      G_SUBPROCESS_FLAGS_STDERR_SILENCE),
                        &error);
  if (lister == nullptr) {
    SetNote(std::string("The modules could not be listed: ") + error->message);
    g_error_free(error);
    return;
  }
  g_subprocess_communicate_utf8_async(lister, nullptr, cancellable_, OnListed, this);
  g_object_unref(lister);
  UpdateButtons();
}

void AddBooksDialogGtk::OnListed(GObject* source, GAsyncResult* result, gpointer data) {
  gchar* out = nullptr;
  GError* error = nullptr;
  const gboolean ok =
      g_subprocess_communicate_utf8_finish(G_SUBPROCESS(source), result, &out, nullptr, &error);
  if (Cancelled(error)) {  // the dialog is gone
    g_error_free(error);
    return;
  }
  auto* self = static_cast<AddBooksDialogGtk*>(data);
  Guarded([&] {
    if (!ok) {
      self->SetNote(std::string("The modules could not be listed: ") +
                    (error != nullptr ? error->message : "?"));
      return;
    }
    const std::vector<ModuleOffer> offers = ParseModuleList(out != nullptr ? out : "");
    for (const ModuleOffer& offer : offers) {
      self->AddRow(offer.name, OfferText(offer), false,
                   offer.state == ModuleOffer::State::kOlderImported);
    }
    self->SetNote(!self->note_after_listing_.empty() ? self->note_after_listing_
                  : offers.empty() ? "No SWORD modules are installed on this computer: add a "
                                     "module .zip with From a file\u2026"
                                   : "");
    self->note_after_listing_.clear();
    self->UpdateButtons();
  });
  if (error != nullptr) g_error_free(error);
  g_free(out);
}

void AddBooksDialogGtk::AddRow(const std::string& module, const std::string& label, bool ticked,
                               bool replace) {
  auto row = std::make_unique<Row>();
  row->module = module;
  row->replace = replace;
  row->box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  GtkWidget* line = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  row->check = gtk_check_button_new_with_label(ValidUtf8(label).c_str());
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(row->check), ticked ? TRUE : FALSE);
  gtk_label_set_line_wrap(GTK_LABEL(gtk_bin_get_child(GTK_BIN(row->check))), TRUE);
  row->show = gtk_button_new_with_label("Show");
  atk_object_set_name(gtk_widget_get_accessible(row->show), ("Show " + module).c_str());
  gtk_box_pack_start(GTK_BOX(line), row->check, TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(line), row->show, FALSE, FALSE, 0);
  row->bar = gtk_progress_bar_new();
  gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(row->bar), TRUE);
  row->result = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(row->result), 0);
  gtk_label_set_line_wrap(GTK_LABEL(row->result), TRUE);
  atk_object_set_description(gtk_widget_get_accessible(row->result), "ImportResult");
  gtk_box_pack_start(GTK_BOX(row->box), line, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row->box), row->bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row->box), row->result, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(list_), row->box, FALSE, FALSE, 0);
  g_signal_connect(row->show, "clicked", G_CALLBACK(OnShow), this);
  g_signal_connect_swapped(row->check, "toggled", G_CALLBACK(+[](gpointer self) {
                             static_cast<AddBooksDialogGtk*>(self)->UpdateButtons();
                           }),
                           this);
  gtk_widget_show_all(row->box);
  gtk_widget_set_visible(row->bar, FALSE);
  gtk_widget_set_visible(row->show, FALSE);
  rows_.push_back(std::move(row));
}

void AddBooksDialogGtk::ListLibraries() {
  GList* children = gtk_container_get_children(GTK_CONTAINER(libraries_));
  for (GList* child = children; child != nullptr; child = child->next)
    gtk_widget_destroy(GTK_WIDGET(child->data));
  g_list_free(children);
  const std::vector<std::string> names = viewer_.UserLibraryNames();
  if (names.empty()) {
    gtk_container_add(GTK_CONTAINER(libraries_), gtk_label_new("none yet"));
  }
  for (const std::string& name : names) {
    GtkWidget* button = gtk_button_new_with_label(("Remove " + ValidUtf8(name) + "\u2026").c_str());
    gtk_widget_set_tooltip_text(button, "Remove this library from your library folder");
    g_object_set_data_full(G_OBJECT(button), "library", g_strdup(name.c_str()), g_free);
    g_signal_connect(button, "clicked", G_CALLBACK(OnRemove), this);
    gtk_container_add(GTK_CONTAINER(libraries_), button);
  }
  gtk_widget_show_all(libraries_);
}

void AddBooksDialogGtk::OnRemove(GtkWidget* button, gpointer data) {
  auto* self = static_cast<AddBooksDialogGtk*>(data);
  Guarded([&] {
    const auto* name = static_cast<const char*>(g_object_get_data(G_OBJECT(button), "library"));
    // Not while an import runs: the list of rows is in use.
    if (name == nullptr || self->running_ != nullptr) return;
    const std::string library = name;
    GtkWidget* ask = gtk_message_dialog_new(
        GTK_WINDOW(self->window_), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
        "Remove the library %s from your library folder?", ValidUtf8(library).c_str());
    gtk_message_dialog_format_secondary_text(
        GTK_MESSAGE_DIALOG(ask),
        "Its pages are deleted. A module it came from stays installed and can be added again.");
    gtk_dialog_add_buttons(GTK_DIALOG(ask), "_Keep", GTK_RESPONSE_CANCEL, "_Remove",
                           GTK_RESPONSE_ACCEPT, nullptr);
    const gint answer = gtk_dialog_run(GTK_DIALOG(ask));
    gtk_widget_destroy(ask);
    if (answer != GTK_RESPONSE_ACCEPT) return;
    const std::optional<std::string> failed = self->viewer_.RemoveUserLibrary(library);
    self->note_after_listing_ = failed ? "Not removed: " + *failed : "Removed " + library;
    self->ListLibraries();
    self->List();
  });
}

void AddBooksDialogGtk::SetNote(const std::string& text) {
  gtk_label_set_text(GTK_LABEL(note_), ValidUtf8(text).c_str());
}

void AddBooksDialogGtk::UpdateButtons() {
  bool ticked = false;
  for (const auto& row : rows_)
    ticked = ticked || gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(row->check));
  const bool busy = running_ != nullptr;
  gtk_widget_set_sensitive(add_, ticked && !busy && !program_.empty());
  gtk_widget_set_sensitive(from_file_, !busy && !program_.empty());
  gtk_button_set_label(GTK_BUTTON(cancel_), busy ? "_Cancel" : "_Close");
  gtk_button_set_use_underline(GTK_BUTTON(cancel_), TRUE);
  for (const auto& row : rows_)
    gtk_widget_set_sensitive(row->check, !busy);
}

void AddBooksDialogGtk::OnAdd(GtkWidget*, gpointer data) {
  auto* self = static_cast<AddBooksDialogGtk*>(data);
  Guarded([&] {
    self->queue_.clear();
    for (const auto& row : self->rows_) {
      if (!gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(row->check))) continue;
      gtk_label_set_text(GTK_LABEL(row->result), "Waiting\u2026");
      self->queue_.push_back(row.get());
    }
    self->cancelling_ = false;
    self->SetNote("");
    self->StartNext();
  });
}

void AddBooksDialogGtk::StartNext() {
  running_ = nullptr;
  if (queue_.empty() || cancelling_) {
    for (Row* waiting : queue_)
      gtk_label_set_text(GTK_LABEL(waiting->result), "Not added (cancelled)");
    queue_.clear();
    UpdateButtons();
    return;
  }
  Row* row = queue_.front();
  queue_.erase(queue_.begin());
  running_ = row;
  UpdateButtons();
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(row->bar), 0);
  gtk_progress_bar_set_text(GTK_PROGRESS_BAR(row->bar), "Starting\u2026");
  gtk_widget_set_visible(row->bar, TRUE);
  gtk_label_set_text(GTK_LABEL(row->result), "");
  // The import's own words go to a file of ours, read when it ends.
  gchar* errors = nullptr;
  GError* error = nullptr;
  const gint fd = g_file_open_tmp("vellum-import-XXXXXX.txt", &errors, &error);
  if (fd < 0) {
    gtk_label_set_text(GTK_LABEL(row->result), error->message);
    g_error_free(error);
    StartNext();
    return;
  }
  close(fd);
  errors_path_ = errors;
  g_free(errors);
  std::vector<std::string> arguments = ImportArguments(row->module, row->replace);
  std::vector<const gchar*> argv = {program_.c_str()};
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  GSubprocessLauncher* launcher = g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE);
  g_subprocess_launcher_set_stderr_file_path(launcher, errors_path_.c_str());
  child_ = g_subprocess_launcher_spawnv(launcher, argv.data(), &error);
  g_object_unref(launcher);
  if (child_ == nullptr) {
    gtk_label_set_text(GTK_LABEL(row->result), error->message);
    g_error_free(error);
    g_unlink(errors_path_.c_str());
    StartNext();
    return;
  }
  lines_ = g_data_input_stream_new(g_subprocess_get_stdout_pipe(child_));
  ReadLine();
}

void AddBooksDialogGtk::ReadLine() {
  g_data_input_stream_read_line_async(lines_, G_PRIORITY_DEFAULT, cancellable_, OnLine, this);
}

void AddBooksDialogGtk::OnLine(GObject* source, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  gchar* line =
      g_data_input_stream_read_line_finish(G_DATA_INPUT_STREAM(source), result, nullptr, &error);
  if (Cancelled(error)) {
    g_error_free(error);
    return;
  }
  auto* self = static_cast<AddBooksDialogGtk*>(data);
  Guarded([&] {
    if (line == nullptr) {  // the end of its output: wait for it to end
      g_subprocess_wait_async(self->child_, self->cancellable_, OnExited, self);
      return;
    }
    if (const std::optional<ImportProgress> progress = ParseProgressLine(line)) {
      GtkProgressBar* bar = GTK_PROGRESS_BAR(self->running_->bar);
      gtk_progress_bar_set_fraction(
          bar, static_cast<double>(progress->book - 1) / static_cast<double>(progress->books));
      const std::string text = ValidUtf8(progress->book_name) + " (book " +
                               std::to_string(progress->book) + " of " +
                               std::to_string(progress->books) + ")";
      gtk_progress_bar_set_text(bar, text.c_str());
      atk_object_set_name(gtk_widget_get_accessible(self->running_->bar), text.c_str());
    } else if (const std::optional<std::string> name = ImportedLibraryName(line)) {
      self->running_->library = *name;
    }
    self->ReadLine();
  });
  if (error != nullptr) g_error_free(error);
  g_free(line);
}

void AddBooksDialogGtk::OnExited(GObject* source, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  const gboolean ok = g_subprocess_wait_finish(G_SUBPROCESS(source), result, &error);
  if (Cancelled(error)) {
    g_error_free(error);
    return;
  }
  auto* self = static_cast<AddBooksDialogGtk*>(data);
  Guarded([&] {
    GSubprocess* child = self->child_;
    int code = -1;
    if (ok && g_subprocess_get_if_exited(child)) code = g_subprocess_get_exit_status(child);
    if (ok && g_subprocess_get_if_signaled(child)) code = 130;
    self->Finish(code);
  });
  if (error != nullptr) g_error_free(error);
}

void AddBooksDialogGtk::Finish(int exit_code) {
  gchar* errors = nullptr;
  g_file_get_contents(errors_path_.c_str(), &errors, nullptr, nullptr);
  const std::string outcome = ImportOutcome(exit_code, errors != nullptr ? errors : "");
  g_free(errors);
  g_unlink(errors_path_.c_str());
  g_clear_object(&lines_);
  g_clear_object(&child_);
  Row* row = running_;
  gtk_widget_set_visible(row->bar, FALSE);
  gtk_label_set_text(GTK_LABEL(row->result), ValidUtf8(outcome).c_str());
  if (exit_code == 0) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(row->check), FALSE);
    viewer_.OnLibrariesChanged();
    ListLibraries();
    gtk_widget_set_visible(row->show, !row->library.empty());
  } else {
    row->library.clear();
  }
  StartNext();
}

void AddBooksDialogGtk::StopChild() {
  // The import leaves nothing half-written when interrupted: it cleans up
  // and ends by itself.
  if (child_ != nullptr) g_subprocess_send_signal(child_, SIGINT);
}

void AddBooksDialogGtk::OnCancel(GtkWidget*, gpointer data) {
  auto* self = static_cast<AddBooksDialogGtk*>(data);
  Guarded([&] {
    if (self->running_ == nullptr) {
      gtk_widget_hide(self->window_);
      return;
    }
    self->cancelling_ = true;
    self->StopChild();
  });
}

gboolean AddBooksDialogGtk::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  // Closed while importing: the import stops; the dialog only hides.
  OnCancel(nullptr, data);
  gtk_widget_hide(static_cast<AddBooksDialogGtk*>(data)->window_);
  return TRUE;
}

gboolean AddBooksDialogGtk::OnKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  OnCancel(nullptr, data);
  return TRUE;
}

void AddBooksDialogGtk::OnFromFile(GtkWidget*, gpointer data) {
  auto* self = static_cast<AddBooksDialogGtk*>(data);
  Guarded([&] {
    GtkWidget* chooser = gtk_file_chooser_dialog_new(
        "Add books from a module .zip", GTK_WINDOW(self->window_), GTK_FILE_CHOOSER_ACTION_OPEN,
        "_Cancel", GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "SWORD module .zip files");
    gtk_file_filter_add_pattern(filter, "*.zip");
    gtk_file_filter_add_pattern(filter, "*.ZIP");
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
      gchar* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
      if (path != nullptr) {
        gchar* name = g_path_get_basename(path);
        self->AddRow(path, std::string(name) + " (a module .zip)", true, false);
        g_free(name);
        g_free(path);
      }
    }
    gtk_widget_destroy(chooser);
    self->UpdateButtons();
  });
}

void AddBooksDialogGtk::OnShow(GtkWidget* button, gpointer data) {
  auto* self = static_cast<AddBooksDialogGtk*>(data);
  Guarded([&] {
    for (const auto& row : self->rows_) {
      if (row->show != button || row->library.empty()) continue;
      if (!self->viewer_.ShowUserLibrary(row->library))
        self->SetNote("The library " + row->library + " is no longer in your library folder.");
    }
  });
}

}  // namespace vellum
