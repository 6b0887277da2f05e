#include "platform/windows/icons.h"

#include "platform/windows/windows.h"

#include <shellapi.h>
#include <shlobj.h>

#include <span>

#include "codec/png.h"
#include "platform/windows/dynamic_library.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"

namespace tessiva::platform {
namespace {

/// Icons are taken at this size, and bitmaps outside 1...MAX_ICON_SIDE are refused.
constexpr LONG MAX_ICON_SIDE = 256;

}  // namespace

std::optional<std::vector<std::byte>> extract_icon_png(const std::string& path, int index) {
  // A NUL would cut the path short and name another file.
  if (path.find('\0') != std::string::npos) return std::nullopt;
  const auto wide = widen_strict(path);
  if (!wide) return std::nullopt;

  static LazyFunction<decltype(::SHDefExtractIconW)> extract_icon{shell32, "SHDefExtractIconW"};
  static LazyFunction<decltype(::GetIconInfo)> icon_info{user32, "GetIconInfo"};
  static LazyFunction<decltype(::GetDC)> screen_dc{user32, "GetDC"};
  static LazyFunction<decltype(::GetObjectW)> object_info{gdi32, "GetObjectW"};
  static LazyFunction<decltype(::GetDIBits)> dib_bits{gdi32, "GetDIBits"};
  auto* extract = extract_icon.get();
  auto* get_icon_info = icon_info.get();
  auto* get_dc = screen_dc.get();
  auto* get_object = object_info.get();
  auto* get_dib_bits = dib_bits.get();
  if (!extract || !get_icon_info || !get_dc || !get_object || !get_dib_bits) return std::nullopt;
  HICON raw = nullptr;
  // Only the large icon, at ICON_SIDE pixels (the small size in the high word is 0).
  const HRESULT hr = extract(wide->c_str(), index, 0, &raw, nullptr, ICON_SIDE);
  // All ones is how the shell says "not an icon file"; it is no handle to destroy.
  if (FAILED(hr) || raw == nullptr || raw == reinterpret_cast<HICON>(static_cast<INT_PTR>(-1))) return std::nullopt;
  const UniqueIcon icon(raw);

  ICONINFO info{};
  if (!get_icon_info(icon.get(), &info)) return std::nullopt;
  // GetIconInfo hands out copies of both bitmaps, which the caller deletes.
  const UniqueBitmap colour(info.hbmColor);
  const UniqueBitmap mask(info.hbmMask);

  // A monochrome icon has no colour bitmap; GetObjectW then fails and gives none.
  BITMAP bitmap{};
  if (get_object(colour.get(), sizeof bitmap, &bitmap) == 0) return std::nullopt;
  const LONG width = bitmap.bmWidth;
  const LONG height = bitmap.bmHeight;
  if (width < 1 || width > MAX_ICON_SIDE || height < 1 || height > MAX_ICON_SIDE) return std::nullopt;

  BITMAPINFO wanted{};
  wanted.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  wanted.bmiHeader.biWidth = width;
  wanted.bmiHeader.biHeight = -height;  // rows from top to bottom
  wanted.bmiHeader.biPlanes = 1;
  wanted.bmiHeader.biBitCount = 32;
  wanted.bmiHeader.biCompression = BI_RGB;

  std::vector<std::byte> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  int lines = 0;
  {
    const UniqueScreenDc screen(get_dc(nullptr));
    if (!screen) return std::nullopt;
    lines = get_dib_bits(screen.get(), colour.get(), 0, static_cast<UINT>(height), pixels.data(), &wanted,
                         DIB_RGB_COLORS);
  }
  if (lines == 0) return std::nullopt;

  codec::bgra_to_rgba(pixels);
  return codec::encode_rgba_png(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), pixels);
}

}  // namespace tessiva::platform
