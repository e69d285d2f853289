#pragma once

#include <cstdint>
#include <cstring>

namespace skyglide {

// Raster and palette files store their numbers little-endian, whatever the
// machine that reads them.

inline std::uint16_t LittleEndianUInt16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::int16_t LittleEndianInt16(const std::uint8_t* p)
{
    return static_cast<std::int16_t>(LittleEndianUInt16(p));
}

/// An IEEE single stored in four bytes, lowest first.
inline float LittleEndianSingle(const std::uint8_t* p)
{
    const std::uint32_t bits =
        static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    float value = 0.0F;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace skyglide
