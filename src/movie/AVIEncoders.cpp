#include "movie/AVIEncoders.h"

#include "movie/VideoEncoder.h"

#include <algorithm>
#include <initializer_list>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace skyglide {

namespace {

// The pixel format the encoder gets: the one nearest to 24-bit BGR among
// those it takes that swscale can write. AV_PIX_FMT_NONE if there is none.
AVPixelFormat inputFormatOf(const AVCodec* codec)
{
    if (!codec->pix_fmts)
        return AV_PIX_FMT_BGR24;
    std::vector<AVPixelFormat> usable;
    for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(*f);
        if (desc && !(desc->flags & AV_PIX_FMT_FLAG_HWACCEL) && sws_isSupportedOutput(*f))
            usable.push_back(*f);
    }
    if (usable.empty())
        return AV_PIX_FMT_NONE;
    usable.push_back(AV_PIX_FMT_NONE);
    return avcodec_find_best_pix_fmt_of_list(usable.data(), AV_PIX_FMT_BGR24, 0, nullptr);
}

// Encoders of the MPEG video family take a fixed quantiser; their default
// (a low bit rate) would smear intra-only frames.
bool takesFixedQuantiser(AVCodecID id)
{
    for (AVCodecID q : {AV_CODEC_ID_MPEG4, AV_CODEC_ID_MSMPEG4V2, AV_CODEC_ID_MSMPEG4V3,
                        AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_MJPEG,
                        AV_CODEC_ID_H263P, AV_CODEC_ID_FLV1, AV_CODEC_ID_WMV1, AV_CODEC_ID_WMV2})
        if (id == q)
            return true;
    return false;
}

int roundUp(int value, int block)
{
    return (value + block - 1) / block * block;
}

// Keeps libav quiet while candidates that will not open are tried.
class QuietLog
{
public:
    QuietLog() : m_level(av_log_get_level()) { av_log_set_level(AV_LOG_QUIET); }
    ~QuietLog() { av_log_set_level(m_level); }
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;

private:
    int m_level;
};

} // namespace

bool isAVIVideoEncoder(const AVCodec* codec)
{
    static const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
    // Only libavcodec's own encoders: wrappers of other libraries and of
    // hardware bring their own threads and devices (one of them hangs when
    // it is closed before its first frame).
    return codec && avi && av_codec_is_encoder(codec) && codec->type == AVMEDIA_TYPE_VIDEO &&
           !codec->wrapper_name &&
           !(codec->capabilities & (AV_CODEC_CAP_EXPERIMENTAL | AV_CODEC_CAP_HARDWARE)) &&
           avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) == 1 &&
           inputFormatOf(codec) != AV_PIX_FMT_NONE;
}

AVCodecContext* openVideoEncoder(const AVCodec* codec, int width, int height, int fps,
                                 bool globalHeader, int& error)
{
    error = AVERROR_ENCODER_NOT_FOUND;
    const AVPixelFormat format = inputFormatOf(codec);
    if (format == AV_PIX_FMT_NONE)
        return nullptr;

    // Video-1 codes 4 × 4 blocks and refuses other sizes outright.
    const int firstBlock = codec->id == AV_CODEC_ID_MSVIDEO1 ? 4 : 1;
    int triedWidth = 0;
    int triedHeight = 0;
    for (int block = firstBlock; block <= 16; block *= 2) {
        const int w = roundUp(width, block);
        const int h = roundUp(height, block);
        if (w == triedWidth && h == triedHeight)
            continue;
        triedWidth = w;
        triedHeight = h;

        AVCodecContext* context = avcodec_alloc_context3(codec);
        if (!context) {
            error = AVERROR(ENOMEM);
            return nullptr;
        }
        context->width = w;
        context->height = h;
        context->pix_fmt = format;
        context->time_base = AVRational{1, fps};
        context->framerate = AVRational{fps, 1};
        context->sample_aspect_ratio = AVRational{1, 1};
        // Intra only: a group of one picture, no B-frames. A minimum key
        // interval of 0 is what makes Video-1 code every frame as a key frame.
        context->gop_size = 1;
        context->keyint_min = 0;
        context->max_b_frames = 0;
        context->thread_count = 0;
        if (takesFixedQuantiser(codec->id)) {
            context->flags |= AV_CODEC_FLAG_QSCALE;
            context->global_quality = FF_QP2LAMBDA * 4;
        }
        if (globalHeader)
            context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        error = avcodec_open2(context, codec, nullptr);
        if (error >= 0)
            return context;
        avcodec_free_context(&context);
    }
    return nullptr;
}

std::vector<TAVIEncoderInfo> AVIEncodersPresent(int width, int height)
{
    std::vector<TAVIEncoderInfo> encoders;
    QuietLog quiet;
    void* it = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&it)) {
        if (codec->id == AV_CODEC_ID_RAWVIDEO || !isAVIVideoEncoder(codec))
            continue;
        int error = 0;
        AVCodecContext* context =
            openVideoEncoder(codec, std::max(width, 1), std::max(height, 1), 15, false, error);
        if (!context)
            continue;
        avcodec_free_context(&context);
        encoders.push_back({codec->name, codec->long_name ? codec->long_name : codec->name});
    }
    std::sort(encoders.begin(), encoders.end(),
              [](const TAVIEncoderInfo& a, const TAVIEncoderInfo& b) { return a.Name < b.Name; });
    encoders.insert(encoders.begin(), {UncompressedAVIEncoder, "Uncompressed 24-bit RGB"});
    return encoders;
}

} // namespace skyglide
