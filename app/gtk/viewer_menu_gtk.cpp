// The popup menu of the Linux viewer: its items, their check marks and
// radio groups, and the Library submenu made anew as libraries come and go.
#include <algorithm>
#include <string>

#include "app/gtk/images_gtk.h"
#include "app/gtk/viewer_window_gtk.h"
#include "app/gtk/widgets_gtk.h"
#include "core/guarded.h"
#include "core/scoped_value.h"
#include "core/text.h"

namespace vellum {

namespace {

// An item whose key is shown as GNOME menus show keys; the window takes the
// key itself, wherever the keyboard is.
GtkWidget* ItemWithKey(const char* label, guint key, GdkModifierType modifiers) {
  GtkWidget* item = gtk_menu_item_new_with_label(label);
  if (key != 0)
    gtk_accel_label_set_accel(GTK_ACCEL_LABEL(gtk_bin_get_child(GTK_BIN(item))), key, modifiers);
  return item;
}

}  // namespace

// Sentence case, as GNOME's menus write it, an ellipsis where more is asked,
// the keys shown, and groups parted by separators.
void ViewerWindowGtk::BuildMenu() {
  menu_ = gtk_menu_new();
  g_object_ref_sink(menu_);
  menu_back_ = ItemWithKey("Back", GDK_KEY_Left, GDK_MOD1_MASK);
  menu_forward_ = ItemWithKey("Forward", GDK_KEY_Right, GDK_MOD1_MASK);
  menu_index_ = ItemWithKey("Index", 0, GdkModifierType{});
  menu_copy_ = ItemWithKey("Copy", GDK_KEY_c, GDK_CONTROL_MASK);
  menu_copy_reference_ =
      ItemWithKey("Copy with reference", GDK_KEY_c,
                  static_cast<GdkModifierType>(GDK_CONTROL_MASK | GDK_SHIFT_MASK));
  menu_print_ = ItemWithKey("Print\u2026", GDK_KEY_p, GDK_CONTROL_MASK);
  menu_find_ = ItemWithKey("Find in page\u2026", GDK_KEY_f, GDK_CONTROL_MASK);
  menu_go_to_ = ItemWithKey("Go to\u2026", GDK_KEY_l, GDK_CONTROL_MASK);
  menu_on_top_ = gtk_check_menu_item_new_with_label("Always on top");
  sync_menu_ = std::make_unique<SyncMenuGtk>([this] { return viewer_.get(); });
  menu_library_ = gtk_menu_item_new_with_label("Library");
  GtkWidget* libraries = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(menu_library_), libraries);
  // The libraries go above; this stays at the end.
  gtk_menu_shell_append(GTK_MENU_SHELL(libraries), gtk_separator_menu_item_new());
  menu_add_books_ = gtk_menu_item_new_with_label("Add books\u2026");
  SetAccessible(menu_add_books_, "AddBooks1", nullptr);
  gtk_menu_shell_append(GTK_MENU_SHELL(libraries), menu_add_books_);
  Connect(menu_add_books_, "activate", G_CALLBACK(OnMenuItem));
  menu_theme_ = gtk_menu_item_new_with_label("Theme");
  GtkWidget* themes = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(menu_theme_), themes);
  GSList* group = nullptr;
  const std::pair<Theme, const char*> theme_items[] = {
      {Theme::kFollowSystem, "Follow system"}, {Theme::kLight, "Light"}, {Theme::kDark, "Dark"}};
  for (const auto& [theme, label] : theme_items) {
    GtkWidget* item = gtk_radio_menu_item_new_with_label(group, label);
    group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(item));
    gtk_menu_shell_append(GTK_MENU_SHELL(themes), item);
    Connect(item, "activate", G_CALLBACK(OnThemeItem));
    theme_items_[theme] = item;
  }
  menu_larger_ = ItemWithKey("Larger text", GDK_KEY_plus, GDK_CONTROL_MASK);
  menu_smaller_ = ItemWithKey("Smaller text", GDK_KEY_minus, GDK_CONTROL_MASK);
  menu_normal_size_ = ItemWithKey("Normal size", GDK_KEY_0, GDK_CONTROL_MASK);
  menu_about_ = gtk_menu_item_new_with_label("About");
  menu_close_ = gtk_menu_item_new_with_label("Close");
  // nullptr: a separator.
  const std::pair<GtkWidget*, const char*> items[] = {{menu_back_, "Back1"},
                                                      {menu_forward_, "Forward1"},
                                                      {menu_index_, "Index1"},
                                                      {nullptr, nullptr},
                                                      {menu_copy_, "CopyCB1"},
                                                      {menu_copy_reference_, "CopyReference1"},
                                                      {menu_find_, "Find1"},
                                                      {menu_go_to_, "GoTo1"},
                                                      {menu_print_, "Print1"},
                                                      {nullptr, nullptr},
                                                      {menu_library_, "Library1"},
                                                      {menu_theme_, "Theme1"},
                                                      {menu_larger_, "LargerText1"},
                                                      {menu_smaller_, "SmallerText1"},
                                                      {menu_normal_size_, "NormalSize1"},
                                                      {nullptr, nullptr},
                                                      {menu_on_top_, "AlwaysOnTop1"},
                                                      {sync_menu_->Item(), "FollowBibleSync1"},
                                                      {nullptr, nullptr},
                                                      {menu_about_, "About1"},
                                                      {menu_close_, "Close1"}};
  for (const auto& [item, name] : items) {
    if (item == nullptr) {
      gtk_menu_shell_append(GTK_MENU_SHELL(menu_), gtk_separator_menu_item_new());
      continue;
    }
    SetAccessible(item, name, nullptr);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_), item);
    // The submenu's own item only opens it.
    if (item != menu_library_ && item != menu_theme_ && item != sync_menu_->Item())
      Connect(item, "activate", G_CALLBACK(OnMenuItem));
  }
  gtk_widget_set_sensitive(menu_back_, FALSE);
  gtk_widget_set_sensitive(menu_forward_, FALSE);
  gtk_widget_show_all(menu_);
  gtk_menu_attach_to_widget(GTK_MENU(menu_), window_, nullptr);
}

