#include <string>

#include "naming/naming.h"
#include "platform/files.h"

namespace tessiva::naming {

std::string ClaimError::text() const { return os_error ? os_error->text() : std::string(NO_FREE_NAME); }

std::expected<std::string, ClaimError> claim_free_path(const std::string& folder, std::string_view file_name,
                                                       int last_attempt) {
  for (int attempt = 1; attempt <= last_attempt; ++attempt) {
    std::string path = platform::join_path(folder, candidate_name(file_name, attempt));
    auto file = platform::create_exclusive(path);
    if (file) {
      file->close();
      return path;
    }
    // Systems report a taken name under different error numbers (and may report a folder
    // of that name as access denied), so what decides is whether anything is there: a
    // link whose target does not exist, a FIFO or a folder takes the name too.
    if (!platform::entry_exists(path)) return std::unexpected(ClaimError{std::move(file.error())});
  }
  return std::unexpected(ClaimError{std::nullopt});
}

}  // namespace tessiva::naming
