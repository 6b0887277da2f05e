#include "config/save_folder.h"

#include "config/store.h"
#include "messages/version.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "text/unicode.h"

namespace tessiva::config {

std::optional<std::string> effective_save_folder(const Config& config) {
  if (config.save_folder && !text::is_blank(*config.save_folder)) return config.save_folder;
  const auto documents = platform::program_folder(platform::ProgramFolder::Documents, messages::PRODUCT_NAME);
  if (!documents) return std::nullopt;
  return platform::join_path(*documents, messages::PRODUCT_NAME);
}

}  // namespace tessiva::config
