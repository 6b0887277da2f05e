#pragma once
/// The shell's modal dialogs for choosing a folder or a program.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessiva::platform {

/// Shows the folder dialog titled `title`, owned by the window `owner` (none: no
/// owner), and gives the chosen folder's file-system path. None when the user cancels,
/// when the choice has no file-system path, or when the dialog cannot be shown at all.
[[nodiscard]] std::optional<std::string> pick_folder(std::optional<std::int64_t> owner, std::string_view title);

/// Shows the file dialog for choosing a program, titled `title`, with the one filter
/// `filter_name` for what the system runs as a program (Windows: "*.exe"; Linux:
/// desktop entries and executable files, starting in the system's folder of desktop
/// entries); the file must exist. Otherwise as `pick_folder`.
[[nodiscard]] std::optional<std::string> pick_program(std::optional<std::int64_t> owner, std::string_view title,
                                                      std::string_view filter_name);

}  // namespace tessiva::platform
