#include "app/gtk/theme_gtk.h"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/guarded.h"
#include "core/scoped_value.h"

namespace vellum {
namespace {

// GTK names a theme's dark variant "Name-dark" ("Name:dark" through
// GTK_THEME); themes add their own words after it ("Mint-Y-Dark-Aqua").
bool NamesDark(const gchar* theme_name) {
  if (theme_name == nullptr) return false;
  std::string name(theme_name);
  for (char& c : name)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name.find("-dark") != std::string::npos ||
         (name.size() >= 5 && name.compare(name.size() - 5, 5, ":dark") == 0);
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
  portal_ = std::make_unique<ColourSchemePortal>([this](ColourScheme scheme) {
    if (scheme == portal_scheme_) return;
    portal_scheme_ = scheme;
    Apply();
  });
}

ThemeGtk::~ThemeGtk() {
  portal_.reset();
  for (const gulong handler : handlers_) {
    if (handler != 0) g_signal_handler_disconnect(settings_, handler);
  }
}

bool ThemeGtk::DesktopPrefersDark() const {
  if (settings_ == nullptr) return false;
  gchar* name = nullptr;
  g_object_get(settings_, "gtk-theme-name", &name, nullptr);
  // GTK_THEME replaces the theme the settings name.
  const char* forced = std::getenv("GTK_THEME");
  const bool dark = portal_scheme_ == ColourScheme::kPreferDark || desktop_prefer_dark_ != FALSE ||
                    (forced != nullptr && *forced != '\0' ? NamesDark(forced) : NamesDark(name));
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
  // What GTK's own setting is to hold: the reader's choice, or the portal's
  // dark, which GTK 3 does not read itself; else the desktop's own value.
  std::optional<gboolean> wanted;
  if (theme_ == Theme::kDark ||
      (theme_ == Theme::kFollowSystem && portal_scheme_ == ColourScheme::kPreferDark))
    wanted = TRUE;
  if (theme_ == Theme::kLight) wanted = FALSE;
  if (settings_ != nullptr && !wanted && overridden_) {
    // A value the program set outranks the desktop's from then on: given
    // back, the desktop's own value and its later changes count again.
    const ScopedValue<bool> setting(setting_, true);
    gtk_settings_reset_property(settings_, "gtk-application-prefer-dark-theme");
    overridden_ = false;
    g_object_get(settings_, "gtk-application-prefer-dark-theme", &desktop_prefer_dark_, nullptr);
  } else if (settings_ != nullptr && wanted) {
    gboolean now = FALSE;
    g_object_get(settings_, "gtk-application-prefer-dark-theme", &now, nullptr);
    if (now != *wanted) {
      const ScopedValue<bool> setting(setting_, true);
      g_object_set(settings_, "gtk-application-prefer-dark-theme", *wanted, nullptr);
      overridden_ = true;
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
