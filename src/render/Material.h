#pragma once

#include <functional>
#include <memory>

namespace skyglide {

class TBitmap;

enum class TPolygonMode { pmFill, pmLines, pmPoints };
enum class TMagFilter { maNearest, maLinear };
enum class TMinFilter {
    miNearest,
    miLinear,
    miNearestMipmapNearest,
    miLinearMipmapNearest,
    miNearestMipmapLinear,
    miLinearMipmapLinear
};
enum class TTextureFilteringQuality { tfIsotropic, tfAnisotropic };
enum class TTextureWrap { twBoth, twNone, twVertical, twHorizontal };
enum class TTextureMode { tmDecal, tmModulate, tmBlend, tmReplace };

/// Face settings of a material.
class TFaceProperties
{
public:
    explicit TFaceProperties(std::function<void()> changed) : m_changed(std::move(changed)) {}

    TPolygonMode PolygonMode() const { return m_polygonMode; }
    void SetPolygonMode(TPolygonMode value);

private:
    std::function<void()> m_changed;
    TPolygonMode m_polygonMode = TPolygonMode::pmFill;
};

/// The render engine's GL data of a texture (its texture name and the
/// context that owns it). Destroyed with the texture, so its destructor is
/// where the render engine arranges for the texture name to be released.
class TTextureRenderData
{
public:
    virtual ~TTextureRenderData() = default;
};

/// The texture settings of a material, as plain values, and the picture it
/// shows. The render pass reads them when it binds the texture; a change of a
/// filter, the wrap or the mode only marks the parameters as changed
/// (re-applied at the next bind), never the geometry. A new picture is
/// converted and uploaded at the next bind, not before.
class TTexture
{
public:
    explicit TTexture(std::function<void()> changed) : m_changed(std::move(changed)) {}
    virtual ~TTexture() = default;
    TTexture(const TTexture&) = delete;
    TTexture& operator=(const TTexture&) = delete;

    bool Disabled() const { return m_disabled; }
    void SetDisabled(bool value);
    TMagFilter MagFilter() const { return m_magFilter; }
    void SetMagFilter(TMagFilter value);
    TMinFilter MinFilter() const { return m_minFilter; }
    void SetMinFilter(TMinFilter value);
    TTextureFilteringQuality FilteringQuality() const { return m_filteringQuality; }
    void SetFilteringQuality(TTextureFilteringQuality value);
    TTextureWrap TextureWrap() const { return m_textureWrap; }
    void SetTextureWrap(TTextureWrap value);
    TTextureMode TextureMode() const { return m_textureMode; }
    void SetTextureMode(TTextureMode value);

    /// Set by every parameter change; the render pass clears it once it has
    /// applied the parameters to the bound texture.
    bool ParametersChanged() const { return m_parametersChanged; }
    void ClearParametersChanged() { m_parametersChanged = false; }

    /// The picture: an 8-bit palette bitmap or a 24-bit (blue, green, red)
    /// bitmap whose row 0 (north) becomes the top of the texture, where the
    /// texture coordinate T is 1. Null when there is none. The texture keeps
    /// the picture for as long as it holds it, because a new GL context (the
    /// viewer moved to another window) needs it uploaded again.
    const std::shared_ptr<const TBitmap>& Image() const { return m_image; }
    /// Shares image (null clears the picture). Marks the picture for upload
    /// at the next bind and sends a change notice. Throws
    /// std::invalid_argument, keeping the old picture, for a bitmap that is
    /// not a picture (16-bit or 32-bit samples).
    void SetImage(std::shared_ptr<const TBitmap> image);
    /// Takes the pixels of image over (image is left empty): no copy.
    void SetImage(TBitmap&& image);
    /// Keeps a copy of image: the caller may free its own at once.
    void AssignImage(const TBitmap& image);
    /// Set by every SetImage; the render pass clears it once it has uploaded
    /// the picture.
    bool ImageChanged() const { return m_imageChanged; }
    void ClearImageChanged() { m_imageChanged = false; }

    TTextureRenderData* RenderData() const { return m_renderData.get(); }
    void SetRenderData(std::unique_ptr<TTextureRenderData> data) { m_renderData = std::move(data); }

protected:
    void parametersChanged();
    void changed();

private:
    std::function<void()> m_changed;
    bool m_disabled = true;
    TMagFilter m_magFilter = TMagFilter::maLinear;
    TMinFilter m_minFilter = TMinFilter::miLinearMipmapLinear;
    TTextureFilteringQuality m_filteringQuality = TTextureFilteringQuality::tfIsotropic;
    TTextureWrap m_textureWrap = TTextureWrap::twBoth;
    TTextureMode m_textureMode = TTextureMode::tmDecal;
    bool m_parametersChanged = true;
    std::shared_ptr<const TBitmap> m_image;
    bool m_imageChanged = false;
    std::unique_ptr<TTextureRenderData> m_renderData;
};

/// The material slot of a TCustomSceneObject. Its changes reach the owner as
/// a change notice (a repaint), never as a geometry rebuild.
class TMaterial
{
public:
    explicit TMaterial(std::function<void()> changed);
    virtual ~TMaterial() = default;
    TMaterial(const TMaterial&) = delete;
    TMaterial& operator=(const TMaterial&) = delete;

    TFaceProperties& FrontProperties() { return m_frontProperties; }
    const TFaceProperties& FrontProperties() const { return m_frontProperties; }
    TTexture& Texture() { return m_texture; }
    const TTexture& Texture() const { return m_texture; }

private:
    TFaceProperties m_frontProperties;
    TTexture m_texture;
};

} // namespace skyglide
