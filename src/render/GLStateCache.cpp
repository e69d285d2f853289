#include "render/GLStateCache.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <atomic>
#include <cstring>

#ifndef GL_POLYGON_OFFSET_FILL
#define GL_POLYGON_OFFSET_FILL 0x8037
#endif

namespace skyglide {

namespace {

std::atomic<bool> g_errorExceptions{true};

// Errors read after the first one, before giving up on clearing them: a
// context without a current surface answers GL_INVALID_OPERATION for ever.
constexpr int cExtraErrorReads = 6;

} // namespace

unsigned int GLStateName(TGLState state)
{
    switch (state) {
    case TGLState::stAlphaTest:
        return GL_ALPHA_TEST;
    case TGLState::stAutoNormal:
        return GL_AUTO_NORMAL;
    case TGLState::stBlend:
        return GL_BLEND;
    case TGLState::stColorMaterial:
        return GL_COLOR_MATERIAL;
    case TGLState::stCullFace:
        return GL_CULL_FACE;
    case TGLState::stDepthTest:
        return GL_DEPTH_TEST;
    case TGLState::stDither:
        return GL_DITHER;
    case TGLState::stFog:
        return GL_FOG;
    case TGLState::stLighting:
        return GL_LIGHTING;
    case TGLState::stLineSmooth:
        return GL_LINE_SMOOTH;
    case TGLState::stLineStipple:
        return GL_LINE_STIPPLE;
    case TGLState::stLogicOp:
        return GL_COLOR_LOGIC_OP;
    case TGLState::stNormalize:
        return GL_NORMALIZE;
    case TGLState::stPointSmooth:
        return GL_POINT_SMOOTH;
    case TGLState::stPolygonSmooth:
        return GL_POLYGON_SMOOTH;
    case TGLState::stPolygonStipple:
        return GL_POLYGON_STIPPLE;
    case TGLState::stScissorTest:
        return GL_SCISSOR_TEST;
    case TGLState::stStencilTest:
        return GL_STENCIL_TEST;
    case TGLState::stTexture1D:
        return GL_TEXTURE_1D;
    case TGLState::stTexture2D:
        return GL_TEXTURE_2D;
    case TGLState::stPolygonOffsetFill:
        return GL_POLYGON_OFFSET_FILL;
    }
    return 0;
}

// ---- extensions -------------------------------------------------------------------

bool TGLExtensions::ParseVersion(const char* text, int& major, int& minor)
{
    if (!text)
        return false;
    int values[2] = {0, 0};
    const char* p = text;
    for (int part = 0; part < 2; ++part) {
        if (*p < '0' || *p > '9')
            return false;
        int value = 0;
        while (*p >= '0' && *p <= '9' && value < 1000)
            value = value * 10 + (*p++ - '0');
        values[part] = value;
        if (part == 0) {
            if (*p != '.')
                return false;
            ++p;
        }
    }
    major = values[0];
    minor = values[1];
    return true;
}

bool TGLExtensions::HasExtension(const char* list, const char* name)
{
    if (!list || !name || !*name)
        return false;
    const std::size_t length = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
        const bool startsWord = p == list || p[-1] == ' ';
        const bool endsWord = p[length] == ' ' || p[length] == '\0';
        if (startsWord && endsWord)
            return true;
    }
    return false;
}

bool TGLExtensions::IsSoftwareRenderer(const char* renderer)
{
    if (!renderer)
        return false;
    for (const char* name : {"llvmpipe", "softpipe", "Software Rasterizer", "SWR"})
        if (std::strstr(renderer, name))
            return true;
    return false;
}

