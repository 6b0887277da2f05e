#include "shell/pickers.h"

#include "i18n/language.h"
#include "i18n/messages.h"
#include "platform/pickers.h"
#include "shell/app_info.h"

namespace tessiva::shell {
namespace {

using messages::HandlerResult;
using nlohmann::json;

json cancelled() { return json{{"cancelled", true}}; }

i18n::Language settings_language(const config::SettingsLoader& settings) {
  return i18n::ui_language(settings().language);
}

}  // namespace

HandlerResult handle_pick_folder(std::optional<std::int64_t> owner, const config::SettingsLoader& settings) {
  const i18n::Language language = settings_language(settings);
  const auto folder = platform::pick_folder(owner, i18n::message_text(language, i18n::MessageKey::ChooseFolderTitle));
  if (!folder) return cancelled();
  return json{{"path", *folder}};
}

HandlerResult handle_pick_application(std::optional<std::int64_t> owner, const config::SettingsLoader& settings) {
  const i18n::Language language = settings_language(settings);
  const auto file = platform::pick_program(owner, i18n::message_text(language, i18n::MessageKey::ChooseAppTitle),
                                           i18n::message_text(language, i18n::MessageKey::ProgramsFilter));
  if (!file) return cancelled();
  return app_info_json(app_info_for(*file));
}

}  // namespace tessiva::shell
