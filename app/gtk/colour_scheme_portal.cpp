#include "app/gtk/colour_scheme_portal.h"

#include <cstring>

#include "core/guarded.h"

namespace vellum {
namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kSettingsInterface = "org.freedesktop.portal.Settings";
constexpr const char* kAppearance = "org.freedesktop.appearance";
constexpr const char* kColourSchemeKey = "color-scheme";
// A portal that does not answer within this is taken as absent.
constexpr int kReadTimeoutMs = 5000;

bool IsCancelled(const GError* error) {
  return error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

// A session bus that is there already: without one GLib would start a bus
// daemon of its own (autolaunch), which would outlive the viewer.
bool HasSessionBus() {
  const gchar* address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return true;
  gchar* socket = g_build_filename(g_get_user_runtime_dir(), "bus", nullptr);
  const bool there = g_file_test(socket, G_FILE_TEST_EXISTS) != FALSE;
  g_free(socket);
  return there;
}

}  // namespace

ColourScheme ColourSchemeOf(GVariant* value) {
  GVariant* inner = value != nullptr ? g_variant_ref(value) : nullptr;
  // A bound on the wrapping: the value comes from another process.
  for (int depth = 0;
       inner != nullptr && depth < 4 && g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT);
       ++depth) {
    GVariant* unwrapped = g_variant_get_variant(inner);
    g_variant_unref(inner);
    inner = unwrapped;
  }
  ColourScheme scheme = ColourScheme::kNoPreference;
  if (inner != nullptr && g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32)) {
    const guint32 number = g_variant_get_uint32(inner);
    if (number == 1) scheme = ColourScheme::kPreferDark;
    if (number == 2) scheme = ColourScheme::kPreferLight;
  }
  if (inner != nullptr) g_variant_unref(inner);
  return scheme;
}

ColourSchemePortal::ColourSchemePortal(std::function<void(ColourScheme)> changed)
    : changed_(std::move(changed)), cancellable_(g_cancellable_new()) {
  if (HasSessionBus()) g_bus_get(G_BUS_TYPE_SESSION, cancellable_, OnBus, this);
}

ColourSchemePortal::~ColourSchemePortal() {
  // Calls still under way end cancelled, without this object.
  g_cancellable_cancel(cancellable_);
  if (bus_ != nullptr && subscription_ != 0)
    g_dbus_connection_signal_unsubscribe(bus_, subscription_);
  if (bus_ != nullptr) g_object_unref(bus_);
  g_object_unref(cancellable_);
}

void ColourSchemePortal::OnBus(GObject*, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_finish(result, &error);
  const bool cancelled = IsCancelled(error);
  g_clear_error(&error);
  if (bus == nullptr) return;  // no session bus: no portal either
  if (cancelled) {
    g_object_unref(bus);
    return;
  }
  auto* self = static_cast<ColourSchemePortal*>(data);
  self->bus_ = bus;
  self->subscription_ = g_dbus_connection_signal_subscribe(
      bus, kPortalName, kSettingsInterface, "SettingChanged", kPortalPath, kAppearance,
      G_DBUS_SIGNAL_FLAGS_NONE, OnSettingChanged, self, nullptr);
  // "Read" is in every version of the interface ("ReadOne" only from 2).
  g_dbus_connection_call(bus, kPortalName, kPortalPath, kSettingsInterface, "Read",
                         g_variant_new("(ss)", kAppearance, kColourSchemeKey),
                         G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, kReadTimeoutMs,
                         self->cancellable_, OnRead, self);
}

void ColourSchemePortal::OnRead(GObject* source, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  const bool cancelled = IsCancelled(error);
  g_clear_error(&error);
  if (cancelled || reply == nullptr) {
    if (reply != nullptr) g_variant_unref(reply);
    return;  // cancelled: the object is gone; otherwise no portal, or no such key
  }
  GVariant* value = g_variant_get_child_value(reply, 0);
  static_cast<ColourSchemePortal*>(data)->Report(ColourSchemeOf(value));
  g_variant_unref(value);
  g_variant_unref(reply);
}

void ColourSchemePortal::OnSettingChanged(GDBusConnection*, const gchar*, const gchar*,
                                          const gchar*, const gchar*, GVariant* parameters,
                                          gpointer data) {
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)"))) return;
  const gchar* area = nullptr;
  const gchar* key = nullptr;
  GVariant* value = nullptr;
  g_variant_get(parameters, "(&s&sv)", &area, &key, &value);
  if (std::strcmp(area, kAppearance) == 0 && std::strcmp(key, kColourSchemeKey) == 0)
    static_cast<ColourSchemePortal*>(data)->Report(ColourSchemeOf(value));
  g_variant_unref(value);
}

void ColourSchemePortal::Report(ColourScheme scheme) {
  Guarded([&] {
    if (changed_) changed_(scheme);
  });
}

}  // namespace vellum
