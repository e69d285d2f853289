#pragma once

// Encoder set-up shared by the movie writers and the list of encoders present.
// Internal to skyglide_movie; the libav types stay forward-declared.

#include <cstdint>
#include <string>

struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVPacket;
struct AVStream;
struct AVFrame;
struct SwsContext;

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

/// Writes every packet the encoder has ready into `stream` of `format`.
/// `frameDuration` (in the encoder's time base) is given to packets that
/// carry none; 0 leaves them as they are. Returns a libav error or 0.
int writeEncodedPackets(AVCodecContext* encoder, AVFormatContext* format, AVStream* stream,
                        AVPacket* packet, std::int64_t frameDuration = 0);

/// The libav objects of one encoded output, freed together (an open file is
/// closed where it stands).
struct TEncoderResources
{
    AVFormatContext* Format = nullptr;
    AVStream* Stream = nullptr;
    AVCodecContext* Encoder = nullptr;
    SwsContext* Scaler = nullptr;
    AVFrame* Frame = nullptr;
    AVPacket* Packet = nullptr;

    TEncoderResources() = default;
    ~TEncoderResources();
    TEncoderResources(const TEncoderResources&) = delete;
    TEncoderResources& operator=(const TEncoderResources&) = delete;
};

/// libav's text for an error code, e.g. "No space left on device".
std::string libavErrorText(int error);

} // namespace skyglide
