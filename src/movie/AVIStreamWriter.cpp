#include "movie/AVIStreamWriter.h"

#include "movie/AVIEncoders.h"
#include "movie/AVIRecorder.h"
#include "movie/VideoEncoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace skyglide {

namespace {

const char* const kCannotCreateFile = "Cannot create AVI file. Disk full or file in use?";
const char* const kCannotCreateStream = "Cannot create AVI stream.";
const char* const kCannotMakeCompressed = "Cannot make compressed stream. ";
const char* const kNoSuchCompressor = "No such compressor found";
const char* const kSetFormatError = "AVIStreamSetFormat Error";
const char* const kAddFrameError = "Add Frame Error";

std::size_t dibStride(int width)
{
    return (std::size_t(width) * 24 + 31) / 32 * 4;
}

} // namespace

struct TAVIStreamWriter::Private
{
    AVFormatContext* format = nullptr;
    AVStream* stream = nullptr;
    AVCodecContext* encoder = nullptr; // null: bitmaps are written as they are
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::vector<std::uint8_t> padded; // top row first, when the frame is copied
    int width = 0;
    int height = 0;
    int fps = 0;
    bool created = false;
    bool headerWritten = false;

    ~Private() { release(); }

    void release()
    {
        if (format) {
            if (format->pb)
                avio_closep(&format->pb);
            avformat_free_context(format);
            format = nullptr;
        }
        stream = nullptr;
        avcodec_free_context(&encoder);
        sws_freeContext(scaler);
        scaler = nullptr;
        av_frame_free(&frame);
        av_packet_free(&packet);
    }

    // Writes every packet the encoder has ready. Returns a libav error or 0.
    int writePackets() { return writeEncodedPackets(encoder, format, stream, packet); }

    // The frame's rows as the scaler reads them: top row first. The bitmap
    // is read upwards in place when the encoder takes it at its own, even
    // size. Otherwise it is copied into `padded`, whose extra columns and
    // rows repeat the right and bottom edges: the encoder's padding codes as
    // cleanly as the picture, and the scaler, which takes pixels in pairs
    // for subsampled colour, never pairs an odd last pixel with anything but
    // itself.
    void source(const std::uint8_t* bits, const std::uint8_t*& rows, int& stride)
    {
        const std::size_t dib = dibStride(width);
        if (padded.empty()) {
            rows = bits + dib * std::size_t(height - 1);
            stride = -int(dib);
            return;
        }
        const int paddedWidth = (encoder->width + 1) / 2 * 2;
        const int paddedHeight = (encoder->height + 1) / 2 * 2;
        const std::size_t line = std::size_t(paddedWidth) * 3;
        for (int y = 0; y < paddedHeight; ++y) {
            std::uint8_t* out = padded.data() + line * std::size_t(y);
            const std::uint8_t* in = bits + dib * std::size_t(height - 1 - std::min(y, height - 1));
            std::memcpy(out, in, std::size_t(width) * 3);
            for (int x = width; x < paddedWidth; ++x)
                std::memcpy(out + std::size_t(x) * 3, in + std::size_t(width - 1) * 3, 3);
        }
        rows = padded.data();
        stride = int(line);
    }
};

TAVIStreamWriter::TAVIStreamWriter() : d(std::make_unique<Private>()) {}

TAVIStreamWriter::~TAVIStreamWriter() = default;

void TAVIStreamWriter::CreateFile(const std::string& fileName, const std::string& shownName)
{
    if (avformat_alloc_output_context2(&d->format, nullptr, "avi", nullptr) < 0 || !d->format)
        throw EAVIRecorderError(kCannotCreateFile);
    // The "file:" prefix keeps a name with a colon from being read as a URL.
    // The message guesses; the system's reason says what happened.
    if (const int error = avio_open(&d->format->pb, ("file:" + fileName).c_str(), AVIO_FLAG_WRITE);
        error < 0)
        throw EAVIRecorderError(std::string(kCannotCreateFile) + " (" +
                                (shownName.empty() ? fileName : shownName) + ": " +
                                libavErrorText(error) + ")");
    d->created = true;
}

bool TAVIStreamWriter::Created() const
{
    return d->created;
}

void TAVIStreamWriter::CreateStream(int width, int height, int fps)
{
    // A frame must fit into one RIFF chunk of an OpenDML file (1 GiB).
    if (!d->format || width < 1 || height < 1 || fps < 1 ||
        dibStride(width) * std::size_t(height) > (std::size_t(1) << 30) - 4096)
        throw EAVIRecorderError(kCannotCreateStream);
    d->stream = avformat_new_stream(d->format, nullptr);
    if (!d->stream)
        throw EAVIRecorderError(kCannotCreateStream);
    d->stream->time_base = AVRational{1, fps};
    d->stream->avg_frame_rate = AVRational{fps, 1};
    d->stream->r_frame_rate = AVRational{fps, 1};
    d->width = width;
    d->height = height;
    d->fps = fps;
}

