#pragma once
/// GLib/GIO and GTK 3, loaded on first use.
///
/// Linking GIO into the host would load it, with its dozen dependencies and their
/// constructors, on every start (measured: about 4 ms more per start than a program
/// linked only to the C++ runtime), although most connections never ask for a handler,
/// an icon or a dialog. So
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
  X(g_error_free) \
  X(g_app_info_get_all) \
  X(g_app_info_get_all_for_type) \
  X(g_app_info_get_default_for_type) \
  X(g_app_info_get_executable) \
  X(g_app_info_get_icon) \
  X(g_app_info_get_id) \
  X(g_app_info_get_name) \
  X(g_app_info_get_recommended_for_type) \
  X(g_app_info_launch) \
  X(g_app_info_launch_default_for_uri) \
  X(g_app_info_should_show) \
  X(g_bus_get_sync) \
  X(g_content_type_guess) \
  X(g_content_type_is_unknown) \
  X(g_dbus_connection_call_sync) \
  X(g_dbus_connection_flush_sync) \
  X(g_desktop_app_info_get_boolean) \
  X(g_desktop_app_info_get_filename) \
  X(g_desktop_app_info_get_string) \
  X(g_desktop_app_info_get_type) \
  X(g_desktop_app_info_new) \
  X(g_desktop_app_info_new_from_filename) \
  X(g_file_get_parent) \
  X(g_file_get_uri) \
  X(g_file_new_for_path) \
  X(g_file_query_file_type) \
  X(g_find_program_in_path) \
  X(g_get_home_dir) \
  X(g_list_free) \
  X(g_set_print_handler) \
  X(g_signal_connect_data) \
  X(g_type_check_instance_is_a) \
  X(g_variant_get) \
  X(g_variant_new) \
  X(g_variant_unref)

#define TESSIVA_GTK_FUNCTIONS(X) \
  X(gtk_init_check) \
  X(gdk_display_get_default) \
  X(gdk_display_sync) \
  X(gdk_pixbuf_get_bits_per_sample) \
  X(gdk_pixbuf_get_colorspace) \
  X(gdk_pixbuf_get_has_alpha) \
  X(gdk_pixbuf_get_height) \
  X(gdk_pixbuf_get_n_channels) \
  X(gdk_pixbuf_get_rowstride) \
  X(gdk_pixbuf_get_width) \
  X(gdk_pixbuf_read_pixels) \
  X(gdk_pixbuf_scale_simple) \
  X(gtk_app_chooser_get_app_info) \
  X(gtk_app_chooser_widget_new) \
  X(gtk_app_chooser_widget_set_show_all) \
  X(gtk_app_chooser_widget_set_show_other) \
  X(gtk_container_add) \
  X(gtk_dialog_add_button) \
  X(gtk_dialog_get_content_area) \
  X(gtk_dialog_new) \
  X(gtk_dialog_response) \
  X(gtk_dialog_run) \
  X(gtk_dialog_set_default_response) \
  X(gtk_disable_setlocale) \
  X(gtk_events_pending) \
  X(gtk_file_chooser_add_filter) \
  X(gtk_file_chooser_dialog_get_type) \
  X(gtk_file_chooser_get_filename) \
  X(gtk_file_chooser_native_new) \
  X(gtk_file_chooser_native_set_accept_label) \
  X(gtk_file_chooser_set_current_folder) \
  X(gtk_file_chooser_set_local_only) \
  X(gtk_file_filter_add_custom) \
  X(gtk_file_filter_add_mime_type) \
  X(gtk_file_filter_add_pattern) \
  X(gtk_file_filter_new) \
  X(gtk_file_filter_set_name) \
  X(gtk_icon_info_load_icon) \
  X(gtk_icon_theme_get_default) \
  X(gtk_icon_theme_lookup_by_gicon) \
  X(gtk_icon_theme_new) \
  X(gtk_main_iteration_do) \
  X(gtk_native_dialog_hide) \
  X(gtk_native_dialog_run) \
  X(gtk_native_dialog_set_modal) \
  X(gtk_widget_destroy) \
  X(gtk_widget_hide) \
  X(gtk_widget_set_vexpand) \
  X(gtk_widget_show) \
  X(gtk_window_list_toplevels) \
  X(gtk_window_set_default_size) \
  X(gtk_window_set_keep_above) \
  X(gtk_window_set_title)

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

/// Initialises GTK on the user's display on the first call and gives whether that
/// succeeded (false without a display); later calls give the first answer. GTK is kept
/// from switching the process to the user's locale, and with it the C library's
/// number formats. Only for a `gtk` that `gtk()` gave.
[[nodiscard]] bool gtk_display_ready(const Gtk& gtk);

}  // namespace tessiva::platform::desktop
