#pragma once

// The surface texture on its way to the graphics card: the picture becomes an
// RGBA image (Bitmap32.h), grows or shrinks to power-of-two sides within the
// context's limit, and is uploaded with its mipmaps the first time the
// texture is bound; its parameters (filters, wrap, anisotropy) are applied
// at every bind after they changed, without a new upload.

#include "render/Material.h"

namespace skyglide {

class TBitmap32;
struct TGLExtensions;
struct TRenderContextInfo;

/// One side of the texture for an image side of `size` pixels: 1 below 2,
/// else the smallest power of two not below size; then at most maxSize (the
/// context's GL_MAX_TEXTURE_SIZE).
int TextureTargetSize(int size, int maxSize);

/// GL values of the texture settings.
unsigned int GLMagFilter(TMagFilter filter);
unsigned int GLMinFilter(TMinFilter filter);
/// miNearest and miLinear use no mipmaps; the others need them.
bool MinFilterUsesMipmaps(TMinFilter filter);
/// (wrap S, wrap T): GL_REPEAT, or the clamp mode: GL_CLAMP_TO_EDGE when the
/// context has edge clamping, else GL_CLAMP.
struct TGLTextureWrap
{
    unsigned int S;
    unsigned int T;
};
TGLTextureWrap GLTextureWrap(TTextureWrap wrap, bool edgeClamp);
unsigned int GLTextureMode(TTextureMode mode);
/// GL_TEXTURE_MAX_ANISOTROPY_EXT of a filtering quality: 1 or 2.
float TextureAnisotropy(TTextureFilteringQuality quality);

/// Uploads image into the texture bound to GL_TEXTURE_2D as GL_RGBA8: scaled
/// with gluScaleImage when its sides are not the target sides, with mipmaps
/// when mipmaps is set (by the driver where GL_SGIS_generate_mipmap exists,
/// else with gluBuild2DMipmaps). image is released as soon as the upload no
/// longer needs it, so that at most one RGBA copy besides the driver's lives
/// at a time. An empty image uploads nothing. Throws TOpenGLError when GLU
/// cannot scale or build.
void UploadTexture(TBitmap32 image, bool mipmaps, const TGLExtensions& extensions);

/// Applies the perspective hint, the unpack settings, the wrap, the filters
/// and (where the extension exists) the anisotropy of texture to the texture
/// bound to GL_TEXTURE_2D.
void ApplyTextureParameters(const TTexture& texture, const TGLExtensions& extensions);

/// Makes texture the one the next geometry is drawn with: enables
/// GL_TEXTURE_2D and binds the texture's name in this context (making it on
/// first use), converts and uploads the picture when it is new, applies the
/// parameters when they changed, and sets the texture environment mode.
/// A disabled texture, or one without a picture, switches texturing off.
/// Returns whether texturing is on.
bool ApplyTexture(TTexture& texture, TRenderContextInfo& rci);
/// Switches texturing off after an object drawn with ApplyTexture.
void UnApplyTexture(TRenderContextInfo& rci);

} // namespace skyglide
