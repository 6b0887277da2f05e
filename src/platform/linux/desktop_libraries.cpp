#include "platform/linux/desktop_libraries.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace tessiva::platform::desktop {
namespace {

/// A library opened for the rest of the process: GLib cannot be unloaded safely, so
/// the handle is never closed.
Result<void*> open_library(const char* soname) {
  void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    return std::unexpected(OsError{ENOENT, why ? why : std::string(soname) + ": cannot be loaded"});
  }
  return handle;
}

/// Fills every pointer of `table` from `handle` (which also searches the library's
/// dependencies) and fails on the first function that is missing.
template <class Table, class Visit>
Result<void> resolve(void* handle, Table& table, Visit&& each_function) {
  Result<void> result;
  each_function(table, [&](auto& pointer, const char* name) {
    if (!result) return;
    void* symbol = dlsym(handle, name);
    if (!symbol) {
      result = std::unexpected(OsError{ENOENT, std::string(name) + " is missing from the desktop libraries"});
      return;
    }
    pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(symbol);
  });
  return result;
}

Result<Gio> load_gio() {
  auto handle = open_library("libgio-2.0.so.0");
  if (!handle) return std::unexpected(handle.error());
  Gio table;
  auto resolved = resolve(*handle, table, [](Gio& t, auto&& set) {
#define TESSIVA_RESOLVE_FUNCTION(name) set(t.name, #name);
    TESSIVA_GIO_FUNCTIONS(TESSIVA_RESOLVE_FUNCTION)
#undef TESSIVA_RESOLVE_FUNCTION
  });
  if (!resolved) return std::unexpected(resolved.error());
  // Some GLib messages go to standard output by default; there they would corrupt
  // the frames. This runs before any other call into the libraries.
  table.g_log_writer_default_set_use_stderr(TRUE);
  // g_print, which libraries use for messages of their own, writes to standard output.
  table.g_set_print_handler([](const gchar* text) { std::fputs(text, stderr); });
  return table;
}

Result<Gtk> load_gtk() {
  if (auto base = gio(); !base) return std::unexpected(base.error());
  auto handle = open_library("libgtk-3.so.0");
  if (!handle) return std::unexpected(handle.error());
  Gtk table;
  auto resolved = resolve(*handle, table, [](Gtk& t, auto&& set) {
#define TESSIVA_RESOLVE_FUNCTION(name) set(t.name, #name);
    TESSIVA_GTK_FUNCTIONS(TESSIVA_RESOLVE_FUNCTION)
#undef TESSIVA_RESOLVE_FUNCTION
  });
  if (!resolved) return std::unexpected(resolved.error());
  return table;
}

}  // namespace

Result<const Gio*> gio() {
  static const Result<Gio> loaded = load_gio();
  if (!loaded) return std::unexpected(loaded.error());
  return &*loaded;
}

Result<const Gtk*> gtk() {
  static const Result<Gtk> loaded = load_gtk();
  if (!loaded) return std::unexpected(loaded.error());
  return &*loaded;
}

bool gtk_display_ready(const Gtk& gtk) {
  static const bool ready = [&gtk] {
    gtk.gtk_disable_setlocale();
    return gtk.gtk_init_check(nullptr, nullptr) != FALSE;
  }();
  return ready;
}

}  // namespace tessiva::platform::desktop
