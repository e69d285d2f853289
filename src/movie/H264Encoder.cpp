#include "movie/MovieEncoder.h"
#include "movie/VideoEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace skyglide {

namespace {

// x264's speed against size and memory. "veryfast" keeps a movie ahead of
// the renderer on two cores; at CRF 18 its pictures look the same as those
// of slower presets, only the file is somewhat larger. Each frame x264 holds
// in flight costs it about 5.5 bytes a pixel (45 MB at 3840 x 2160), so its
// threads share the slices of one frame instead of holding a frame each, and
// the look-ahead and B-frames, worth about a third of the file's size, are
// kept only up to full-HD: beyond it they would take 600 MB. Beyond full-HD
// the motion search also stays on whole pixels, which spares the three
// half-pixel copies of each frame (about 50 MB at 3840 x 2160) for a file
// some 15 % larger at the same quality, and one thread encodes, sparing the
// others' working rows (17 MB): the encoder then takes a core while the
// renderer waits, a movie beyond full-HD is rendered more slowly.
const char* const kPreset = "veryfast";
constexpr int kLookAheadPixels = 1920 * 1080;
const char* const kFramesInFlight = "sliced-threads=1:rc-lookahead=10:bframes=2";
const char* const kOneFrameInFlight =
    "threads=1:rc-lookahead=0:bframes=0:mbtree=0:subme=0";

class TH264Encoder : public TMovieEncoder
{
public:
    TH264Encoder(const TMovieSettings& settings, const std::string& output) : m_settings(settings)
    {
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec)
            throwCannotEncode(settings, "this FFmpeg has no H.264 encoder (libx264)");
        // The "file:" prefix keeps a name with a colon from being read as a
        // URL; the muxer opens the file again by this name to move the index
        // to the front.
        const std::string url = "file:" + output;
        if (avformat_alloc_output_context2(&m.Format, nullptr, "mp4", url.c_str()) < 0 || !m.Format)
            throwCannotEncode(settings, "this FFmpeg has no MP4 writer");
        if (const int error = avio_open(&m.Format->pb, url.c_str(), AVIO_FLAG_WRITE); error < 0)
            throwCannotWrite(settings, libavErrorText(error));
        m.Stream = avformat_new_stream(m.Format, nullptr);
        m.Encoder = avcodec_alloc_context3(codec);
        m.Packet = av_packet_alloc();
        m.Frame = av_frame_alloc();
        if (!m.Stream || !m.Encoder || !m.Packet || !m.Frame)
            throwCannotEncode(settings, libavErrorText(AVERROR(ENOMEM)));

        m.Encoder->width = settings.Width;
        m.Encoder->height = settings.Height;
        m.Encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        m.Encoder->time_base = AVRational{1, settings.FPS};
        m.Encoder->framerate = AVRational{settings.FPS, 1};
        m.Encoder->sample_aspect_ratio = AVRational{1, 1};
        // The frames are converted with the HD matrix into studio range, and
        // the stream says so, so that players show the colours rendered.
        m.Encoder->color_range = AVCOL_RANGE_MPEG;
        m.Encoder->colorspace = AVCOL_SPC_BT709;
        m.Encoder->color_primaries = AVCOL_PRI_BT709;
        m.Encoder->color_trc = AVCOL_TRC_BT709;
        m.Encoder->thread_count = 0;
        if (m.Format->oformat->flags & AVFMT_GLOBALHEADER)
            m.Encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        av_opt_set(m.Encoder->priv_data, "preset", kPreset, 0);
        av_opt_set(m.Encoder->priv_data, "x264-params",
                   settings.Width * settings.Height > kLookAheadPixels ? kOneFrameInFlight
                                                                       : kFramesInFlight,
                   0);
        av_opt_set_double(m.Encoder->priv_data, "crf", settings.Quality, 0);
        if (const int error = avcodec_open2(m.Encoder, codec, nullptr); error < 0)
            throwCannotEncode(settings, "libx264 refused " + std::to_string(settings.Width) + "x" +
                                            std::to_string(settings.Height) + " at " +
                                            std::to_string(settings.FPS) +
                                            " frames/s: " + libavErrorText(error));
        if (avcodec_parameters_from_context(m.Stream->codecpar, m.Encoder) < 0)
            throwCannotEncode(settings, libavErrorText(AVERROR(ENOMEM)));
        m.Stream->time_base = m.Encoder->time_base;
        m.Stream->avg_frame_rate = m.Encoder->framerate;

