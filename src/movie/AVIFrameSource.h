#pragma once

#include <cstdint>
#include <vector>

namespace skyglide {

class TBitmap;

/// One frame read back from a viewer: 4 bytes per pixel (red, green, blue,
/// alpha, the order in which OpenGL reads back RGBA), rows from the bottom of
/// the picture to its top, no padding between rows. Pixels holds at least
/// Width × Height × 4 bytes. Alpha is ignored.
struct TAVISnapshot
{
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Pixels;
};

/// Where the movie recorder takes its frames from: a viewer's render buffer.
///
/// The recorder calls exactly one of these per frame, chosen by its image
/// retrieval mode, on the thread that calls TAVIRecorder::AddMovieFrame().
/// An implementation makes its rendering context current as it needs and
/// releases it again, also when it throws; an exception passes out of
/// AddMovieFrame() and no frame is written.
///
/// The recorder does not own its source: a viewer that goes away first must
/// clear itself from the recorder (SetSceneViewer(nullptr)).
class TAVIFrameSource
{
public:
    virtual ~TAVIFrameSource() = default;

    /// irmSnapShot: the viewer's current frame as it is on screen, of the
    /// viewer's own size (the recorder draws it at the top-left corner of its
    /// frame and clips what does not fit). `image` is the recorder's buffer,
    /// kept from frame to frame so that its storage can be reused; an empty
    /// image (0 × 0) leaves the frame as it was.
    virtual void SnapShot(TAVISnapshot& image) = 0;

    /// irmRenderToBitmap: renders the scene into `bitmap` at `dpi` (the value
    /// given to TAVIRecorder::OpenMovieFile(); 0 means the screen's). The
    /// bitmap is 24-bit with the movie's frame size; it must keep its size
    /// and format.
    virtual void RenderToBitmap(TBitmap& bitmap, int dpi) = 0;

    /// irmBitBlt: copies the current framebuffer's rectangle from (0, 0)
    /// with the bitmap's width and height into `bitmap` (24-bit, top row
    /// first), keeping its size and format.
    virtual void CopyFrameBuffer(TBitmap& bitmap) = 0;
};

} // namespace skyglide
