// The Follow BibleSync submenu of the Linux viewer: how far to follow (Off,
// Programs on this computer, Other computers too…), and, in reach of other
// computers, the programs heard there, ticked when followed; and the dialog
// that asks for the group's passphrase.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/gtk/widgets_gtk.h"
#include "core/ports.h"

namespace vellum {

class Viewer;

class SyncMenuGtk {
 public:
  // viewer: the behaviour, once it is there (nullptr before).
  explicit SyncMenuGtk(std::function<Viewer*()> viewer);
  SyncMenuGtk(const SyncMenuGtk&) = delete;
  SyncMenuGtk& operator=(const SyncMenuGtk&) = delete;

  // The "Follow BibleSync" item, with the submenu; owned by the menu it goes into.
  GtkWidget* Item() const { return item_; }
  void SetReach(SyncReach reach);

 private:
  static void OnReachItem(GtkWidget* item, gpointer self);
  static void OnProgramItem(GtkWidget* item, gpointer self);
  static void OnEveryItem(GtkWidget* item, gpointer self);
  // The programs' part is made anew each time the submenu opens.
  static void OnSubmenuShow(GtkWidget* submenu, gpointer self);
  void ListPrograms();

  std::function<Viewer*()> viewer_;
  GtkWidget* item_ = nullptr;
  GtkWidget* submenu_ = nullptr;
  std::map<SyncReach, GtkWidget*> reach_items_;
  // Made anew with the list: the separator, the word on the passphrase,
  // "Follow every program heard" and one item per program.
  std::vector<GtkWidget*> listed_;
  GtkWidget* every_item_ = nullptr;
  std::map<GtkWidget*, std::string> program_keys_;
  bool setting_ = false;  // our own change of a mark, not the reader's
  SignalConnections connections_{this};
};

// Asks for the passphrase of the group on the local network, with a plain
// word that it keeps groups apart and is no security; nullopt when cancelled.
std::optional<std::string> AskPassphraseGtk(GtkWindow* parent, const std::string& current);

}  // namespace vellum
