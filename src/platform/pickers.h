#pragma once
/// The system's modal dialogs for choosing a folder or a program.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessiva::platform {

/// The words a picker shows of its own, in the user's language.
struct PickerTexts {
  /// The dialog's title.
  std::string_view title;
  /// The button that accepts the choice, where the system lets a program name it
  /// (Linux: "Select"; Windows keeps the dialog's own).
  std::string_view accept;
  /// The program dialog's one filter (Windows: "*.exe"; Linux: the file dialog that
  /// `browse` opens: desktop entries and executable files).
  std::string_view filter;
  /// The button that leaves a list of applications for a file dialog (Linux).
  std::string_view browse;
  /// The language tag ("en", "es", "pt-BR") that the system's own words in the dialog
  /// follow; empty: the desktop's language (Windows: always the system's).
  std::string_view language;
};

/// Shows the folder dialog, owned by the window `owner` (none: no owner), and gives
/// the chosen folder's file-system path. None when the user cancels, when the choice
/// has no file-system path, or when the dialog cannot be shown at all.
[[nodiscard]] std::optional<std::string> pick_folder(std::optional<std::int64_t> owner, const PickerTexts& texts);

/// Shows the dialog for choosing a program and gives the chosen file's path. Windows:
/// the file dialog with the one filter for "*.exe"; the file must exist. Linux: the
/// installed applications with their names and icons, answered with the path of the
/// chosen one's desktop entry, and a way out to a file dialog for desktop entries and
/// executable files, answered with the chosen file. Otherwise as `pick_folder`.
[[nodiscard]] std::optional<std::string> pick_program(std::optional<std::int64_t> owner, const PickerTexts& texts);

}  // namespace tessiva::platform
