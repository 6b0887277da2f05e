#pragma once
/// The job of the detached launcher: what it is told to do, the compact JSON text it is
/// written as, and the hexadecimal form in which that text crosses the command line.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tessiva::open {

namespace launch {
/// Start an application on the file.
struct App {
  /// Full path of the application.
  std::string exe;
  /// The argument template; "{file}" stands for the quoted file path.
  std::string args;
  friend bool operator==(const App&, const App&) = default;
};
/// Invoke the shell handler of the file type whose identifier is `handler_id`.
struct Handler {
  std::string handler_id;
  /// The file type's extension, without the leading dot.
  std::string ext;
  friend bool operator==(const Handler&, const Handler&) = default;
};
/// Open the containing folder in the file manager with the item selected.
struct Reveal {
  friend bool operator==(const Reveal&, const Reveal&) = default;
};
}  // namespace launch

/// The action of a launch job, tagged by "kind" ("app", "handler", "reveal").
struct Launch : std::variant<launch::App, launch::Handler, launch::Reveal> {
  using App = launch::App;
  using Handler = launch::Handler;
  using Reveal = launch::Reveal;
  using variant::variant;
};

/// What the launcher child is told to do.
struct LaunchJob {
  Launch launch;
  /// Full path of the file (or folder) the action applies to, UTF-8.
  std::string file;
  friend bool operator==(const LaunchJob&, const LaunchJob&) = default;
};

/// The job as compact JSON with its members in their fixed order: "launch" (with
/// "kind" first, then "exe" and "args" or "handler_id" and "ext"), then "file". Strings
/// are escaped like replies; text that is not valid UTF-8 is written with U+FFFD.
[[nodiscard]] std::string job_text(const LaunchJob& job);

/// `job_text` as two lower-case hexadecimal digits per byte: the argument after
/// "--launch".
[[nodiscard]] std::string encode_job(const LaunchJob& job);

/// Reads a job text: one JSON object with the members "launch" and "file" in any order
/// (others are ignored). None when the text is not such an object, "kind" is not one of
/// the three values, or a member the kind needs is missing or not a string.
[[nodiscard]] std::optional<LaunchJob> parse_job_text(std::string_view text);

/// Decodes the argument after "--launch": hexadecimal digits in pairs (either case),
/// then `parse_job_text`. None for an odd length, a pair that is not two hexadecimal
/// digits, or a text that is not a valid job.
[[nodiscard]] std::optional<LaunchJob> decode_job(std::string_view hex);

}  // namespace tessiva::open
