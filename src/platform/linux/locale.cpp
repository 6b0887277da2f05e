#include "platform/locale.h"

#include <cstdlib>
#include <string_view>

namespace tessiva::platform {

std::string user_interface_locale() {
  // The first of these that is set decides; of LANGUAGE, a list of languages in order
  // of preference separated by colons, its first entry.
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    std::string_view locale(value);
    locale = locale.substr(0, locale.find(':'));
    if (locale.empty()) continue;
    return std::string(locale);
  }
  return {};
}

}  // namespace tessiva::platform
