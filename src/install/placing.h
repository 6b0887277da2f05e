#pragma once
/// The steps both installers take to put the running program in its place. Each
/// system's environment (install/<system>/) gives the file operations: any type with
/// `canonical_path`, `copy_executable`, `rename_replace`, `delete_file` and
/// `file_exists` as the installers' environments declare them.

#include <string>

#include "platform/os_error.h"

namespace tessiva::install {

/// True when both paths resolve and name the same file: the program already runs from
/// its install location.
template <typename Environment>
[[nodiscard]] bool same_file(Environment& environment, const std::string& a, const std::string& b) {
  const auto canonical_a = environment.canonical_path(a);
  if (!canonical_a) return false;
  const auto canonical_b = environment.canonical_path(b);
  return canonical_b && *canonical_a == *canonical_b;
}

/// Where `place_executable` puts the program.
struct ExecutablePlaces {
  std::string executable;
  /// Where the copy is written first, so that a failed copy leaves the installed
  /// program as it was.
  std::string staged;
  /// Where an installed program that cannot be deleted (a host of the old version is
  /// running from it, on a system that keeps such files) is moved aside, and where the
  /// next update deletes it; empty where a running program's file can be replaced.
  std::string previous;
};

/// Puts a copy of `running` in place of the installed executable: copied to the staged
/// name, then renamed over the installed one. The staged copy is deleted when a step
/// fails, and an installed program moved aside is moved back.
template <typename Environment>
[[nodiscard]] platform::Result<void> place_executable(Environment& environment, const std::string& running,
                                                      const ExecutablePlaces& places) {
  if (auto copied = environment.copy_executable(running, places.staged); !copied) {
    (void)environment.delete_file(places.staged);
    return copied;
  }
  bool moved_aside = false;
  if (!places.previous.empty()) {
    (void)environment.delete_file(places.previous);
    if (environment.file_exists(places.executable) && !environment.delete_file(places.executable)) {
      if (auto renamed = environment.rename_replace(places.executable, places.previous); !renamed) {
        (void)environment.delete_file(places.staged);
        return renamed;
      }
      moved_aside = true;
    }
  }
  if (auto placed = environment.rename_replace(places.staged, places.executable); !placed) {
    if (moved_aside) (void)environment.rename_replace(places.previous, places.executable);
    (void)environment.delete_file(places.staged);
    return placed;
  }
  return {};
}

}  // namespace tessiva::install
