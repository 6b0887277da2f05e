#pragma once
/// Names of saved files: the user's name pattern applied to the name the browser
/// reported, made safe as one Windows file name, and a free name claimed in the save
/// folder by creating an empty file under it.

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/os_error.h"

namespace tessiva::naming {

/// The number of characters (Unicode scalar values) that a sanitised piece keeps.
inline constexpr std::size_t MAX_COMPONENT_CHARS = 150;
/// Windows refuses a file name of more than 255 UTF-16 units, Linux one of more than 255
/// bytes. A built name keeps within this many units of the system's measure, so that the
/// counter of a taken name ("_9999") still fits.
inline constexpr std::size_t MAX_FILE_NAME_UNITS = 250;
/// The highest counter tried when a name is taken ('x_9999.pdf' is the last candidate).
inline constexpr int LAST_NAME_ATTEMPT = 9999;
/// The error text when every candidate name up to `LAST_NAME_ATTEMPT` is taken.
inline constexpr std::string_view NO_FREE_NAME = "no free file name";

/// A name split at its last full stop.
struct SplitName {
  std::string stem;
  /// Without the full stop; none when the name has no full stop or its last one is the
  /// first or the last character.
  std::optional<std::string> extension;

  friend bool operator==(const SplitName&, const SplitName&) = default;
};

/// Splits at the last full stop: 'archive.tar.gz' gives 'archive.tar' and 'gz', while
/// '.bashrc' and 'notes.' keep the whole name as stem and have no extension.
[[nodiscard]] SplitName split_name(std::string_view name);

/// Makes one piece of a file name safe on Windows: forbidden and control characters
/// become '_', trailing spaces and full stops and leading white space go, a reserved
/// device name gets a '_' in front, and then at most `MAX_COMPONENT_CHARS` characters
/// stay. Reserved are CON, PRN, AUX, NUL, CONIN$, CONOUT$ and COM or LPT with one digit
/// (0-9, or the superscripts ¹ ² ³), in any ASCII case, before the first full stop and
/// any spaces that precede it ('nul .txt' opens NUL too).
/// Nothing is trimmed after the cut, so a cut piece may end in a space or full stop, or
/// be a device name followed by spaces; `build_file_name` settles that for the whole
/// name. The result may be empty. Malformed UTF-8 becomes U+FFFD, so the result is
/// always well-formed.
[[nodiscard]] std::string sanitize_component(std::string_view text);

/// The extension of `original_name` with A-Z lower-cased and nothing else changed:
/// the key of the user's defaults per file type. Empty when there is no extension.
[[nodiscard]] std::string extension_key(std::string_view original_name);

/// The name to save a file under: `pattern` with "{name}", "{date}" and "{time}"
/// expanded (in that order, one whole pass each), sanitised, followed by the sanitised,
/// lower-cased extension of `original_name`. Never more than `MAX_FILE_NAME_UNITS`
/// units of `measure` (UTF-16 units, where characters outside the Basic Multilingual
/// Plane count twice, or UTF-8 bytes, where a character counts one to four): when the
/// two cut pieces are longer together, the base is cut further, and the extension too
/// when it alone leaves no room for a base. The cuts change nothing else but what Windows
/// needs to store the whole name as it is: spaces and full stops at its end go, and a
/// device name before its first full stop gets a '_' in front. A name that this leaves
/// empty becomes "file", so the result is never empty.
[[nodiscard]] std::string build_file_name(std::string_view original_name, std::string_view pattern,
                                          const platform::LocalTime& local_time, platform::NameMeasure measure);
/// `build_file_name` with the running system's measure.
[[nodiscard]] std::string build_file_name(std::string_view original_name, std::string_view pattern,
                                          const platform::LocalTime& local_time);

/// The name tried at `attempt` (1 to `LAST_NAME_ATTEMPT`): `file_name` itself for 1,
/// else the counter joined to the stem: 'x_2.pdf', or 'x_2' without an extension.
[[nodiscard]] std::string candidate_name(std::string_view file_name, int attempt);

/// Why no name could be claimed.
struct ClaimError {
  /// The system's failure; none when every candidate name was taken.
  std::optional<platform::OsError> os_error;

  /// The system's error text, or "no free file name".
  [[nodiscard]] std::string text() const;
};

/// Claims a free name in `folder` for `file_name` (a name from `build_file_name`) by
/// creating an empty file under the first candidate that does not exist yet; the
/// check and the creation are one step, so two saves never get the same name.
/// Returns the new file's full path. Nothing is left behind when it fails.
/// `last_attempt` is the highest counter tried; only tests pass a smaller one.
[[nodiscard]] std::expected<std::string, ClaimError> claim_free_path(const std::string& folder,
                                                                     std::string_view file_name,
                                                                     int last_attempt = LAST_NAME_ATTEMPT);

}  // namespace tessiva::naming
