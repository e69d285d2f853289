#pragma once

// The render pass's knowledge of the GL state: which capabilities are on,
// the material colours and the bound textures, so that repeated changes do
// not reach the driver; what the context offers (version, extensions,
// limits); and the GL error check.
//
// GL names are passed as unsigned int (GLenum, GLuint) so that this header
// does not pull GL/gl.h into every file that includes it.

#include "render/Flags.h"
#include "render/VectorGeometry.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace skyglide {

/// The GL capabilities the state cache tracks, one bit each.
enum class TGLState : std::uint32_t {
    stAlphaTest = 1u << 0,
    stAutoNormal = 1u << 1,
    stBlend = 1u << 2,
    stColorMaterial = 1u << 3,
    stCullFace = 1u << 4,
    stDepthTest = 1u << 5,
    stDither = 1u << 6,
    stFog = 1u << 7,
    stLighting = 1u << 8,
    stLineSmooth = 1u << 9,
    stLineStipple = 1u << 10,
    stLogicOp = 1u << 11,
    stNormalize = 1u << 12,
    stPointSmooth = 1u << 13,
    stPolygonSmooth = 1u << 14,
    stPolygonStipple = 1u << 15,
    stScissorTest = 1u << 16,
    stStencilTest = 1u << 17,
    stTexture1D = 1u << 18,
    stTexture2D = 1u << 19,
    stPolygonOffsetFill = 1u << 20,
};
using TGLStates = TFlags<TGLState>;

/// The GL name (GL_ALPHA_TEST, …) of a tracked capability.
unsigned int GLStateName(TGLState state);

/// What the current context offers, read once when the buffer takes it.
struct TGLExtensions
{
    int MajorVersion = 0;
    int MinorVersion = 0;
    /// GL_EXT_texture_filter_anisotropic (or its ARB twin).
    bool TextureFilterAnisotropic = false;
    /// GL_SGIS_generate_mipmap: the driver builds the mipmaps of an upload.
    bool GenerateMipmap = false;
    /// OpenGL 1.2, GL_EXT_texture_edge_clamp or GL_SGIS_texture_edge_clamp.
    bool TextureEdgeClamp = false;
    /// GL_ARB/EXT/NV_texture_rectangle: its target may be disabled.
    bool TextureRectangle = false;
    /// The renderer draws on the processor (GL_RENDERER names a software
    /// rasteriser), where anisotropic sampling is paid for per pixel.
    bool SoftwareRenderer = false;
    int MaxTextureSize = 64;
    int MaxLights = 8;
    int BlueBits = 8;

    bool AtLeast(int major, int minor) const
    {
        return MajorVersion > major || (MajorVersion == major && MinorVersion >= minor);
    }

    /// Reads the version, the extension string and the limits of the current
    /// context.
    static TGLExtensions Detect();
    /// Parses a GL_VERSION string ("4.5 (Compatibility Profile) Mesa 22.3.6",
    /// "1.1.0"): false when it does not start with major.minor.
    static bool ParseVersion(const char* text, int& major, int& minor);
    /// Whether the blank-separated extension list holds name as a whole word.
    static bool HasExtension(const char* list, const char* name);
    /// Whether a GL_RENDERER string names a software rasteriser ("llvmpipe
    /// (LLVM 15.0.6, 256 bits)", "softpipe", "Software Rasterizer").
    static bool IsSoftwareRenderer(const char* renderer);
};

/// An OpenGL error, raised with GLU's text for the first error code found.
class TOpenGLError : public std::runtime_error
{
public:
    explicit TOpenGLError(const std::string& text, unsigned int code = 0)
        : std::runtime_error(text), m_code(code)
    {
    }
    unsigned int Code() const { return m_code; }

private:
    unsigned int m_code;
};

/// Reads glGetError; when it reports an error, reads and discards up to six
/// more and throws TOpenGLError with gluErrorString's text of the first
/// (unless the checks are switched off, when it only clears them).
void CheckOpenGLError();
/// Reads and discards pending errors (at most seven reads).
void ClearOpenGLErrors();
/// The process-wide switch of CheckOpenGLError's exceptions (on by default).
void SetOpenGLErrorExceptions(bool on);
bool OpenGLErrorExceptions();

/// Material colours as the fixed-function pipeline holds them for both faces.
struct TGLMaterialColors
{
    TVector4f Emission{0, 0, 0, 1};
    TVector4f Ambient{0.2f, 0.2f, 0.2f, 1};
    TVector4f Diffuse{0.8f, 0.8f, 0.8f, 1};
    TVector4f Specular{0, 0, 0, 1};
    float Shininess = 0;

    friend bool operator==(const TGLMaterialColors&, const TGLMaterialColors&) = default;
};

/// The buffer's cache of GL state. After ResetAll (or before the first use)
/// nothing is known and every request goes to the driver once; after that, a
/// request for the state already set is dropped.
///
/// Code that changes GL state behind the cache's back (inside
/// glPushAttrib/glPopAttrib, or in a display list whose replay changes
/// material colours) must restore it, or tell the cache to forget.
class TGLStateCache
{
public:
    void Enable(TGLState state);
    void Disable(TGLState state);
    void SetEnabled(TGLState state, bool on) { on ? Enable(state) : Disable(state); }
    /// Known to be enabled (false also when unknown).
    bool IsEnabled(TGLState state) const
    {
        return m_known.testFlag(state) && m_enabled.testFlag(state);
    }
    bool IsKnown(TGLState state) const { return m_known.testFlag(state); }

    /// Sets the colours of both faces, sending only those that differ from
    /// what the cache knows.
    void SetMaterialColors(const TGLMaterialColors& colors);
    /// Sends the GL default material to both faces and remembers it.
    void ResetGLMaterialColors();
    /// Forgets the material colours (someone changed them behind the cache).
    void ForgetMaterialColors() { m_materialKnown = false; }

    /// glBindTexture(GL_TEXTURE_2D, name) unless it is bound already.
    void BindTexture2D(unsigned int name);
    void ResetTextureBindings() { m_boundTextureKnown = false; }

    /// Forgets every capability, the material colours and the bindings.
    void ResetAll();

    /// Number of glEnable/glDisable calls the cache let through (for tests).
    int DriverCalls() const { return m_driverCalls; }

private:
    TGLStates m_known;
    TGLStates m_enabled;
    TGLMaterialColors m_material;
    bool m_materialKnown = false;
    unsigned int m_boundTexture = 0;
    bool m_boundTextureKnown = false;
    int m_driverCalls = 0;
};

} // namespace skyglide
