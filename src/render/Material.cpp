#include "render/Material.h"

namespace skyglide {

void TFaceProperties::SetPolygonMode(TPolygonMode value)
{
    if (value == m_polygonMode)
        return;
    m_polygonMode = value;
    if (m_changed)
        m_changed();
}

void TTexture::changed()
{
    if (m_changed)
        m_changed();
}

void TTexture::parametersChanged()
{
    m_parametersChanged = true;
    changed();
}

void TTexture::SetDisabled(bool value)
{
    if (value == m_disabled)
        return;
    m_disabled = value;
    changed();
}

void TTexture::SetMagFilter(TMagFilter value)
{
    if (value == m_magFilter)
        return;
    m_magFilter = value;
    parametersChanged();
}

void TTexture::SetMinFilter(TMinFilter value)
{
    if (value == m_minFilter)
        return;
    m_minFilter = value;
    parametersChanged();
}

void TTexture::SetFilteringQuality(TTextureFilteringQuality value)
{
    if (value == m_filteringQuality)
        return;
    m_filteringQuality = value;
    parametersChanged();
}

void TTexture::SetTextureWrap(TTextureWrap value)
{
    if (value == m_textureWrap)
        return;
    m_textureWrap = value;
    parametersChanged();
}

void TTexture::SetTextureMode(TTextureMode value)
{
    if (value == m_textureMode)
        return;
    m_textureMode = value;
    parametersChanged();
}

TMaterial::TMaterial(std::function<void()> changed)
    : m_frontProperties(changed), m_texture(std::move(changed))
{
}

} // namespace skyglide
