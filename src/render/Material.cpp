#include "render/Material.h"

#include "data/Bitmap.h"

#include <cstring>
#include <stdexcept>
#include <string>

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

namespace {

void checkPicture(const TBitmap& image)
{
    if (image.PixelFormat() != TPixelFormat::pf8bit && image.PixelFormat() != TPixelFormat::pf24bit)
        throw std::invalid_argument(
            "TTexture::SetImage(): expected an 8-bit palette or 24-bit picture but got " +
            std::to_string(int(image.PixelFormat())) + " bits per pixel");
}

} // namespace

void TTexture::SetImage(std::shared_ptr<const TBitmap> image)
{
    if (image)
        checkPicture(*image);
    m_image = std::move(image);
    m_imageChanged = true;
    changed();
}

void TTexture::SetImage(TBitmap&& image)
{
    checkPicture(image); // before the pixels leave the caller
    auto taken = std::make_shared<TBitmap>();
    *taken = std::move(image);
    image = TBitmap();
    SetImage(std::shared_ptr<const TBitmap>(std::move(taken)));
}

void TTexture::AssignImage(const TBitmap& image)
{
    checkPicture(image);
    auto copy = std::make_shared<TBitmap>();
    copy->SetSize(image.Width(), image.Height(), image.PixelFormat());
    copy->SetPalette(image.Palette());
    for (int row = 0; row < image.Height(); ++row)
        std::memcpy(copy->ScanLine(row), image.ScanLine(row), image.Stride());
    SetImage(std::shared_ptr<const TBitmap>(std::move(copy)));
}

TMaterial::TMaterial(std::function<void()> changed)
    : m_frontProperties(changed), m_texture(std::move(changed))
{
}

} // namespace skyglide
