// The folder and program dialogs: GTK's file chooser (which hands the dialog to the
// desktop portal inside a sandbox and shows GTK's own dialog otherwise).

#include "platform/pickers.h"

#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/linux/desktop_libraries.h"
#include "platform/linux/desktop_objects.h"

namespace tessiva::platform {
namespace {

using desktop::Gio;
using desktop::GlibString;
using desktop::Gtk;
using desktop::Object;

/// Where the program dialog starts: the system's desktop entries.
constexpr const char* PROGRAMS_FOLDER = "/usr/share/applications";

/// GTK's own texts in a dialog (buttons, places) are looked up in the language of the
/// thread's messages locale while the dialog is built and shown. The process keeps the
/// "C" locale (number formats, the system's error texts); while a dialog runs, this
/// thread's messages follow the user's locale, as the desktop's other programs do.
class UserMessagesLocale {
 public:
  UserMessagesLocale() {
    const locale_t base = ::duplocale(LC_GLOBAL_LOCALE);
    if (!base) return;
    locale_ = ::newlocale(LC_MESSAGES_MASK, "", base);
    if (!locale_) {
      ::freelocale(base);
      return;
    }
    previous_ = ::uselocale(locale_);
  }
  ~UserMessagesLocale() {
    if (!locale_) return;
    ::uselocale(previous_);
    ::freelocale(locale_);
  }
  UserMessagesLocale(const UserMessagesLocale&) = delete;
  UserMessagesLocale& operator=(const UserMessagesLocale&) = delete;

 private:
  locale_t locale_ = nullptr;
  locale_t previous_ = nullptr;
};

/// Handles the pending events of the display until none are left, after the display
/// server has answered everything sent so far: a closed dialog has then disappeared
/// from the screen before the reply goes out.
void drain_events(const Gtk& gtk) {
  if (GdkDisplay* display = gtk.gdk_display_get_default()) gtk.gdk_display_sync(display);
  while (gtk.gtk_events_pending()) gtk.gtk_main_iteration_do(FALSE);
}

/// There is no parent window to show the dialog over (the browser's window belongs to
/// another process), so the dialog keeps itself above other windows, and GTK presents
/// it when it is shown. GTK's own dialog is created hidden with the chooser and is one
/// of the process's top-level windows; in a sandbox the portal shows the dialog and
/// there is no such window here.
void keep_above_others(const Gtk& gtk, const Gio& gio) {
  const GType dialog_type = gtk.gtk_file_chooser_dialog_get_type();
  GList* windows = gtk.gtk_window_list_toplevels();
  for (GList* item = windows; item; item = item->next) {
    if (gio.g_type_check_instance_is_a(static_cast<GTypeInstance*>(item->data), dialog_type))
      gtk.gtk_window_set_keep_above(static_cast<GtkWindow*>(item->data), TRUE);
  }
  gio.g_list_free(windows);
}

/// A program: a desktop entry, or a regular file that the user may execute.
gboolean is_program(const GtkFileFilterInfo* info, gpointer) {
  if (!info->filename) return FALSE;
  const std::string_view name(info->filename);
  if (name.ends_with(".desktop")) return TRUE;
  struct stat status{};
  return ::stat(info->filename, &status) == 0 && S_ISREG(status.st_mode) && ::access(info->filename, X_OK) == 0;
}

/// The programs filter. GTK's own dialog asks `is_program`; the portal knows only names
/// and types, so the filter also names desktop entries and executable types (in GTK's
/// dialog these add only executable types whose execute permission is off).
GtkFileFilter* programs_filter(const Gtk& gtk, const std::string& name) {
  GtkFileFilter* filter = gtk.gtk_file_filter_new();
  gtk.gtk_file_filter_set_name(filter, name.c_str());
  gtk.gtk_file_filter_add_custom(filter, GTK_FILE_FILTER_FILENAME, is_program, nullptr, nullptr);
  gtk.gtk_file_filter_add_pattern(filter, "*.desktop");
  for (const char* type : {"application/x-desktop", "application/x-executable", "application/x-pie-executable",
                           "application/x-shellscript"})
    gtk.gtk_file_filter_add_mime_type(filter, type);
  return filter;
}

/// Runs one chooser for `action`, titled `title`, after `set_up` has prepared it, and
/// gives the chosen item's local path. Every failure, a cancel included, gives none.
template <class SetUp>
std::optional<std::string> run_chooser(GtkFileChooserAction action, std::string_view title, SetUp set_up) {
  const auto gtk_table = desktop::gtk();
  const auto gio_table = desktop::gio();
  if (!gtk_table || !gio_table) return std::nullopt;
  const Gtk& gtk = **gtk_table;
  const Gio& gio = **gio_table;
  // Without a display GTK cannot be initialised, and every dialog gives none at once.
  if (!desktop::gtk_display_ready(gtk)) return std::nullopt;

  const UserMessagesLocale messages_locale;
  const std::string title_text(title);
  const Object<GtkFileChooserNative> native(
      gtk.gtk_file_chooser_native_new(title_text.c_str(), nullptr, action, nullptr, nullptr));
  if (!native) return std::nullopt;
  auto* chooser = reinterpret_cast<GtkFileChooser*>(native.get());
  auto* dialog = reinterpret_cast<GtkNativeDialog*>(native.get());
  gtk.gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk.gtk_native_dialog_set_modal(dialog, TRUE);
  set_up(gtk, chooser);
  keep_above_others(gtk, gio);

  std::optional<std::string> chosen;
  if (gtk.gtk_native_dialog_run(dialog) == GTK_RESPONSE_ACCEPT) {
    const GlibString path(gtk.gtk_file_chooser_get_filename(chooser));
    if (path && path.get()[0] == '/') chosen = path.get();
  }
  gtk.gtk_native_dialog_hide(dialog);
  drain_events(gtk);
  return chosen;
}

/// The user's home folder, where the folder dialog starts.
const char* home_folder() {
  const auto gio = desktop::gio();
  return gio ? (*gio)->g_get_home_dir() : nullptr;
}

}  // namespace

std::optional<std::string> pick_folder(std::optional<std::int64_t>, std::string_view title) {
  // GTK would start in its list of recent files, where a typed folder cannot be chosen.
  const char* home = home_folder();
  return run_chooser(GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, title, [home](const Gtk& gtk, GtkFileChooser* chooser) {
    if (home) gtk.gtk_file_chooser_set_current_folder(chooser, home);
  });
}

std::optional<std::string> pick_program(std::optional<std::int64_t>, std::string_view title,
                                        std::string_view filter_name) {
  const std::string name(filter_name);
  return run_chooser(GTK_FILE_CHOOSER_ACTION_OPEN, title, [&name](const Gtk& gtk, GtkFileChooser* chooser) {
    gtk.gtk_file_chooser_add_filter(chooser, programs_filter(gtk, name));
    gtk.gtk_file_chooser_set_current_folder(chooser, PROGRAMS_FOLDER);
  });
}

}  // namespace tessiva::platform
