#pragma once

#include <functional>

namespace skyglide {

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

/// The texture settings of a material, as plain values. The render pass reads
/// them when it binds the texture; a change of a filter, the wrap or the mode
/// only marks the parameters as changed (re-applied at the next bind), never
/// the geometry. The image and its upload belong to the render engine.
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
