#include "main/command_line.h"

#include <algorithm>
#include <charconv>
#include <span>

#include "messages/caller.h"
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

namespace {

/// The options of the program (beside a browser's arguments and the job after "--launch").
constexpr std::string_view KNOWN_OPTIONS[] = {"--install", "--uninstall", "--quiet",   "--check",   "--json",
                                              "--launch",  "--help",      "--version", "--sandbox", "--per-user"};

/// With strict rules: help, version or a usage error, when the arguments ask for one.
std::optional<Mode> strict_mode(const std::vector<std::string>& args) {
  bool help = false;
  bool version = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--launch" || a == "--sandbox") {
      ++i;  // the job or the app id, whatever it looks like
      continue;
    }
    if (!a.starts_with('-')) continue;
    if (std::ranges::find(KNOWN_OPTIONS, std::string_view(a)) == std::end(KNOWN_OPTIONS)) return UsageErrorMode{a};
    help = help || a == "--help";
    version = version || a == "--version";
  }
  if (help) return HelpMode{};
  if (version) return VersionMode{};
  return std::nullopt;
}

}  // namespace

std::string usage_text() {
  return "Usage: tessiva [--install | --uninstall] [--quiet] [--sandbox APP-ID]... [--per-user]\n"
         "       tessiva --check [--json]\n"
         "Started by a browser, Tessiva is the extension's native messaging host.\n"
         "\n"
         "  --install     install for the current user (the default; asks first on a terminal)\n"
         "  --uninstall   remove the installation of the current user\n"
         "  --quiet       with --install or --uninstall: ask nothing, print nothing\n"
         "  --sandbox ID  with --install or --uninstall: set up (or remove) the way out of\n"
         "                the sandbox of a Flatpak browser, e.g. org.chromium.Chromium\n"
         "  --per-user    with --install on Windows: install for the current user even where\n"
         "                Tessiva is installed for all users (its copy then takes their place)\n"
         "  --check       check that each browser can start Tessiva (--json: as JSON)\n"
         "  --help        show this text\n"
         "  --version     show the version\n"
         "\n"
         "Exit codes: 0 done; 1 failed, or a browser cannot reach Tessiva (--check);\n"
         "2 the question was declined, or an unknown option; 3 (Windows) installed for all\n"
         "users, nothing installed for the current user (see --per-user).\n"
         "More in the manual page: man tessiva (installed with the Debian package).\n";
}

Mode select_mode(const std::vector<std::string>& args, OptionRules rules) {
  constexpr std::string_view PARENT_PREFIX = "--parent-window=";
  // A browser that starts the host names itself on the command line.
  const bool native = std::any_of(args.begin(), args.end(),
                                  [](const std::string& a) { return messages::caller_sign(a).has_value(); });
  if (native) {
    NativeMessagingMode mode;
    const auto it = std::find_if(args.begin(), args.end(),
                                 [&](const std::string& a) { return a.starts_with(PARENT_PREFIX); });
    if (it != args.end()) mode.parent_window = parse_parent_window(std::string_view(*it).substr(PARENT_PREFIX.size()));
    return mode;
  }
  if (rules == OptionRules::Strict) {
    if (auto mode = strict_mode(args)) return *std::move(mode);
  }
  const bool quiet = std::find(args.begin(), args.end(), "--quiet") != args.end();
  if (const auto it = std::find(args.begin(), args.end(), "--launch"); it != args.end()) {
    if (it + 1 == args.end()) return LaunchMode{};
    return LaunchMode{*(it + 1)};
  }
  if (std::find(args.begin(), args.end(), "--check") != args.end())
    return CheckMode{std::find(args.begin(), args.end(), "--json") != args.end()};
  if (std::find(args.begin(), args.end(), "--uninstall") != args.end()) return UninstallMode{quiet};
  return InstallMode{quiet, std::find(args.begin(), args.end(), "--per-user") != args.end()};
}

std::vector<std::string> sandbox_ids(const std::vector<std::string>& args) {
  std::vector<std::string> ids;
  for (auto it = std::find(args.begin(), args.end(), "--sandbox"); it != args.end();
       it = std::find(it + 1, args.end(), "--sandbox")) {
    ids.push_back(it + 1 == args.end() ? std::string() : *(it + 1));
  }
  return ids;
}

std::optional<messages::BrowserFamily> caller_family(const std::vector<std::string>& args) {
  // The program path comes first and may itself end in anything: it is not looked at.
  // An origin anywhere wins over Firefox's signs.
  const auto rest = args.size() > 1 ? std::span(args).subspan(1) : std::span<const std::string>();
  std::optional<messages::BrowserFamily> family;
  for (const auto& argument : rest) {
    const auto sign = messages::caller_sign(argument);
    if (!sign) continue;
    family = messages::family_of(*sign);
    if (family == messages::BrowserFamily::Chromium) break;
  }
  return family;
}

}  // namespace tessiva::app
