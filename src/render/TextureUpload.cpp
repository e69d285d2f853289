#include "render/TextureUpload.h"

#include "data/Bitmap.h"
#include "render/Bitmap32.h"
#include "render/GLResources.h"
#include "render/GLStateCache.h"
#include "render/RenderContextInfo.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdint>
#include <string>
#include <vector>

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif
#ifndef GL_GENERATE_MIPMAP_SGIS
#define GL_GENERATE_MIPMAP_SGIS 0x8191
#endif
#ifndef GL_TEXTURE_MAX_ANISOTROPY_EXT
#define GL_TEXTURE_MAX_ANISOTROPY_EXT 0x84FE
#endif
#ifndef GL_RGBA8
#define GL_RGBA8 0x8058
#endif

namespace skyglide {

namespace {

void throwGluError(const char* what, GLint code)
{
    const GLubyte* text = gluErrorString(GLenum(code));
    throw TOpenGLError(std::string(what) + ": " +
                           (text ? reinterpret_cast<const char*>(text) : std::to_string(code)),
                       unsigned(code));
}

// Whether the texture's GL name holds mipmaps: a later switch to a mipmapped
// minification filter needs them built, or the texture would be incomplete
// (and draw white).
class TTextureUploadState : public TGLTextureHandle
{
public:
    using TGLTextureHandle::TGLTextureHandle;
    bool WithMipmaps = false;
};

} // namespace

int TextureTargetSize(int size, int maxSize)
{
    int target = 1;
    while (target < size && target < (1 << 30))
        target <<= 1;
    if (maxSize > 0 && target > maxSize)
        target = maxSize;
    return target;
}

unsigned int GLMagFilter(TMagFilter filter)
{
    return filter == TMagFilter::maNearest ? GL_NEAREST : GL_LINEAR;
}

unsigned int GLMinFilter(TMinFilter filter)
{
    switch (filter) {
    case TMinFilter::miNearest:
        return GL_NEAREST;
    case TMinFilter::miLinear:
        return GL_LINEAR;
    case TMinFilter::miNearestMipmapNearest:
        return GL_NEAREST_MIPMAP_NEAREST;
    case TMinFilter::miLinearMipmapNearest:
        return GL_LINEAR_MIPMAP_NEAREST;
    case TMinFilter::miNearestMipmapLinear:
        return GL_NEAREST_MIPMAP_LINEAR;
    case TMinFilter::miLinearMipmapLinear:
        return GL_LINEAR_MIPMAP_LINEAR;
    }
    return GL_LINEAR_MIPMAP_LINEAR;
}

bool MinFilterUsesMipmaps(TMinFilter filter)
{
    return filter != TMinFilter::miNearest && filter != TMinFilter::miLinear;
}

TGLTextureWrap GLTextureWrap(TTextureWrap wrap, bool edgeClamp)
{
    const unsigned int clamp = edgeClamp ? GL_CLAMP_TO_EDGE : GL_CLAMP;
    switch (wrap) {
    case TTextureWrap::twBoth:
        return {GL_REPEAT, GL_REPEAT};
    case TTextureWrap::twNone:
        return {clamp, clamp};
    case TTextureWrap::twVertical:
        return {clamp, GL_REPEAT};
    case TTextureWrap::twHorizontal:
        return {GL_REPEAT, clamp};
    }
    return {GL_REPEAT, GL_REPEAT};
}

unsigned int GLTextureMode(TTextureMode mode)
{
    switch (mode) {
    case TTextureMode::tmDecal:
        return GL_DECAL;
    case TTextureMode::tmModulate:
        return GL_MODULATE;
    case TTextureMode::tmBlend:
        return GL_BLEND;
    case TTextureMode::tmReplace:
        return GL_REPLACE;
    }
    return GL_DECAL;
}

float TextureAnisotropy(TTextureFilteringQuality quality)
{
    return quality == TTextureFilteringQuality::tfAnisotropic ? 2.0f : 1.0f;
}

void UploadTexture(TBitmap32 image, bool mipmaps, const TGLExtensions& extensions)
{
    if (image.Empty())
        return;
    const int width = TextureTargetSize(image.Width(), extensions.MaxTextureSize);
    const int height = TextureTargetSize(image.Height(), extensions.MaxTextureSize);

    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);

    std::vector<std::uint8_t> scaled;
    const std::uint8_t* pixels = image.Data();
    if (width != image.Width() || height != image.Height()) {
        scaled.resize(std::size_t(width) * std::size_t(height) * 4);
        const GLint result =
            gluScaleImage(GL_RGBA, image.Width(), image.Height(), GL_UNSIGNED_BYTE, image.Data(),
                          width, height, GL_UNSIGNED_BYTE, scaled.data());
        if (result != 0)
            throwGluError("gluScaleImage", result);
        image.Clear();
        pixels = scaled.data();
    }

    if (!mipmaps) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels);
    } else if (extensions.GenerateMipmap) {
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, GL_TRUE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels);
    } else {
        const GLint result = gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA8, width, height, GL_RGBA,
                                               GL_UNSIGNED_BYTE, pixels);
        if (result != 0)
            throwGluError("gluBuild2DMipmaps", result);
    }
    CheckOpenGLError();
}

void ApplyTextureParameters(const TTexture& texture, const TGLExtensions& extensions)
{
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    const TGLTextureWrap wrap = GLTextureWrap(texture.TextureWrap(), extensions.TextureEdgeClamp);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GLint(wrap.S));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GLint(wrap.T));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(GLMinFilter(texture.MinFilter())));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(GLMagFilter(texture.MagFilter())));
    if (extensions.TextureFilterAnisotropic)
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT,
                        TextureAnisotropy(texture.FilteringQuality()));
}

bool ApplyTexture(TTexture& texture, TRenderContextInfo& rci)
{
    const auto& picture = texture.Image();
    if (texture.Disabled() || !picture || picture->Empty() || !rci.Resources) {
        UnApplyTexture(rci);
        return false;
    }

    auto* handle = dynamic_cast<TTextureUploadState*>(texture.RenderData());
    if (!handle || !handle->BelongsTo(rci.Resources)) {
        const unsigned int name = rci.Resources->GenTexture();
        if (name == 0) {
            CheckOpenGLError();
            throw TOpenGLError("glGenTextures: no texture name left");
        }
        auto made = std::make_unique<TTextureUploadState>(rci.Resources, name);
        handle = made.get();
        texture.SetRenderData(std::move(made));
    }

    rci.GLStates->Enable(TGLState::stTexture2D);
    rci.GLStates->BindTexture2D(handle->Name());

    const bool mipmaps = MinFilterUsesMipmaps(texture.MinFilter());
    bool parameters = texture.ParametersChanged();
    if (!handle->Uploaded || texture.ImageChanged() || (mipmaps && !handle->WithMipmaps)) {
        handle->Uploaded = false;
        UploadTexture(PictureToBitmap32(*picture), mipmaps, *rci.Extensions);
        handle->Uploaded = true;
        handle->WithMipmaps = mipmaps;
        texture.ClearImageChanged();
        parameters = true;
        if (rci.Statistics)
            ++rci.Statistics->TexturesUploaded;
    }
    if (parameters) {
        ApplyTextureParameters(texture, *rci.Extensions);
        texture.ClearParametersChanged();
        if (rci.Statistics)
            ++rci.Statistics->TextureParameterSets;
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(GLTextureMode(texture.TextureMode())));
    return true;
}

void UnApplyTexture(TRenderContextInfo& rci)
{
    rci.GLStates->Disable(TGLState::stTexture2D);
}

} // namespace skyglide
