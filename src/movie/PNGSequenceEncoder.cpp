#include "movie/MovieEncoder.h"
#include "movie/VideoEncoder.h"

#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace skyglide {

namespace {

// One PNG picture per frame, frame-000001.png onwards. The pictures hold the
// frames' pixels exactly and nothing that changes from run to run (no time,
// no software version), so the same frames give the same files byte for byte.
class TPNGSequenceEncoder : public TMovieEncoder
{
public:
    TPNGSequenceEncoder(const TMovieSettings& settings, const std::string& folder)
        : m_settings(settings), m_folder(folder)
    {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
        if (!codec)
            throwCannotEncode(settings, "this FFmpeg has no PNG encoder");
        m.Encoder = avcodec_alloc_context3(codec);
        m.Frame = av_frame_alloc();
        m.Packet = av_packet_alloc();
        if (!m.Encoder || !m.Frame || !m.Packet)
            throwCannotEncode(settings, libavErrorText(AVERROR(ENOMEM)));
        m.Encoder->width = settings.Width;
        m.Encoder->height = settings.Height;
        m.Encoder->pix_fmt = AV_PIX_FMT_RGB24;
        m.Encoder->time_base = AVRational{1, settings.FPS};
        m.Encoder->thread_count = 0;
        if (const int error = avcodec_open2(m.Encoder, codec, nullptr); error < 0)
            throwCannotEncode(settings, libavErrorText(error));
        m.Frame->format = AV_PIX_FMT_RGB24;
        m.Frame->width = settings.Width;
        m.Frame->height = settings.Height;
        if (const int error = av_frame_get_buffer(m.Frame, 0); error < 0)
            throwCannotEncode(settings, libavErrorText(error));
    }

    void Write(const TRGBFrame& frame, int index) override
    {
        int error = av_frame_make_writable(m.Frame);
        if (error >= 0) {
            packRGB24(frame, m.Frame->data[0], std::size_t(m.Frame->linesize[0]), false, false);
            m.Frame->pts = index;
            error = avcodec_send_frame(m.Encoder, m.Frame);
        }
        if (error < 0)
            throwCannotEncode(m_settings, libavErrorText(error));
        drain();
    }

    void Finish() override
    {
        if (const int error = avcodec_send_frame(m.Encoder, nullptr); error < 0)
            throwCannotEncode(m_settings, libavErrorText(error));
        drain();
    }

private:
    void drain()
    {
        for (;;) {
            const int error = avcodec_receive_packet(m.Encoder, m.Packet);
            if (error == AVERROR(EAGAIN) || error == AVERROR_EOF)
                return;
            if (error < 0)
                throwCannotEncode(m_settings, libavErrorText(error));
            char name[32];
            std::snprintf(name, sizeof name, "/frame-%06lld.png",
                          static_cast<long long>(m.Packet->pts) + 1);
            try {
                writeWholeFile(m_settings, m_folder + name, m.Packet->data,
                               std::size_t(m.Packet->size));
            } catch (...) {
                av_packet_unref(m.Packet);
                throw;
            }
            av_packet_unref(m.Packet);
        }
    }

    TMovieSettings m_settings;
    std::string m_folder;
    TEncoderResources m; // freed also when the constructor fails
};

} // namespace

std::unique_ptr<TMovieEncoder> makePNGEncoder(const TMovieSettings& settings,
                                              const std::string& output)
{
    return std::make_unique<TPNGSequenceEncoder>(settings, output);
}

} // namespace skyglide
