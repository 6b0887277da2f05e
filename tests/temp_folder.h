#pragma once
// A private temporary folder for one test, removed with everything in it afterwards.

#include <filesystem>
#include <random>
#include <string>

namespace tessiva::test {

class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("tessiva-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  /// The folder as UTF-8 text.
  [[nodiscard]] std::string path() const {
    const auto text = path_.u8string();
    return std::string(text.begin(), text.end());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tessiva::test
