#pragma once

// A picture like the viewer's: a sky gradient above a textured, shaded
// ground, so that encoders see the kind of detail they get from a flight.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace skyglide::bench {

/// The red, green and blue of the point (x, y), counted from the top-left of
/// a picture `height` rows high; the ground is shifted by `shift` pixels.
inline void terrainPixel(int x, int y, int height, int shift, std::uint8_t* rgb)
{
    if (y < height * 2 / 5) {
        rgb[0] = std::uint8_t(90 + 60 * y / height);
        rgb[1] = std::uint8_t(140 + 60 * y / height);
        rgb[2] = 235;
        return;
    }
    const int u = x + shift, v = y * 3 + shift;
    const double h =
        std::sin(u * 0.031) * std::cos(v * 0.017) + 0.3 * std::sin(u * 0.23 + v * 0.11);
    const int noise = int(((unsigned(u) * 73856093u ^ unsigned(v) * 19349663u) >> 7) & 15);
    rgb[0] = std::uint8_t(std::clamp(100 + 60 * h + noise, 0.0, 255.0));
    rgb[1] = std::uint8_t(std::clamp(120 + 50 * h + noise, 0.0, 255.0));
    rgb[2] = std::uint8_t(std::clamp(60 + 30 * h + noise, 0.0, 255.0));
}

} // namespace skyglide::bench
