#pragma once

#include <string>
#include <vector>

namespace skyglide {

/// A video encoder that can write the frames of an AVI movie.
struct TAVIEncoderInfo
{
    std::string Name;        ///< the encoder's name, e.g. "msvideo1"
    std::string Description; ///< what a user reads in the chooser
};

/// The name under which the recorder writes uncompressed 24-bit frames,
/// bottom row first, as a device-independent bitmap holds them.
inline constexpr const char* UncompressedAVIEncoder = "rawvideo";

/// The AVI-capable video encoders present on this system that accept a
/// movie of `width` × `height` (padded as the encoder needs): uncompressed
/// frames first, then the others by name. Only libavcodec's own encoders
/// count: wrappers of other libraries and of hardware, and experimental
/// encoders, are left out. Each candidate is opened once to see that it
/// really works, so this takes a moment; call it when the list is shown.
std::vector<TAVIEncoderInfo> AVIEncodersPresent(int width = 320, int height = 240);

} // namespace skyglide
