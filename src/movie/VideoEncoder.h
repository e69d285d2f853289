#pragma once

// Encoder set-up shared by the movie writer and the list of encoders present.
// Internal to skyglide_movie; the libav types stay forward-declared.

struct AVCodec;
struct AVCodecContext;

namespace skyglide {

/// True when `codec` is one of libavcodec's own video encoders whose stream an AVI file can
/// carry and whose input swscale can produce from 24-bit frames.
bool isAVIVideoEncoder(const AVCodec* codec);

/// Opens `codec` for `fps` frames per second of `width` × `height`, every
/// frame a key frame. An encoder that refuses that size is tried at the size
/// padded up to multiples of 2, 4, 8 and 16 (Video-1 starts at 4); the
/// context's width and height tell which one it took. Returns nullptr, with
/// the last libav error in `error`, when none opens.
AVCodecContext* openVideoEncoder(const AVCodec* codec, int width, int height, int fps,
                                 bool globalHeader, int& error);

} // namespace skyglide
