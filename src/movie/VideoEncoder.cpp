#include "movie/VideoEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libswscale/swscale.h>
}

namespace skyglide {

int writeEncodedPackets(AVCodecContext* encoder, AVFormatContext* format, AVStream* stream,
                        AVPacket* packet, std::int64_t frameDuration)
{
    for (;;) {
        int error = avcodec_receive_packet(encoder, packet);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF)
            return 0;
        if (error < 0)
            return error;
        if (packet->duration == 0)
            packet->duration = frameDuration;
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        error = av_write_frame(format, packet);
        av_packet_unref(packet);
        if (error < 0)
            return error;
    }
}

TEncoderResources::~TEncoderResources()
{
    if (Format) {
        if (Format->pb)
            avio_closep(&Format->pb);
        avformat_free_context(Format);
    }
    avcodec_free_context(&Encoder);
    sws_freeContext(Scaler);
    av_frame_free(&Frame);
    av_packet_free(&Packet);
}

std::string libavErrorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

} // namespace skyglide
