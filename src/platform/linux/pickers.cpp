// The folder and program dialogs. The folder dialog is GTK's file chooser (which hands
// the dialog to the desktop portal inside a sandbox and shows GTK's own dialog
// otherwise); the program dialog is GTK's list of the installed applications, with a
// way out to the file chooser for any program file.

#include "platform/pickers.h"

#include <libintl.h>
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

/// Where the program file dialog starts: the system's desktop entries.
constexpr const char* PROGRAMS_FOLDER = "/usr/share/applications";

/// The program list's answer that opens the file dialog instead.
constexpr gint RESPONSE_BROWSE = 1;

/// The gettext language list for a language tag ("pt-BR" becomes "pt_BR", then "pt").
std::string gettext_languages(std::string_view tag) {
  if (tag == "pt-BR") return "pt_BR:pt";
  return std::string(tag);
}

/// Drops gettext's remembered translations, which it keeps per messages locale and
/// not per language list: a changed LANGUAGE counts only after this.
void forget_translations() { ::textdomain(::textdomain(nullptr)); }

/// The language of GTK's own words in a dialog (buttons, places), and of the
/// applications' names, while the dialog is built and shown. GTK translates them with
/// gettext in the language of the thread's messages locale, or of LANGUAGE when that
/// locale is not "C"; the applications' names follow LANGUAGE.
///
/// The process keeps the "C" locale (number formats, the system's error texts); only
/// while a dialog runs does this thread's messages locale change:
/// - for a language the settings name, to "C.UTF-8" (which needs no generated locale,
///   and leaves LANGUAGE in force), with LANGUAGE set to that language for as long
///   and then put back as it was; to the user's locale where a C library has no
///   "C.UTF-8";
/// - otherwise to the user's locale, as the desktop's other programs do.
class DialogLanguage {
 public:
  explicit DialogLanguage(std::string_view tag) {
    if (!tag.empty()) {
      if (const char* current = std::getenv("LANGUAGE")) saved_language_ = current;
      ::setenv("LANGUAGE", gettext_languages(tag).c_str(), 1);
      language_set_ = true;
    }
    if (tag.empty() || !use_messages_locale("C.UTF-8")) use_messages_locale("");
    forget_translations();
  }
  ~DialogLanguage() {
    if (locale_) {
      ::uselocale(previous_);
      ::freelocale(locale_);
    }
    if (language_set_) {
      if (saved_language_)
        ::setenv("LANGUAGE", saved_language_->c_str(), 1);
      else
        ::unsetenv("LANGUAGE");
    }
    forget_translations();
  }
  DialogLanguage(const DialogLanguage&) = delete;
  DialogLanguage& operator=(const DialogLanguage&) = delete;

 private:
  /// Makes the locale `name` this thread's messages locale; false when it does not exist.
  bool use_messages_locale(const char* name) {
    const locale_t base = ::duplocale(LC_GLOBAL_LOCALE);
    if (!base) return false;
    locale_ = ::newlocale(LC_MESSAGES_MASK, name, base);
    if (!locale_) {
      ::freelocale(base);
      return false;
    }
    previous_ = ::uselocale(locale_);
    return true;
  }

  locale_t locale_ = nullptr;
  locale_t previous_ = nullptr;
  std::optional<std::string> saved_language_;
  bool language_set_ = false;
};

/// A top-level window of ours, destroyed when dropped.
class Toplevel {
 public:
  Toplevel(const Gtk& gtk, GtkWidget* window) : gtk_(gtk), window_(window) {}
  ~Toplevel() {
    if (window_) gtk_.gtk_widget_destroy(window_);
  }
  Toplevel(const Toplevel&) = delete;
  Toplevel& operator=(const Toplevel&) = delete;
  [[nodiscard]] GtkWidget* get() const noexcept { return window_; }

