#include "render/LightSource.h"

#include "render/Scene.h"

namespace skyglide {

TLightSource::TLightSource() : m_spotDirection(this, {0, 0, -1, 0}, TCoordinatesStyle::csVector) {}

TLightSource::~TLightSource()
{
    if (Scene())
        Scene()->removeLight(*this);
}

void TLightSource::SceneChanged(TScene* oldScene)
{
    if (oldScene)
        oldScene->removeLight(*this);
    if (Scene())
        Scene()->addLight(*this);
}

void TLightSource::setFloat(float& field, float value)
{
    if (value == field)
        return;
    field = value;
    SendChangeNotice();
}

void TLightSource::setColor(TVector4f& field, const TVector4f& value)
{
    if (value == field)
        return;
    field = value;
    SendChangeNotice();
}

void TLightSource::SetSpotExponent(float value)
{
    if (value >= 0.0f && value <= 128.0f)
        setFloat(m_spotExponent, value);
}

void TLightSource::SetSpotCutOff(float value)
{
    if ((value >= 0.0f && value <= 90.0f) || value == 180.0f)
        setFloat(m_spotCutOff, value);
}

void TLightSource::SetConstAttenuation(float value)
{
    if (value >= 0.0f)
        setFloat(m_constAttenuation, value);
}

void TLightSource::SetLinearAttenuation(float value)
{
    if (value >= 0.0f)
        setFloat(m_linearAttenuation, value);
}

void TLightSource::SetQuadraticAttenuation(float value)
{
    if (value >= 0.0f)
        setFloat(m_quadraticAttenuation, value);
}

void TLightSource::SetShining(bool value)
{
    if (value == m_shining)
        return;
    m_shining = value;
    SendChangeNotice();
}

void TLightSource::SetAmbient(const TVector4f& value)
{
    setColor(m_ambient, value);
}

void TLightSource::SetDiffuse(const TVector4f& value)
{
    setColor(m_diffuse, value);
}

void TLightSource::SetSpecular(const TVector4f& value)
{
    setColor(m_specular, value);
}

void TLightSource::SetLightStyle(TLightStyle value)
{
    if (value == m_lightStyle)
        return;
    m_lightStyle = value;
    SendChangeNotice();
}

TLightSetup TLightSource::Setup()
{
    TLightSetup setup;
    // The setup consumes the light's placement, so later moves of the light
    // send their change notices again.
    LocalMatrix();
    setup.Shining = m_shining;
    if (!m_shining)
        return setup;
    if (m_lightStyle == TLightStyle::lsParallel) {
        setup.Placement = AbsoluteMatrix();
        setup.Position = vectorOf(m_spotDirection.AsAffineVector());
    } else {
        if (TBaseSceneObject* parent = TransformParent())
            setup.Placement = parent->AbsoluteMatrix();
        setup.Position = pointOf(Position().AsAffineVector());
    }
    setup.WorldPosition = transformVector(setup.Position, setup.Placement);
    setup.Ambient = m_ambient;
    setup.Diffuse = m_diffuse;
    setup.Specular = m_specular;
    if (m_lightStyle == TLightStyle::lsSpot) {
        if (m_spotCutOff != 180.0f) {
            setup.SetSpotDirection = true;
            setup.SpotDirection = m_spotDirection.AsAffineVector();
            setup.SpotExponent = m_spotExponent;
        }
        setup.SpotCutOff = m_spotCutOff;
    } else {
        setup.SpotCutOff = 180.0f;
    }
    setup.ConstAttenuation = m_constAttenuation;
    setup.LinearAttenuation = m_linearAttenuation;
    setup.QuadraticAttenuation = m_quadraticAttenuation;
    return setup;
}

} // namespace skyglide