void TAVIStreamWriter::MakeCompressedStream(const std::string& encoder, std::uint32_t fourCC)
{
    if (!d->stream)
        throw EAVIRecorderError(kCannotMakeCompressed);
    d->packet = av_packet_alloc();
    if (!d->packet)
        throw EAVIRecorderError(kCannotMakeCompressed);
    AVCodecParameters* par = d->stream->codecpar;

    if (encoder == UncompressedAVIEncoder) {
        // Bitmaps go in as they are: bottom row first, which the header
        // states with a positive height.
        if (av_opt_set_int(d->format->priv_data, "flipped_raw_rgb", 1, 0) < 0)
            throw EAVIRecorderError(kCannotMakeCompressed);
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_RAWVIDEO;
        par->codec_tag = 0;
        par->format = AV_PIX_FMT_BGR24;
        par->bits_per_coded_sample = 24;
        par->width = d->width;
        par->height = d->height;
        return;
    }

    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
        throw EAVIRecorderError(std::string(kCannotMakeCompressed) + kNoSuchCompressor);
    if (!isAVIVideoEncoder(codec))
        throw EAVIRecorderError(kCannotMakeCompressed);
    int error = 0;
    d->encoder = openVideoEncoder(codec, d->width, d->height, d->fps,
                                  d->format->oformat->flags & AVFMT_GLOBALHEADER, error);
    if (!d->encoder || avcodec_parameters_from_context(par, d->encoder) < 0)
        throw EAVIRecorderError(kCannotMakeCompressed);
    par->codec_tag = fourCC;

    const int codedWidth = d->encoder->width;
    const int codedHeight = d->encoder->height;
    d->frame = av_frame_alloc();
    if (!d->frame)
        throw EAVIRecorderError(kCannotMakeCompressed);
    d->frame->format = d->encoder->pix_fmt;
    d->frame->width = codedWidth;
    d->frame->height = codedHeight;
    if (av_frame_get_buffer(d->frame, 0) < 0)
        throw EAVIRecorderError(kCannotMakeCompressed);
    d->scaler = sws_getContext(codedWidth, codedHeight, AV_PIX_FMT_BGR24, codedWidth, codedHeight,
                               d->encoder->pix_fmt, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!d->scaler)
        throw EAVIRecorderError(kCannotMakeCompressed);
    if (codedWidth != d->width || codedHeight != d->height || codedWidth % 2 || codedHeight % 2)
        d->padded.resize(std::size_t((codedWidth + 1) / 2 * 2) * 3 *
                         std::size_t((codedHeight + 1) / 2 * 2));
}

void TAVIStreamWriter::SetFormat()
{
    if (!d->stream || avformat_write_header(d->format, nullptr) < 0)
        throw EAVIRecorderError(kSetFormatError);
    d->headerWritten = true;
    // Find out now, not at the first frame, when the disk takes nothing.
    avio_flush(d->format->pb);
    if (d->format->pb->error < 0)
        throw EAVIRecorderError(kSetFormatError);
}

void TAVIStreamWriter::Write(const std::uint8_t* bits, std::int64_t index)
{
    if (!d->headerWritten)
        throw EAVIRecorderError(kAddFrameError);
    int error = 0;
    if (!d->encoder) {
        AVPacket* packet = d->packet;
        packet->data = const_cast<std::uint8_t*>(bits);
        packet->size = int(dibStride(d->width) * std::size_t(d->height));
        packet->pts = packet->dts =
            av_rescale_q(index, AVRational{1, d->fps}, d->stream->time_base);
        packet->duration = av_rescale_q(1, AVRational{1, d->fps}, d->stream->time_base);
        packet->flags = AV_PKT_FLAG_KEY;
        packet->stream_index = d->stream->index;
        error = av_write_frame(d->format, packet);
        packet->data = nullptr;
        packet->size = 0;
    } else {
        const std::uint8_t* rows = nullptr;
        int stride = 0;
        d->source(bits, rows, stride);
        error = av_frame_make_writable(d->frame);
        if (error >= 0) {
            sws_scale(d->scaler, &rows, &stride, 0, d->encoder->height, d->frame->data,
                      d->frame->linesize);
            d->frame->pts = index;
            d->frame->pict_type = AV_PICTURE_TYPE_I;
            error = avcodec_send_frame(d->encoder, d->frame);
        }
        if (error >= 0)
            error = d->writePackets();
    }
    if (error >= 0 && d->format->pb->error < 0)
        error = d->format->pb->error;
    if (error < 0)
        throw EAVIRecorderError(kAddFrameError);
}

std::string TAVIStreamWriter::Finish()
{
    if (!d->format || !d->headerWritten) {
        d->release();
        return "the movie was not opened";
    }
    int error = 0;
    if (d->encoder) {
        error = avcodec_send_frame(d->encoder, nullptr);
        if (error >= 0)
            error = d->writePackets();
    }
    const int trailer = av_write_trailer(d->format);
    if (error >= 0)
        error = trailer;
    if (error >= 0 && d->format->pb->error < 0)
        error = d->format->pb->error;
    const int closed = avio_closep(&d->format->pb);
    if (error >= 0)
        error = closed;
    d->release();
    return error < 0 ? libavErrorText(error) : std::string();
}

void TAVIStreamWriter::Abandon()
{
    d->release();
}

std::string TAVIStreamWriter::FileError() const
{
    if (!d->format || !d->format->pb || d->format->pb->error >= 0)
        return {};
    return libavErrorText(d->format->pb->error);
}

} // namespace skyglide
