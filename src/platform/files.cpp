#include "platform/files.h"

namespace tessiva::platform {

std::string join_path(std::string_view folder, std::string_view name) {
  std::string path(folder);
  // Windows takes '/' as a separator too; on Linux it is the separator.
  if (!path.empty() && path.back() != PATH_SEPARATOR && path.back() != '/') path += PATH_SEPARATOR;
  path += name;
  return path;
}

text::PathStyle native_path_style() noexcept {
  return PATH_SEPARATOR == '\\' ? text::PathStyle::Windows : text::PathStyle::Posix;
}

NameMeasure native_name_measure() noexcept {
  return PATH_SEPARATOR == '\\' ? NameMeasure::Utf16Units : NameMeasure::Utf8Bytes;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.release();
  }
  return *this;
}

File::~File() { close(); }

}  // namespace tessiva::platform
