#include "platform/windows/version_info.h"

#include "platform/windows/windows.h"

#include <winver.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/windows/dynamic_library.h"
#include "platform/windows/win_error.h"
#include "text/version_resource.h"

namespace tessiva::platform {
namespace {

/// The US English, Unicode code page description, asked for last whatever the
/// translation table says.
constexpr wchar_t FALLBACK_QUERY[] = L"\\StringFileInfo\\040904b0\\FileDescription";

std::wstring to_wide(std::u16string_view s) { return {s.begin(), s.end()}; }

}  // namespace

std::optional<std::string> file_description(const std::string& path) {
  if (path.find('\0') != std::string::npos) return std::nullopt;
  const auto wide = widen_strict(path);
  if (!wide) return std::nullopt;

  static LazyFunction<decltype(::GetFileVersionInfoSizeW)> info_size{version_library, "GetFileVersionInfoSizeW"};
  static LazyFunction<decltype(::GetFileVersionInfoW)> info{version_library, "GetFileVersionInfoW"};
  static LazyFunction<decltype(::VerQueryValueW)> query_value{version_library, "VerQueryValueW"};
  auto* get_size = info_size.get();
  auto* get_info = info.get();
  auto* query = query_value.get();
  if (!get_size || !get_info || !query) return std::nullopt;

  const DWORD size = get_size(wide->c_str(), nullptr);
  if (size == 0) return std::nullopt;
  std::vector<std::byte> resource(size);
  if (!get_info(wide->c_str(), 0, size, resource.data())) return std::nullopt;
  const std::byte* const resource_end = resource.data() + resource.size();

  std::vector<std::wstring> candidates;
  void* table = nullptr;
  UINT table_bytes = 0;
  if (query(resource.data(), L"\\VarFileInfo\\Translation", &table, &table_bytes) && table && table_bytes >= 4) {
    const auto* pair = static_cast<const WORD*>(table);
    candidates.push_back(to_wide(text::description_query(pair[0], pair[1])));
  }
  candidates.emplace_back(FALLBACK_QUERY);

  for (const auto& candidate : candidates) {
    void* value = nullptr;
    UINT units = 0;  // counted in UTF-16 units for string values
    if (!query(resource.data(), candidate.c_str(), &value, &units) || !value || units < 2) continue;
    // The value points into the resource; a damaged length must not read past it.
    const auto* first = static_cast<const std::byte*>(value);
    if (first < resource.data() || first >= resource_end) continue;
    const std::size_t available = static_cast<std::size_t>(resource_end - first) / sizeof(char16_t);
    const std::size_t count = std::min<std::size_t>(units, available);
    std::u16string text(count, u'\0');
    std::memcpy(text.data(), first, count * sizeof(char16_t));
    std::string description = text::description_text(text);
    if (!description.empty()) return description;
  }
  return std::nullopt;
}

}  // namespace tessiva::platform
