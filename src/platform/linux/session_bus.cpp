// The session bus through GIO: whether a service is there, and whether it offers an
// interface.

#include "platform/linux/session_bus.h"

#include "platform/linux/desktop_objects.h"

namespace tessiva::platform {
namespace {

using desktop::Gio;
using desktop::Object;

/// How long the bus, or a service it starts for the question, may take to answer.
constexpr int ANSWER_TIMEOUT_MS = 3000;

/// A reply type written as its type string, as G_VARIANT_TYPE does without checks.
const GVariantType* reply_type(const char* text) { return reinterpret_cast<const GVariantType*>(text); }

/// The reply of a method of the bus itself; null on any failure.
GVariant* ask_bus(const Gio& gio, GDBusConnection* bus, const char* method, GVariant* parameters,
                  const GVariantType* reply_type) {
  return gio.g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus", method, parameters, reply_type,
                                         G_DBUS_CALL_FLAGS_NONE, ANSWER_TIMEOUT_MS, nullptr, nullptr);
}

}  // namespace

bool session_bus_name_available(const std::string& name) {
  const auto gio = desktop::gio();
  if (!gio) return false;
  const Gio& g = **gio;
  const Object<GDBusConnection> bus(g.g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
  if (!bus) return false;
  if (GVariant* reply = ask_bus(g, bus.get(), "NameHasOwner", g.g_variant_new("(s)", name.c_str()),
                                reply_type("(b)"))) {
    gboolean owned = FALSE;
    g.g_variant_get(reply, "(b)", &owned);
    g.g_variant_unref(reply);
    if (owned) return true;
  }
  GVariant* reply = ask_bus(g, bus.get(), "ListActivatableNames", nullptr, reply_type("(as)"));
  if (!reply) return false;
  const gchar** names = nullptr;
  g.g_variant_get(reply, "(^a&s)", &names);
  bool found = false;
  for (const gchar** item = names; item && *item; ++item) found |= name == *item;
  g.g_free(static_cast<void*>(names));
  g.g_variant_unref(reply);
  return found;
}

bool session_bus_has_property(const std::string& name, const std::string& path, const std::string& interface,
                              const std::string& property) {
  const auto gio = desktop::gio();
  if (!gio) return false;
  const Gio& g = **gio;
  const Object<GDBusConnection> bus(g.g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
  if (!bus) return false;
  GVariant* reply = g.g_dbus_connection_call_sync(
      bus.get(), name.c_str(), path.c_str(), "org.freedesktop.DBus.Properties", "Get",
      g.g_variant_new("(ss)", interface.c_str(), property.c_str()), nullptr, G_DBUS_CALL_FLAGS_NONE,
      ANSWER_TIMEOUT_MS, nullptr, nullptr);
  if (!reply) return false;
  g.g_variant_unref(reply);
  return true;
}

}  // namespace tessiva::platform