void ViewerWindowGtk::OnMenuItem(GtkWidget* item, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  if (self->setting_check_) return;
  Guarded([&] {
    Viewer& v = *self->viewer_;
    if (item == self->menu_back_) v.OnBackClicked();
    if (item == self->menu_forward_) v.OnForwardClicked();
    if (item == self->menu_index_) v.OnIndexClicked();
    if (item == self->menu_copy_) v.OnCopyChosen();
    if (item == self->menu_copy_reference_) v.OnCopyWithReferenceChosen();
    if (item == self->menu_print_) v.OnPrintChosen();
    if (item == self->menu_on_top_) v.OnAlwaysOnTopChosen();
    if (item == self->menu_find_) self->find_bar_->Open();
    if (item == self->menu_go_to_) self->OpenGoTo();
    if (item == self->menu_larger_) v.OnTextSizeChosen(+1);
    if (item == self->menu_smaller_) v.OnTextSizeChosen(-1);
    if (item == self->menu_normal_size_) v.OnTextSizeChosen(0);
    if (item == self->menu_about_) v.OnAboutChosen();
    if (item == self->menu_close_) v.OnCloseChosen();
    if (item == self->menu_add_books_) {
      if (!self->add_books_)
        self->add_books_ = std::make_unique<AddBooksDialogGtk>(GTK_WINDOW(self->window_), v);
      self->add_books_->Present();
    }
  });
}

void ViewerWindowGtk::OnThemeItem(GtkWidget* item, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  if (self->setting_check_ || !gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item))) return;
  Guarded([&] {
    for (const auto& [theme, widget] : self->theme_items_) {
      if (widget == item) self->viewer_->OnThemeChosen(theme);
    }
  });
}

