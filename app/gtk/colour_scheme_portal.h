// The desktop's colour scheme as its settings portal publishes it
// (org.freedesktop.portal.Settings, "org.freedesktop.appearance"
// "color-scheme"): how GNOME and KDE say dark today, where GTK 3's own
// settings stay light. Read once at start and followed as it changes; a
// desktop without the portal simply never reports.
#pragma once

#include <gio/gio.h>

#include <functional>

namespace vellum {

enum class ColourScheme { kNoPreference, kPreferDark, kPreferLight };

// The scheme a portal's value gives: a uint32, wrapped in as many variants as
// the call added ("Read" wraps it twice). Anything else has no preference.
ColourScheme ColourSchemeOf(GVariant* value);

class ColourSchemePortal {
 public:
  // changed is called on the main loop with each scheme the portal reports.
  explicit ColourSchemePortal(std::function<void(ColourScheme)> changed);
  ColourSchemePortal(const ColourSchemePortal&) = delete;
  ColourSchemePortal& operator=(const ColourSchemePortal&) = delete;
  ~ColourSchemePortal();

 private:
  static void OnBus(GObject* source, GAsyncResult* result, gpointer self);
  static void OnRead(GObject* source, GAsyncResult* result, gpointer self);
  static void OnSettingChanged(GDBusConnection* connection, const gchar* sender,
                               const gchar* object_path, const gchar* interface_name,
                               const gchar* signal_name, GVariant* parameters, gpointer self);
  void Report(ColourScheme scheme);

  std::function<void(ColourScheme)> changed_;
  GCancellable* cancellable_ = nullptr;
  GDBusConnection* bus_ = nullptr;
  guint subscription_ = 0;
};

}  // namespace vellum
