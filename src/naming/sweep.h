#pragma once
/// Files that a process of this program owns by name (a partial transfer, a settings
/// store in progress, a copy on its way into the save folder) and that nobody removes
/// when that process is ended from outside.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace tessiva::naming {

/// A process id as such names write it: decimal digits only, no leading zero, at most
/// 2^32-1; none for anything else.
[[nodiscard]] std::optional<std::uint32_t> process_id_in_name(std::string_view digits) noexcept;

/// Which process owns the file called `name`; none for a name that is not such a file.
using OwnerOfName = std::function<std::optional<std::uint32_t>(std::string_view name)>;

/// Deletes the files in `folder` (not its subfolders) whose owner, by `owner_of`, has
/// surely ended and that no process holds (`platform::delete_unowned`: the owner of such
/// a file holds it from its creation until it is gone). A process that may still run,
/// or that the system will not tell about, keeps its files: it may still be writing
/// them. Each process is asked about once. Failures (an unreadable folder, a file that
/// cannot be deleted) are ignored.
void remove_files_of_ended_processes(const std::string& folder, const OwnerOfName& owner_of);

/// Creates `path` as a file that this process owns (`platform::create_owned`). A file
/// already under the name, left by an ended process that had this process's id, goes
/// first unless someone holds it.
[[nodiscard]] platform::Result<platform::File> create_own_file(const std::string& path);

}  // namespace tessiva::naming