void ViewerWindowGtk::OnLibraryItem(GtkWidget* item, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  // Radio items also report the one that went off, and our own setting.
  if (self->setting_check_ || !gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item))) return;
  Guarded([&] {
    const auto found = std::find(self->library_items_.begin(), self->library_items_.end(), item);
    if (found != self->library_items_.end())
      self->viewer_->OnLibraryChosen(
          static_cast<std::size_t>(found - self->library_items_.begin()));
  });
}

void ViewerWindowGtk::SetStayOnTopCheck(bool checked) {
  setting_check_ = true;
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(menu_on_top_), checked);
  setting_check_ = false;
}

void ViewerWindowGtk::SetSyncReachCheck(SyncReach reach) {
  sync_menu_->SetReach(reach);
}

std::optional<std::string> ViewerWindowGtk::AskSyncPassphrase(const std::string& current) {
  return AskPassphraseGtk(GTK_WINDOW(window_), current);
}

void ViewerWindowGtk::SetTheme(Theme theme) {
  {
    const ScopedValue<bool> setting(setting_check_, true);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(theme_items_.at(theme)), TRUE);
  }
  if (!theme_) theme_ = std::make_unique<ThemeGtk>([this](bool dark) { ShowTheme(dark); });
  theme_->Choose(theme);
}

void ViewerWindowGtk::ShowTheme(bool dark) {
  GtkStyleContext* style = gtk_widget_get_style_context(window_);
  if (dark) {
    gtk_style_context_add_class(style, "dark");
  } else {
    gtk_style_context_remove_class(style, "dark");
  }
  if (GdkPixbuf* handle = NewDragHandle(dark)) {
    gtk_image_set_from_pixbuf(GTK_IMAGE(gtk_bin_get_child(GTK_BIN(image2_))), handle);
    g_object_unref(handle);
  }
  browser_->SetDark(dark);
}

// The items are made anew each time: libraries come and go while the
// viewer runs. Their handlers go with them.
void ViewerWindowGtk::SetLibraries(const std::vector<std::string>& labels, int chosen) {
  GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(menu_library_));
  for (GtkWidget* item : library_items_)
    gtk_widget_destroy(item);
  library_items_.clear();
  if (library_none_ != nullptr) gtk_widget_destroy(library_none_);
  const ScopedValue<bool> setting(setting_check_, true);
  // A radio group always has one item on: a hidden one, where the library
  // shown is not listed (it was removed while the viewer ran).
  library_none_ = gtk_radio_menu_item_new(nullptr);
  gtk_menu_shell_insert(GTK_MENU_SHELL(submenu), library_none_, 0);
  GSList* group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(library_none_));
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const std::string label = DisplayTextToUtf8(labels[i]);
    GtkWidget* item = gtk_radio_menu_item_new_with_label(group, label.c_str());
    group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(item));
    gtk_widget_set_name(item, ("Library1_" + std::to_string(i)).c_str());
    atk_object_set_name(gtk_widget_get_accessible(item), label.c_str());
    gtk_menu_shell_insert(GTK_MENU_SHELL(submenu), item, static_cast<gint>(i) + 1);
    if (static_cast<int>(i) == chosen)
      gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), TRUE);
    g_signal_connect(item, "activate", G_CALLBACK(OnLibraryItem), this);
    gtk_widget_show(item);
    library_items_.push_back(item);
  }
  // Add books… is there even with no library.
  gtk_widget_set_sensitive(menu_library_, TRUE);
}

void ViewerWindowGtk::ShowPopupMenu(ScreenPoint at) {
  GdkWindow* top = TopGdkWindow();
  gint x = 0;
  gint y = 0;
  gdk_window_get_origin(top, &x, &y);
  const GdkRectangle rect{at.x - x, at.y - y, 1, 1};
  gtk_menu_popup_at_rect(GTK_MENU(menu_), top, &rect, GDK_GRAVITY_NORTH_WEST,
                         GDK_GRAVITY_NORTH_WEST, menu_trigger_);
}

}  // namespace vellum
