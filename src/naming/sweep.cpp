#include "naming/sweep.h"

#include <map>

#include "platform/files.h"
#include "platform/process.h"

namespace tessiva::naming {

std::optional<std::uint32_t> process_id_in_name(std::string_view digits) noexcept {
  if (digits.empty() || digits.size() > 10 || digits.front() == '0') return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

void remove_files_of_ended_processes(const std::string& folder, const OwnerOfName& owner_of) {
  const auto entries = platform::list_folder(folder);
  if (!entries) return;
  std::map<std::uint32_t, platform::ProcessState> states;
  for (const auto& entry : *entries) {
    if (entry.is_directory) continue;
    const auto owner = owner_of(entry.name);
    if (!owner) continue;
    auto state = states.find(*owner);
    if (state == states.end()) state = states.emplace(*owner, platform::process_state(*owner)).first;
    // The id is a quick filter only: what decides is that nobody holds the file, which
    // a host of any copy or version of the program does for as long as it uses it.
    if (state->second == platform::ProcessState::Gone)
      (void)platform::delete_unowned(platform::join_path(folder, entry.name));
  }
}

platform::Result<platform::File> create_own_file(const std::string& path) {
  auto file = platform::create_owned(path);
  if (!file && platform::is_already_exists(file.error()) && platform::delete_unowned(path))
    file = platform::create_owned(path);
  return file;
}

}  // namespace tessiva::naming
