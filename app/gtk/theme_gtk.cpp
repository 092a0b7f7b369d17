#include "app/gtk/theme_gtk.h"

#include <string_view>

#include "core/guarded.h"
#include "core/scoped_value.h"

namespace vellum {
namespace {

// GTK names a theme's dark variant "Name-dark" (or "Name:dark" through
// GTK_THEME).
bool NamesDark(const gchar* theme_name) {
  if (theme_name == nullptr) return false;
  const std::string_view name(theme_name);
  for (const std::string_view suffix : {"-dark", "-Dark", ":dark"}) {
    if (name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix)
      return true;
  }
  return false;
}

}  // namespace

ThemeGtk::ThemeGtk(std::function<void(bool dark)> apply) : apply_(std::move(apply)) {
  settings_ = gtk_settings_get_default();
  if (settings_ == nullptr) return;
  g_object_get(settings_, "gtk-application-prefer-dark-theme", &desktop_prefer_dark_, nullptr);
  handlers_[0] = g_signal_connect(settings_, "notify::gtk-application-prefer-dark-theme",
                                  G_CALLBACK(OnSettingChanged), this);
  handlers_[1] =
      g_signal_connect(settings_, "notify::gtk-theme-name", G_CALLBACK(OnSettingChanged), this);
}

ThemeGtk::~ThemeGtk() {
  for (const gulong handler : handlers_) {
    if (handler != 0) g_signal_handler_disconnect(settings_, handler);
  }
}

bool ThemeGtk::DesktopPrefersDark() const {
  if (settings_ == nullptr) return false;
  gchar* name = nullptr;
  g_object_get(settings_, "gtk-theme-name", &name, nullptr);
  const bool dark = desktop_prefer_dark_ != FALSE || NamesDark(name);
  g_free(name);
  return dark;
}

bool ThemeGtk::Dark() const {
  switch (theme_) {
    case Theme::kLight:
      return false;
    case Theme::kDark:
      return true;
    case Theme::kFollowSystem:
      break;
  }
  return DesktopPrefersDark();
}

void ThemeGtk::Choose(Theme theme) {
  theme_ = theme;
  Apply();
}

void ThemeGtk::Apply() {
  if (settings_ != nullptr) {
    const gboolean wanted = theme_ == Theme::kFollowSystem ? desktop_prefer_dark_
                            : theme_ == Theme::kDark       ? TRUE
                                                           : FALSE;
    gboolean now = FALSE;
    g_object_get(settings_, "gtk-application-prefer-dark-theme", &now, nullptr);
    if (now != wanted) {
      const ScopedValue<bool> setting(setting_, true);
      g_object_set(settings_, "gtk-application-prefer-dark-theme", wanted, nullptr);
    }
  }
  if (apply_) apply_(Dark());
}

void ThemeGtk::OnSettingChanged(GObject*, GParamSpec* property, gpointer data) {
  auto* self = static_cast<ThemeGtk*>(data);
  if (self->setting_) return;
  Guarded([&] {
    // The desktop changed it (its settings daemon): that is its preference now.
    if (std::string_view(g_param_spec_get_name(property)) == "gtk-application-prefer-dark-theme")
      g_object_get(self->settings_, "gtk-application-prefer-dark-theme",
                   &self->desktop_prefer_dark_, nullptr);
    self->Apply();
  });
}

}  // namespace vellum
