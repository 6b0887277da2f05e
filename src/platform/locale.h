#pragma once
/// The language of the user's desktop.

#include <string>

namespace tessiva::platform {

/// The user's interface language as a locale tag, its language code first ("es-ES",
/// "pt-BR", "en-US"; on Linux as the environment writes it, "es_ES.UTF-8"); empty when
/// the system names none. On Windows the tag of `GetUserDefaultUILanguage`'s language
/// (of its primary language alone when the system has no tag for the full id). On
/// Linux the first that is set of LANGUAGE (its first entry), LC_ALL, LC_MESSAGES and
/// LANG.
[[nodiscard]] std::string user_interface_locale();

}  // namespace tessiva::platform
