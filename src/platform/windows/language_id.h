#pragma once
/// Windows language ids (LANGID) as locale tags.

#include <cstdint>
#include <string>

namespace tessiva::platform {

/// The locale tag of `language_id` ("es-MX" for 0x080A); that of its primary language
/// when the system has no tag for the full id; empty for an id without a language.
[[nodiscard]] std::string locale_of_language_id(std::uint16_t language_id);

}  // namespace tessiva::platform
