#pragma once

#include "render/SceneObject.h"
#include "render/VectorGeometry.h"

#include <memory>

namespace skyglide {

class TCamera;
class TGLResourceOwner;
class TGLStateCache;
class TSceneBuffer;
struct TGLExtensions;

/// Counts of the expensive work a buffer has done since it was made: what
/// tests and the status of a session look at to tell a replay from a rebuild.
struct TRenderStatistics
{
    /// Frames rendered (not counting frames shown while frozen).
    long long FramesRendered = 0;
    /// Display lists compiled (each compile runs the object's geometry
    /// builder once).
    long long ListsCompiled = 0;
    /// Pictures converted and uploaded into a texture.
    long long TexturesUploaded = 0;
    /// Times texture parameters (filters, wrap, anisotropy) were applied.
    long long TextureParameterSets = 0;
};

/// What is being drawn: the normal picture, or a pass that only wants depth
/// or picking names (not used by the viewer).
enum class TDrawState { dsRendering, dsPicking, dsPrinting };

/// How an object hands a texture coordinate to OpenGL: glTexCoord2fv
/// normally; a render pass may substitute another routine (for a second
/// texture unit, say) for the duration of a frame.
using TTexCoordRoutine = void (*)(const float*);

/// What the render pass hands to every object it draws, for one frame.
struct TRenderContextInfo
{
    /// The buffer that renders.
    TSceneBuffer* Buffer = nullptr;
    /// What the context offers.
    const TGLExtensions* Extensions = nullptr;
    /// Where display lists and texture names of this context are made.
    std::shared_ptr<TGLResourceOwner> Resources;
    TRenderStatistics* Statistics = nullptr;
    /// The camera of the frame; its DepthOfView sets the length of the axes
    /// and the radius of the sky.
    TCamera* Camera = nullptr;
    /// Where the camera is in the world this frame (W = 1).
    TVector4f CameraPosition{0, 0, 0, 1};
    int ViewPortWidth = 0;
    int ViewPortHeight = 0;
    /// The scene's sorting and culling modes (an object's own value wins
    /// when it is not osInherited / vcInherited).
    TObjectsSorting ObjectsSorting = TObjectsSorting::osNone;
    TVisibilityCulling VisibilityCulling = TVisibilityCulling::vcNone;
    /// The buffer's cache of GL capabilities, material colours and texture
    /// bindings: every state change that may repeat goes through it.
    TGLStateCache* GLStates = nullptr;
    TDrawState DrawState = TDrawState::dsRendering;
    /// Helpers (the axes) leave blending alone when set.
    bool IgnoreBlendingRequests = false;
    /// Set while a display list is being compiled: objects below emit their
    /// geometry directly, and state-cache changes would not reach the driver
    /// at replay, so objects make their GL calls directly in this phase.
    bool Compiling = false;
    TTexCoordRoutine TexCoord2fv = nullptr;
    /// The modelview of the camera alone (the frame's base matrix), or of the
    /// camera-invariant object being drawn: what its children start from.
    TMatrix4f BaseMatrix;
};

} // namespace skyglide
