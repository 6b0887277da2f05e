#pragma once
/// Owners for what GLib hands out: GObject references, g_free'd strings, GErrors and
/// lists of GObjects. They exist only after `desktop::gio()` succeeded, so their
/// deleters call through its table.

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/desktop_libraries.h"

namespace tessiva::platform::desktop {

/// The loaded GIO table; only called where `gio()` has already succeeded.
inline const Gio& loaded_gio() noexcept { return **gio(); }

struct UnrefObject {
  void operator()(void* object) const noexcept { loaded_gio().g_object_unref(object); }
};
struct FreeMemory {
  void operator()(void* memory) const noexcept { loaded_gio().g_free(memory); }
};
struct FreeError {
  void operator()(GError* error) const noexcept { loaded_gio().g_error_free(error); }
};

/// One reference to a GObject (`g_object_unref` when dropped).
template <class T>
using Object = std::unique_ptr<T, UnrefObject>;
/// A string that GLib allocated (`g_free` when dropped).
using GlibString = std::unique_ptr<char, FreeMemory>;
/// A GError (`g_error_free` when dropped).
using Error = std::unique_ptr<GError, FreeError>;

/// Takes over a GList of GObject references: the list is freed and each element
/// becomes an owned reference, in the list's order.
template <class T>
std::vector<Object<T>> take_object_list(GList* list) {
  std::vector<Object<T>> objects;
  for (GList* item = list; item; item = item->next) objects.emplace_back(static_cast<T*>(item->data));
  if (list) loaded_gio().g_list_free(list);
  return objects;
}

/// A GError's message as an `OsError` (`code` says what failed in errno terms).
inline OsError error_of(GError* error, int code) {
  Error owned(error);
  return OsError{static_cast<std::uint32_t>(code), owned && owned->message ? owned->message : "the desktop call failed"};
}

/// A string GLib owns as text; empty for null.
inline std::string text_of(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace tessiva::platform::desktop
