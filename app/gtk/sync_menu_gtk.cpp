#include "app/gtk/sync_menu_gtk.h"

#include "core/guarded.h"
#include "core/scoped_value.h"
#include "core/viewer.h"

namespace vellum {
namespace {

// What the passphrase is and is not, said where it is chosen.
constexpr char kPassphraseWord[] =
    "The passphrase keeps groups apart; it is no security: anyone on the network can read "
    "and send BibleSync messages.";

}  // namespace

SyncMenuGtk::SyncMenuGtk(std::function<Viewer*()> viewer) : viewer_(std::move(viewer)) {
  item_ = gtk_menu_item_new_with_label("Follow BibleSync");
  submenu_ = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(item_), submenu_);
  GSList* group = nullptr;
  const std::pair<SyncReach, const char*> items[] = {
      {SyncReach::kOff, "Off"},
      {SyncReach::kThisComputer, "Programs on this computer"},
      {SyncReach::kOtherComputers, "Other computers too\u2026"}};
  for (const auto& [reach, label] : items) {
    GtkWidget* item = gtk_radio_menu_item_new_with_label(group, label);
    group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(item));
    gtk_menu_shell_append(GTK_MENU_SHELL(submenu_), item);
    connections_.Connect(item, "activate", G_CALLBACK(OnReachItem));
    reach_items_[reach] = item;
  }
  connections_.Connect(submenu_, "show", G_CALLBACK(OnSubmenuShow));
}

void SyncMenuGtk::SetReach(SyncReach reach) {
  const ScopedValue<bool> setting(setting_, true);
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(reach_items_.at(reach)), TRUE);
}

void SyncMenuGtk::OnReachItem(GtkWidget* item, gpointer data) {
  auto* self = static_cast<SyncMenuGtk*>(data);
  // Radio items also report the one that went off, and our own setting.
  if (self->setting_ || !gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item))) return;
  Guarded([&] {
    Viewer* viewer = self->viewer_();
    if (viewer == nullptr) return;
    for (const auto& [reach, widget] : self->reach_items_) {
      if (widget == item) viewer->OnSyncReachChosen(reach);
    }
  });
}

void SyncMenuGtk::OnSubmenuShow(GtkWidget*, gpointer data) {
  Guarded([&] { static_cast<SyncMenuGtk*>(data)->ListPrograms(); });
}

void SyncMenuGtk::ListPrograms() {
  for (GtkWidget* widget : listed_)
    gtk_widget_destroy(widget);
  listed_.clear();
  program_keys_.clear();
  every_item_ = nullptr;
  const Viewer* viewer = viewer_();
  if (viewer == nullptr || viewer->SyncReachChecked() != SyncReach::kOtherComputers) return;
  const ScopedValue<bool> setting(setting_, true);
  const auto append = [&](GtkWidget* widget) {
    gtk_menu_shell_append(GTK_MENU_SHELL(submenu_), widget);
    gtk_widget_show(widget);
    listed_.push_back(widget);
  };
  append(gtk_separator_menu_item_new());
  GtkWidget* word = gtk_menu_item_new_with_label(kPassphraseWord);
  gtk_widget_set_sensitive(word, FALSE);
  append(word);
  every_item_ = gtk_check_menu_item_new_with_label("Follow every program heard");
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(every_item_),
                                 viewer->FollowEveryProgramChecked() ? TRUE : FALSE);
  g_signal_connect(every_item_, "toggled", G_CALLBACK(OnEveryItem), this);
  append(every_item_);
  const std::vector<HeardProgram> programs = viewer->SyncProgramsHeard();
  if (programs.empty()) {
    GtkWidget* none = gtk_menu_item_new_with_label("No program heard on other computers yet");
    gtk_widget_set_sensitive(none, FALSE);
    append(none);
  }
  for (const HeardProgram& program : programs) {
    const std::string label = ValidUtf8(program.label);
    GtkWidget* item = gtk_check_menu_item_new_with_label(label.c_str());
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), program.followed ? TRUE : FALSE);
    // Every program is followed: no single one can be unticked.
    gtk_widget_set_sensitive(item, viewer->FollowEveryProgramChecked() ? FALSE : TRUE);
    g_signal_connect(item, "toggled", G_CALLBACK(OnProgramItem), this);
    program_keys_[item] = program.key;
    append(item);
  }
}

void SyncMenuGtk::OnProgramItem(GtkWidget* item, gpointer data) {
  auto* self = static_cast<SyncMenuGtk*>(data);
  if (self->setting_) return;
  Guarded([&] {
    Viewer* viewer = self->viewer_();
    const auto found = self->program_keys_.find(item);
    if (viewer == nullptr || found == self->program_keys_.end()) return;
    viewer->OnProgramFollowChosen(found->second,
                                  gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)) != 0);
  });
}

void SyncMenuGtk::OnEveryItem(GtkWidget* item, gpointer data) {
  auto* self = static_cast<SyncMenuGtk*>(data);
  if (self->setting_) return;
  Guarded([&] {
    if (Viewer* viewer = self->viewer_())
      viewer->OnFollowEveryProgramChosen(
          gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)) != 0);
  });
}

std::optional<std::string> AskPassphraseGtk(GtkWindow* parent, const std::string& current) {
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      "Follow other computers", parent,
      static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), "_Cancel",
      GTK_RESPONSE_CANCEL, "_Follow", GTK_RESPONSE_OK, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_container_set_border_width(GTK_CONTAINER(area), 12);
  gtk_box_set_spacing(GTK_BOX(area), 8);
  GtkWidget* intro = gtk_label_new(
      "Vellum will follow the programs you tick among those heard on the local network "
      "with this passphrase (empty: BibleSync's own). It tells them only that it is there, "
      "never where it goes.");
  GtkWidget* word = gtk_label_new(kPassphraseWord);
  for (GtkWidget* label : {intro, word}) {
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 50);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_box_pack_start(GTK_BOX(area), label, FALSE, FALSE, 0);
  }
  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(entry), ValidUtf8(current).c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_entry_set_max_length(GTK_ENTRY(entry), 200);
  SetAccessible(entry, "Passphrase", "Passphrase");
  gtk_box_pack_start(GTK_BOX(area), entry, FALSE, FALSE, 0);
  gtk_widget_show_all(dialog);
  const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  std::optional<std::string> typed;
  if (response == GTK_RESPONSE_OK) typed = gtk_entry_get_text(GTK_ENTRY(entry));
  gtk_widget_destroy(dialog);
  return typed;
}

}  // namespace vellum