 private:
  const Gtk& gtk_;
  GtkWidget* window_;
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
/// it when it is shown. GTK's own file dialog is created hidden with the chooser and is
/// one of the process's top-level windows; in a sandbox the portal shows the dialog and
/// there is no such window here.
void keep_file_dialogs_above(const Gtk& gtk, const Gio& gio) {
  const GType dialog_type = gtk.gtk_file_chooser_dialog_get_type();
  GList* windows = gtk.gtk_window_list_toplevels();
  for (GList* item = windows; item; item = item->next) {
    if (gio.g_type_check_instance_is_a(static_cast<GTypeInstance*>(item->data), dialog_type))
      gtk.gtk_window_set_keep_above(static_cast<GtkWindow*>(item->data), TRUE);
  }
  gio.g_list_free(windows);
}

/// A button label with its access key on the first letter.
std::string button_label(std::string_view text) {
  std::string label(1, '_');
  label.append(text);
  return label;
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

/// Runs one file chooser for `action`, titled and accepted with `texts`, after
/// `set_up` has prepared it, and gives the chosen item's local path. Every failure, a
/// cancel included, gives none. Only after GTK is ready on the display.
template <class SetUp>
std::optional<std::string> run_chooser(const Gtk& gtk, const Gio& gio, GtkFileChooserAction action,
                                       const PickerTexts& texts, SetUp set_up) {
  const std::string title(texts.title);
  const Object<GtkFileChooserNative> native(
      gtk.gtk_file_chooser_native_new(title.c_str(), nullptr, action, nullptr, nullptr));
  if (!native) return std::nullopt;
  auto* chooser = reinterpret_cast<GtkFileChooser*>(native.get());
  auto* dialog = reinterpret_cast<GtkNativeDialog*>(native.get());
  gtk.gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk.gtk_native_dialog_set_modal(dialog, TRUE);
  if (!texts.accept.empty())
    gtk.gtk_file_chooser_native_set_accept_label(native.get(), button_label(texts.accept).c_str());
  set_up(gtk, chooser);
  keep_file_dialogs_above(gtk, gio);

  std::optional<std::string> chosen;
  if (gtk.gtk_native_dialog_run(dialog) == GTK_RESPONSE_ACCEPT) {
    const GlibString path(gtk.gtk_file_chooser_get_filename(chooser));
    if (path && path.get()[0] == '/') chosen = path.get();
  }
  gtk.gtk_native_dialog_hide(dialog);
  drain_events(gtk);
  return chosen;
}

/// The program file dialog: desktop entries and executable files, from the system's
/// folder of desktop entries.
std::optional<std::string> run_program_chooser(const Gtk& gtk, const Gio& gio, const PickerTexts& texts) {
  const std::string name(texts.filter);
  return run_chooser(gtk, gio, GTK_FILE_CHOOSER_ACTION_OPEN, texts, [&name](const Gtk& g, GtkFileChooser* chooser) {
    g.gtk_file_chooser_add_filter(chooser, programs_filter(g, name));
    g.gtk_file_chooser_set_current_folder(chooser, PROGRAMS_FOLDER);
  });
}

/// An application activated in the list (a double click, Return) chooses it.
void choose_activated(GtkAppChooserWidget*, GAppInfo*, gpointer dialog) {
  if (const auto gtk = desktop::gtk()) (*gtk)->gtk_dialog_response(static_cast<GtkDialog*>(dialog), GTK_RESPONSE_OK);
}

/// The path of the desktop entry of the application chosen in `list`; none when
/// nothing is chosen or the choice has no desktop entry file.
std::optional<std::string> chosen_entry(const Gtk& gtk, const Gio& gio, GtkWidget* list) {
  const Object<GAppInfo> app(gtk.gtk_app_chooser_get_app_info(reinterpret_cast<GtkAppChooser*>(list)));
  if (!app || !gio.g_type_check_instance_is_a(reinterpret_cast<GTypeInstance*>(app.get()),
                                              gio.g_desktop_app_info_get_type()))
    return std::nullopt;
  const char* file = gio.g_desktop_app_info_get_filename(reinterpret_cast<GDesktopAppInfo*>(app.get()));
  if (!file || file[0] != '/') return std::nullopt;
  return std::string(file);
}

/// The list of installed applications, in one dialog with Cancel, Browse… and Select.
/// Its own dialog rather than GTK's application chooser dialog, which would record
/// the choice as the user's last-used application for a file type.
std::optional<std::string> run_application_list(const Gtk& gtk, const Gio& gio, const PickerTexts& texts) {
  const Toplevel dialog(gtk, gtk.gtk_dialog_new());
  if (!dialog.get()) return std::nullopt;
  auto* window = reinterpret_cast<GtkWindow*>(dialog.get());
  auto* box = reinterpret_cast<GtkDialog*>(dialog.get());
  const std::string title(texts.title);
  gtk.gtk_window_set_title(window, title.c_str());
  gtk.gtk_window_set_default_size(window, 560, 480);
  gtk.gtk_window_set_keep_above(window, TRUE);

  // No content type: every application is listed, in one list without sections.
  GtkWidget* list = gtk.gtk_app_chooser_widget_new(nullptr);
  auto* chooser = reinterpret_cast<GtkAppChooserWidget*>(list);
  gtk.gtk_app_chooser_widget_set_show_all(chooser, TRUE);
  gtk.gtk_app_chooser_widget_set_show_other(chooser, TRUE);
  gtk.gtk_widget_set_vexpand(list, TRUE);
  gtk.gtk_container_add(reinterpret_cast<GtkContainer*>(gtk.gtk_dialog_get_content_area(box)), list);
  gtk.gtk_widget_show(list);
  gio.g_signal_connect_data(list, "application-activated", reinterpret_cast<GCallback>(choose_activated),
                            dialog.get(), nullptr, GConnectFlags{});

  // GTK's own word for Cancel, in the dialog's language.
  gtk.gtk_dialog_add_button(box, ::dgettext("gtk30", "_Cancel"), GTK_RESPONSE_CANCEL);
  gtk.gtk_dialog_add_button(box, button_label(texts.browse).c_str(), RESPONSE_BROWSE);
  gtk.gtk_dialog_add_button(box, button_label(texts.accept).c_str(), GTK_RESPONSE_OK);
  gtk.gtk_dialog_set_default_response(box, GTK_RESPONSE_OK);

  std::optional<std::string> chosen;
  for (;;) {
    const gint response = gtk.gtk_dialog_run(box);
    if (response == GTK_RESPONSE_OK) {
      chosen = chosen_entry(gtk, gio, list);
      if (chosen) break;
      continue;  // nothing chosen yet: the list stays
    }
    if (response != RESPONSE_BROWSE) break;
    // The file dialog takes the list's place; cancelled, it gives the list back.
    gtk.gtk_widget_hide(dialog.get());
    drain_events(gtk);
    chosen = run_program_chooser(gtk, gio, texts);
    if (chosen) break;
  }
  gtk.gtk_widget_hide(dialog.get());
  drain_events(gtk);
  return chosen;
}

/// The loaded tables, once GTK is ready on the display; none without a display.
struct Libraries {
  const Gtk* gtk;
  const Gio* gio;
};
std::optional<Libraries> ready_libraries() {
  const auto gtk_table = desktop::gtk();
  const auto gio_table = desktop::gio();
  if (!gtk_table || !gio_table) return std::nullopt;
  // Without a display GTK cannot be initialised, and every dialog gives none at once.
  if (!desktop::gtk_display_ready(**gtk_table)) return std::nullopt;
  return Libraries{*gtk_table, *gio_table};
}

}  // namespace

std::optional<std::string> pick_folder(std::optional<std::int64_t>, const PickerTexts& texts) {
  const auto libraries = ready_libraries();
  if (!libraries) return std::nullopt;
  const DialogLanguage language(texts.language);
  // GTK would start in its list of recent files, where a typed folder cannot be chosen.
  const char* home = libraries->gio->g_get_home_dir();
  return run_chooser(*libraries->gtk, *libraries->gio, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, texts,
                     [home](const Gtk& gtk, GtkFileChooser* chooser) {
                       if (home) gtk.gtk_file_chooser_set_current_folder(chooser, home);
                     });
}

std::optional<std::string> pick_program(std::optional<std::int64_t>, const PickerTexts& texts) {
  const auto libraries = ready_libraries();
  if (!libraries) return std::nullopt;
  const DialogLanguage language(texts.language);
  return run_application_list(*libraries->gtk, *libraries->gio, texts);
}

}  // namespace tessiva::platform
