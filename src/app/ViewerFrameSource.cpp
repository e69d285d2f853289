#include "app/ViewerFrameSource.h"

#include "data/Bitmap.h"
#include "render/SceneViewer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace skyglide {

void TViewerFrameSource::renderAndRead()
{
    m_viewer.RenderFrame();
    for (int i = 0; i < MaxDetailFrames && DetailPending && DetailPending(); ++i)
        m_viewer.RenderFrame();
    m_viewer.Buffer().ReadFrameImage(m_readBack);
    const int readWidth = m_readBack.Width();
    const int width = std::max(readWidth, m_viewer.Buffer().Width());
    const int height = m_readBack.Height();
    m_picture.Width = width;
    m_picture.Height = height;
    m_picture.Pixels.resize(std::size_t(width) * std::size_t(height) * 4);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = m_picture.Pixels.data() + std::size_t(y) * std::size_t(width) * 4;
        if (readWidth == 0) {
            std::fill(out, out + std::size_t(width) * 4, std::uint8_t(0));
            continue;
        }
        const std::uint8_t* in = m_readBack.ScanLine(y);
        std::memcpy(out, in, std::size_t(readWidth) * 4);
        const std::uint8_t* last = in + std::size_t(readWidth - 1) * 4;
        for (int x = readWidth; x < width; ++x)
            std::memcpy(out + std::size_t(x) * 4, last, 4);
    }
}

void TViewerFrameSource::SnapShot(TAVISnapshot& image)
{
    renderAndRead();
    // The recorder's buffer comes back for the next frame.
    std::swap(image, m_picture);
}

void TViewerFrameSource::RenderToBitmap(TBitmap& bitmap, int /*dpi*/)
{
    renderAndRead();
    drawInto(bitmap);
}

void TViewerFrameSource::CopyFrameBuffer(TBitmap& bitmap)
{
    renderAndRead();
    drawInto(bitmap);
}

void TViewerFrameSource::drawInto(TBitmap& bitmap) const
{
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit)
        throw std::invalid_argument(
            "TViewerFrameSource: expected a 24-bit frame bitmap but got another pixel format");
    const TAVISnapshot& picture = m_picture;
    const int width = std::min(picture.Width, bitmap.Width());
    const int height = std::min(picture.Height, bitmap.Height());
    const std::size_t line = std::size_t(picture.Width) * 4;
    for (int y = 0; y < height; ++y) {
        // The picture runs bottom first, the bitmap top first.
        const std::uint8_t* in = picture.Pixels.data() + line * std::size_t(picture.Height - 1 - y);
        std::uint8_t* out = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
}

} // namespace skyglide
