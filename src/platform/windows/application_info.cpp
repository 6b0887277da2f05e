#include "platform/application_info.h"

#include "platform/windows/icons.h"
#include "platform/windows/version_info.h"

namespace tessiva::platform {

ApplicationDescription describe_application(const std::string& path) {
  return ApplicationDescription{file_description(path), extract_icon_png(path, 0)};
}

}  // namespace tessiva::platform
