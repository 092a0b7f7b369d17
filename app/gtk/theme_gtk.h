// Dark or light on Linux: the desktop's preference (the settings portal's
// colour scheme, GTK's prefer-dark setting, or a theme whose name says dark),
// or the reader's choice, which is also given to GTK so that the menus and
// fields follow it.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>

#include "app/gtk/colour_scheme_portal.h"

#include "core/ports.h"

namespace vellum {

class ThemeGtk {
 public:
  // apply is called with the resolved colours whenever they may have changed.
  explicit ThemeGtk(std::function<void(bool dark)> apply);
  ThemeGtk(const ThemeGtk&) = delete;
  ThemeGtk& operator=(const ThemeGtk&) = delete;
  ~ThemeGtk();

  void Choose(Theme theme);
  bool Dark() const;

 private:
  bool DesktopPrefersDark() const;
  void Apply();
  static void OnSettingChanged(GObject* settings, GParamSpec* property, gpointer self);

  std::function<void(bool)> apply_;
  GtkSettings* settings_ = nullptr;  // the screen's, not owned
  gulong handlers_[2] = {0, 0};
  Theme theme_ = Theme::kFollowSystem;
  // The desktop's own prefer-dark setting, kept apart from the value we set
  // for the reader's choice.
  gboolean desktop_prefer_dark_ = FALSE;
  bool setting_ = false;     // our own change of the setting is under way
  bool overridden_ = false;  // the setting holds the reader's choice
  ColourScheme portal_scheme_ = ColourScheme::kNoPreference;
  std::unique_ptr<ColourSchemePortal> portal_;
};

}  // namespace vellum
