#include "desktop/pickers.h"

#include "desktop/app_info.h"
#include "i18n/language.h"
#include "i18n/texts.h"
#include "platform/pickers.h"

namespace tessiva::desktop {
namespace {

using i18n::MessageKey;
using messages::HandlerResult;
using nlohmann::json;

json cancelled() { return json{{"cancelled", true}}; }

/// The dialog's words in the language of the settings (the desktop's for "auto"); the
/// system's own words follow the setting too, or the desktop when it names none.
platform::PickerTexts picker_texts(const config::Config& config, MessageKey title) {
  const i18n::Language language = i18n::ui_language(config.language);
  const auto named = i18n::language_from_setting(config.language);
  return platform::PickerTexts{
      .title = i18n::message_text(language, title),
      .accept = i18n::message_text(language, MessageKey::SelectButton),
      .filter = i18n::message_text(language, MessageKey::ProgramsFilter),
      .browse = i18n::message_text(language, MessageKey::BrowseButton),
      .language = named ? i18n::language_code(*named) : std::string_view(),
  };
}

}  // namespace

HandlerResult handle_pick_folder(std::optional<std::int64_t> owner, const config::SettingsLoader& settings) {
  const auto folder = platform::pick_folder(owner, picker_texts(settings(), MessageKey::ChooseFolderTitle));
  if (!folder) return cancelled();
  return json{{"path", *folder}};
}

HandlerResult handle_pick_application(std::optional<std::int64_t> owner, const config::SettingsLoader& settings) {
  const auto file = platform::pick_program(owner, picker_texts(settings(), MessageKey::ChooseAppTitle));
  if (!file) return cancelled();
  return app_info_json(app_info_for(*file));
}

}  // namespace tessiva::desktop