TGLExtensions TGLExtensions::Detect()
{
    TGLExtensions caps;
    ParseVersion(reinterpret_cast<const char*>(glGetString(GL_VERSION)), caps.MajorVersion,
                 caps.MinorVersion);
    const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    caps.TextureFilterAnisotropic = HasExtension(list, "GL_EXT_texture_filter_anisotropic") ||
                                    HasExtension(list, "GL_ARB_texture_filter_anisotropic");
    caps.GenerateMipmap = HasExtension(list, "GL_SGIS_generate_mipmap");
    caps.SoftwareRenderer =
        IsSoftwareRenderer(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    caps.TextureEdgeClamp = caps.AtLeast(1, 2) || HasExtension(list, "GL_EXT_texture_edge_clamp") ||
                            HasExtension(list, "GL_SGIS_texture_edge_clamp");
    caps.TextureRectangle = HasExtension(list, "GL_ARB_texture_rectangle") ||
                            HasExtension(list, "GL_EXT_texture_rectangle") ||
                            HasExtension(list, "GL_NV_texture_rectangle");
    GLint value = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &value);
    if (value > 0)
        caps.MaxTextureSize = value;
    value = 0;
    glGetIntegerv(GL_MAX_LIGHTS, &value);
    if (value > 0)
        caps.MaxLights = value;
    value = 0;
    glGetIntegerv(GL_BLUE_BITS, &value);
    caps.BlueBits = value;
    // Enquiries of a core-only name (GL_BLUE_BITS on a newer context) must not
    // leave an error for the first frame's check to report.
    ClearOpenGLErrors();
    return caps;
}

// ---- errors -----------------------------------------------------------------------

void ClearOpenGLErrors()
{
    for (int i = 0; i <= cExtraErrorReads; ++i) {
        if (glGetError() == GL_NO_ERROR)
            return;
    }
}

void CheckOpenGLError()
{
    const GLenum first = glGetError();
    if (first == GL_NO_ERROR)
        return;
    for (int i = 0; i < cExtraErrorReads; ++i) {
        if (glGetError() == GL_NO_ERROR)
            break;
    }
    if (!g_errorExceptions)
        return;
    const GLubyte* text = gluErrorString(first);
    throw TOpenGLError(text ? reinterpret_cast<const char*>(text)
                            : "OpenGL error " + std::to_string(first),
                       first);
}

void SetOpenGLErrorExceptions(bool on)
{
    g_errorExceptions = on;
}

bool OpenGLErrorExceptions()
{
    return g_errorExceptions;
}

// ---- state cache ------------------------------------------------------------------

void TGLStateCache::Enable(TGLState state)
{
    if (m_known.testFlag(state) && m_enabled.testFlag(state))
        return;
    glEnable(GLStateName(state));
    ++m_driverCalls;
    m_known.setFlag(state);
    m_enabled.setFlag(state);
}

void TGLStateCache::Disable(TGLState state)
{
    if (m_known.testFlag(state) && !m_enabled.testFlag(state))
        return;
    glDisable(GLStateName(state));
    ++m_driverCalls;
    m_known.setFlag(state);
    m_enabled.setFlag(state, false);
}

void TGLStateCache::SetMaterialColors(const TGLMaterialColors& colors)
{
    const bool known = m_materialKnown;
    const TGLMaterialColors& old = m_material;
    if (!known || !(old.Emission == colors.Emission))
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &colors.Emission.X);
    if (!known || !(old.Ambient == colors.Ambient))
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &colors.Ambient.X);
    if (!known || !(old.Diffuse == colors.Diffuse))
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &colors.Diffuse.X);
    if (!known || !(old.Specular == colors.Specular))
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &colors.Specular.X);
    if (!known || old.Shininess != colors.Shininess)
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, colors.Shininess);
    m_material = colors;
    m_materialKnown = true;
}

void TGLStateCache::ResetGLMaterialColors()
{
    m_materialKnown = false;
    SetMaterialColors(TGLMaterialColors{});
}

void TGLStateCache::BindTexture2D(unsigned int name)
{
    if (m_boundTextureKnown && m_boundTexture == name)
        return;
    glBindTexture(GL_TEXTURE_2D, name);
    m_boundTexture = name;
    m_boundTextureKnown = true;
}

void TGLStateCache::ResetAll()
{
    m_known = {};
    m_enabled = {};
    m_materialKnown = false;
    m_boundTextureKnown = false;
}

} // namespace skyglide
