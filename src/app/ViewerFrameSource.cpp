#include "app/ViewerFrameSource.h"

#include "data/Bitmap.h"
#include "render/SceneViewer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace skyglide {

void TViewerFrameSource::renderAndRead()
{
    m_viewer.RenderFrame();
    m_viewer.Buffer().ReadFrameImage(m_image);
}

void TViewerFrameSource::SnapShot(TAVISnapshot& image)
{
    renderAndRead();
    image.Width = m_image.Width();
    image.Height = m_image.Height();
    image.Pixels.resize(m_image.DataSize());
    if (m_image.DataSize() > 0)
        std::memcpy(image.Pixels.data(), m_image.Data(), m_image.DataSize());
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
    const int width = std::min(m_image.Width(), bitmap.Width());
    const int height = std::min(m_image.Height(), bitmap.Height());
    for (int y = 0; y < height; ++y) {
        // The read-back runs bottom first, the bitmap top first.
        const std::uint8_t* in = m_image.ScanLine(m_image.Height() - 1 - y);
        std::uint8_t* out = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
}

} // namespace skyglide
