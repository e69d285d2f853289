#pragma once

#include "movie/AVIFrameSource.h"
#include "render/Bitmap32.h"

#include <functional>

namespace skyglide {

class TSceneViewer;

// The scene viewer as the movie recorder's frame source.
//
// Every mode renders a frame of the current pose for the purpose
// (TSceneViewer::RenderFrame) and reads it back from the viewer's
// framebuffer (ReadFrameImage), so a frame always shows the pose applied
// just before it, whenever the window's next paint comes. The window then
// shows that frame without drawing it again.
//
// The read-back is the viewer's width rounded down to a multiple of 4; the
// one to three columns it leaves out at the right repeat its last column,
// so that a movie of a view of any width has no black stripe at its right
// edge.
//
// - irmSnapShot hands that picture to the recorder;
// - irmRenderToBitmap and irmBitBlt draw the same picture into the
//   recorder's 24-bit bitmap at its top-left corner, clipped; what it does
//   not cover keeps its previous content (the dpi of irmRenderToBitmap plays
//   no part: the viewer renders at its own size).
//
// A movie frame shows the scene complete: while DetailPending says that a
// frame drawn again would show more (tiles of the level-of-detail surface
// still being made), the frame is drawn again; at most MaxDetailFrames times.
//
// Errors of the render (a GL error) pass to the caller.
class TViewerFrameSource : public TAVIFrameSource
{
public:
    static constexpr int MaxDetailFrames = 100;

    explicit TViewerFrameSource(TSceneViewer& viewer) : m_viewer(viewer) {}

    // Waits until a frame drawn now would show more detail, and says whether
    // it would; unset, every frame is drawn once.
    std::function<bool()> DetailPending;

    void SnapShot(TAVISnapshot& image) override;
    void RenderToBitmap(TBitmap& bitmap, int dpi) override;
    void CopyFrameBuffer(TBitmap& bitmap) override;

private:
    void renderAndRead();
    void drawInto(TBitmap& bitmap) const;

    TSceneViewer& m_viewer;
    TBitmap32 m_readBack;
    TAVISnapshot m_picture;
};

} // namespace skyglide
