#include "main/command_line.h"

#include <algorithm>
#include <charconv>
#include <span>

#include "messages/protocol.h"

namespace tessiva::app {
std::optional<std::int64_t> parse_parent_window(std::string_view s) {
  std::size_t first_digit = 0;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) first_digit = 1;
  if (first_digit == s.size()) return std::nullopt;
  if (!std::all_of(s.begin() + first_digit, s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  // from_chars takes a leading '-' (so the most negative value parses) but not '+'.
  const std::string_view number = s.front() == '+' ? s.substr(1) : s;
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc{} || end != number.data() + number.size() || value == 0) return std::nullopt;
  return value;
}

Mode select_mode(const std::vector<std::string>& args) {
  constexpr std::string_view ORIGIN_PREFIX = "chrome-extension://";
  constexpr std::string_view PARENT_PREFIX = "--parent-window=";
  const bool native = std::any_of(args.begin(), args.end(), [&](const std::string& a) {
    return a.starts_with(ORIGIN_PREFIX) || a.ends_with(".json") || a == messages::FIREFOX_EXTENSION_ID;
  });
  if (native) {
    NativeMessagingMode mode;
    const auto it = std::find_if(args.begin(), args.end(),
                                 [&](const std::string& a) { return a.starts_with(PARENT_PREFIX); });
    if (it != args.end()) mode.parent_window = parse_parent_window(std::string_view(*it).substr(PARENT_PREFIX.size()));
    return mode;
  }
  const bool quiet = std::find(args.begin(), args.end(), "--quiet") != args.end();
  if (const auto it = std::find(args.begin(), args.end(), "--launch"); it != args.end()) {
    if (it + 1 == args.end()) return LaunchMode{};
    return LaunchMode{*(it + 1)};
  }
  if (std::find(args.begin(), args.end(), "--check") != args.end())
    return CheckMode{std::find(args.begin(), args.end(), "--json") != args.end()};
  if (std::find(args.begin(), args.end(), "--uninstall") != args.end()) return UninstallMode{quiet};
  return InstallMode{quiet};
}

std::vector<std::string> sandbox_ids(const std::vector<std::string>& args) {
  std::vector<std::string> ids;
  for (auto it = std::find(args.begin(), args.end(), "--sandbox"); it != args.end();
       it = std::find(it + 1, args.end(), "--sandbox")) {
    ids.push_back(it + 1 == args.end() ? std::string() : *(it + 1));
  }
  return ids;
}

std::optional<install::BrowserFamily> caller_family(const std::vector<std::string>& args) {
  // The program path comes first and may itself end in anything: it is not looked at.
  const auto rest = args.size() > 1 ? std::span(args).subspan(1) : std::span<const std::string>();
  if (std::ranges::any_of(rest, [](const std::string& a) { return a.starts_with("chrome-extension://"); }))
    return install::BrowserFamily::Chromium;
  if (std::ranges::any_of(rest, [](const std::string& a) {
        return a.ends_with(".json") || a == messages::FIREFOX_EXTENSION_ID;
      }))
    return install::BrowserFamily::Firefox;
  return std::nullopt;
}

}  // namespace tessiva::app
