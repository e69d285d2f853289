#include "movie/AVIEncoders.h"
#include "movie/AVIRecorder.h"
#include "movie/AVIStreamWriter.h"
#include "movie/MovieEncoder.h"

#include <functional>
#include <vector>

namespace skyglide {

namespace {

// The AVI formats are Save as AVI's own stream writer with its compressors,
// so a rendered AVI is the same kind of file as a saved one.
class TAVIMovieEncoder : public TMovieEncoder
{
public:
    TAVIMovieEncoder(const TMovieSettings& settings, const std::string& output)
        : m_settings(settings), m_stride((std::size_t(settings.Width) * 24 + 31) / 32 * 4),
          m_bits(m_stride * std::size_t(settings.Height))
    {
        std::string encoder = UncompressedAVIEncoder;
        std::uint32_t fourCC = 0;
        if (settings.Format == TMovieFormat::mfAVIMSVC) {
            encoder = "msvideo1";
            fourCC = MakeFourCC('M', 'S', 'V', 'C');
        } else if (settings.Format == TMovieFormat::mfAVIDivX) {
            encoder = "mpeg4";
            fourCC = MakeFourCC('d', 'i', 'v', 'x');
        }
        run([&] {
            m_stream.CreateFile(output);
            m_stream.CreateStream(settings.Width, settings.Height, settings.FPS);
            m_stream.MakeCompressedStream(encoder, fourCC);
            m_stream.SetFormat();
        });
    }

    void Write(const TRGBFrame& frame, int index) override
    {
        packRGB24(frame, m_bits.data(), m_stride, true, true);
        run([&] { m_stream.Write(m_bits.data(), index); });
    }

    void Finish() override
    {
        const std::string failure = m_stream.Finish();
        if (!failure.empty())
            throwCannotWrite(m_settings, failure);
    }

private:
    // The stream writer speaks in the recorder's messages; a full disk or a
    // refusing folder shows in its file's error.
    void run(const std::function<void()>& step)
    {
        try {
            step();
        } catch (const EAVIRecorderError& e) {
            const std::string reason = m_stream.FileError();
            if (!reason.empty())
                throwCannotWrite(m_settings, reason);
            throwCannotEncode(m_settings, e.what());
        }
    }

    TMovieSettings m_settings;
    TAVIStreamWriter m_stream;
    std::size_t m_stride;
    std::vector<std::uint8_t> m_bits; // the frame as a bitmap: rows bottom first, padded
};

} // namespace

std::unique_ptr<TMovieEncoder> makeAVIEncoder(const TMovieSettings& settings,
                                              const std::string& output)
{
    return std::make_unique<TAVIMovieEncoder>(settings, output);
}

} // namespace skyglide
