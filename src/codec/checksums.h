#pragma once
/// The two checksums of a PNG file: CRC-32 over each chunk and Adler-32 over the zlib
/// stream's uncompressed data.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tessiva::codec {

/// CRC-32 of ISO 3309 (reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF, final
/// value inverted). To checksum data in pieces, pass the previous result as `crc`.
[[nodiscard]] std::uint32_t crc32(std::span<const std::byte> data, std::uint32_t crc = 0) noexcept;

/// Adler-32 of RFC 1950 (modulus 65521, initial value 1). To checksum data in pieces,
/// pass the previous result as `adler`.
[[nodiscard]] std::uint32_t adler32(std::span<const std::byte> data,
                                    std::uint32_t adler = 1) noexcept;

}  // namespace tessiva::codec
