#pragma once

#include "movie/AVIFrameSource.h"
#include "render/Bitmap32.h"

namespace skyglide {

class TSceneViewer;

// The scene viewer as the movie recorder's frame source.
//
// Every mode renders a frame of the current pose for the purpose
// (TSceneViewer::RenderFrame) and reads it back from the viewer's
// framebuffer (ReadFrameImage: the viewer's height and its width rounded
// down to a multiple of 4, rows bottom first), so a frame always shows the
// pose applied just before it, whenever the window's next paint comes.
// The window then shows that frame without drawing it again.
//
// - irmSnapShot hands the read-back to the recorder as it is;
// - irmRenderToBitmap and irmBitBlt draw the same read-back into the
//   recorder's 24-bit bitmap at its top-left corner, clipped; the columns
//   and rows it does not cover keep their previous content (the dpi of
//   irmRenderToBitmap plays no part: the viewer renders at its own size).
//
// Errors of the render (a GL error) pass to the caller.
class TViewerFrameSource : public TAVIFrameSource
{
public:
    explicit TViewerFrameSource(TSceneViewer& viewer) : m_viewer(viewer) {}

    void SnapShot(TAVISnapshot& image) override;
    void RenderToBitmap(TBitmap& bitmap, int dpi) override;
    void CopyFrameBuffer(TBitmap& bitmap) override;

private:
    void renderAndRead();
    void drawInto(TBitmap& bitmap) const;

    TSceneViewer& m_viewer;
    TBitmap32 m_image;
};

} // namespace skyglide
