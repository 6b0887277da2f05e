#pragma once
/// GLib/GIO and GTK 3, loaded on first use.
///
/// Linking GIO into the host would load it, with its dozen dependencies and their
/// constructors, on every start (measured: about 4 ms added to a start-up of about
/// 1 ms), although most connections never ask for a handler, an icon or a dialog. So
/// the host links neither library: the first request that needs one loads it with
/// `dlopen` and calls it through a table of function pointers whose types come from
/// the libraries' own headers (`decltype(&::name)`), so every call is type-checked as
/// a direct call would be.
///
/// Code here calls only through the tables: a direct call of a library function, or
/// a header macro that makes one (type-checking casts, `g_autoptr`, `g_clear_object`),
/// fails to link, which keeps the rule honest. Casts between GObject types are plain
/// casts (`G_DISABLE_CAST_CHECKS`).

#ifndef G_DISABLE_CAST_CHECKS
#define G_DISABLE_CAST_CHECKS
#endif
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <gtk/gtk.h>

#include "platform/os_error.h"

namespace tessiva::platform::desktop {

// Each list names the functions that the host calls; add a function here before using it.
#define TESSIVA_GIO_FUNCTIONS(X) \
  X(g_log_writer_default_set_use_stderr) \
  X(g_free) \
  X(g_object_unref) \
  X(g_error_free)

#define TESSIVA_GTK_FUNCTIONS(X) \
  X(gtk_init_check)

#define TESSIVA_DECLARE_FUNCTION(name) decltype(&::name) name = nullptr;

/// GLib, GObject and GIO.
struct Gio {
  TESSIVA_GIO_FUNCTIONS(TESSIVA_DECLARE_FUNCTION)
};

/// GTK 3 with GDK and GdkPixbuf.
struct Gtk {
  TESSIVA_GTK_FUNCTIONS(TESSIVA_DECLARE_FUNCTION)
};

#undef TESSIVA_DECLARE_FUNCTION

/// Loads GLib and GIO on the first call and gives their functions. Before anything
/// else, GLib's log output is sent to standard error: standard output carries frames
/// only. A failure (a library or a function missing) is kept and given on every later
/// call.
[[nodiscard]] Result<const Gio*> gio();

/// Loads GTK on the first call (after `gio()`) and gives its functions. Does not
/// initialise GTK: that needs a display, which only the dialogs and the icon theme
/// need.
[[nodiscard]] Result<const Gtk*> gtk();

}  // namespace tessiva::platform::desktop
