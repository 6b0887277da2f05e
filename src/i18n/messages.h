#pragma once
/// The texts the program shows, in every language it speaks.

#include <string_view>

#include "i18n/language.h"

namespace tessiva::i18n {

enum class MessageKey {
  InstallPrompt,
  InstallDone,
  UpdateDone,
  InstallFailed,
  UninstallPrompt,
  UninstallDone,
  ChooseAppTitle,
  ProgramsFilter,
  ChooseFolderTitle,
};

/// The text of `key` in `language`, UTF-8.
[[nodiscard]] std::string_view message_text(Language language, MessageKey key) noexcept;

}  // namespace tessiva::i18n