        m.Frame->format = AV_PIX_FMT_YUV420P;
        m.Frame->width = settings.Width;
        m.Frame->height = settings.Height;
        m.Frame->color_range = m.Encoder->color_range;
        m.Frame->colorspace = m.Encoder->colorspace;
        if (const int error = av_frame_get_buffer(m.Frame, 0); error < 0)
            throwCannotEncode(settings, libavErrorText(error));

        AVDictionary* options = nullptr;
        av_dict_set(&options, "movflags", "+faststart", 0);
        const int error = avformat_write_header(m.Format, &options);
        av_dict_free(&options);
        if (error < 0)
            fail(error);
    }

    void Write(const TRGBFrame& frame, int index) override
    {
        const AVPixelFormat source = frame.BytesPerPixel == 4 ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
        if (!m.Scaler || source != m_source) {
            sws_freeContext(m.Scaler);
            m.Scaler = sws_getContext(frame.Width, frame.Height, source, frame.Width, frame.Height,
                                      AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr,
                                      nullptr, nullptr);
            if (!m.Scaler)
                throwCannotEncode(m_settings, "no conversion of its frames to yuv420p");
            const int* hd = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(m.Scaler, hd, 1, hd, 0, 0, 1 << 16, 1 << 16);
            m_source = source;
        }
        int error = av_frame_make_writable(m.Frame);
        if (error < 0)
            throwCannotEncode(m_settings, libavErrorText(error));
        const std::uint8_t* rows = frame.topRow();
        const int step = int(frame.rowStep());
        sws_scale(m.Scaler, &rows, &step, 0, frame.Height, m.Frame->data, m.Frame->linesize);
        m.Frame->pts = index;
        error = avcodec_send_frame(m.Encoder, m.Frame);
        if (error < 0)
            throwCannotEncode(m_settings, libavErrorText(error));
        drain();
    }

    void Finish() override
    {
        int error = avcodec_send_frame(m.Encoder, nullptr);
        if (error < 0)
            throwCannotEncode(m_settings, libavErrorText(error));
        drain();
        error = av_write_trailer(m.Format);
        if (error < 0 || m.Format->pb->error < 0)
            fail(error);
        error = avio_closep(&m.Format->pb);
        if (error < 0)
            throwCannotWrite(m_settings, libavErrorText(error));
    }

private:
    void drain()
    {
        if (const int error = writeEncodedPackets(m.Encoder, m.Format, m.Stream, m.Packet, 1);
            error < 0 || m.Format->pb->error < 0)
            fail(error);
    }

    // A failure of the file shows in its I/O context; anything else is the
    // encoder's or the muxer's.
    [[noreturn]] void fail(int error)
    {
        if (m.Format->pb && m.Format->pb->error < 0)
            throwCannotWrite(m_settings, libavErrorText(m.Format->pb->error));
        throwCannotEncode(m_settings, libavErrorText(error));
    }

    TMovieSettings m_settings;
    TEncoderResources m; // freed also when the constructor fails
    AVPixelFormat m_source = AV_PIX_FMT_NONE;
};

} // namespace

std::unique_ptr<TMovieEncoder> makeH264Encoder(const TMovieSettings& settings,
                                               const std::string& output)
{
    return std::make_unique<TH264Encoder>(settings, output);
}

} // namespace skyglide
