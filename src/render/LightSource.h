#pragma once

#include "render/SceneObject.h"

namespace skyglide {

enum class TLightStyle { lsSpot, lsOmni, lsParallel };

/// What the render pass applies for one GL light (GL_LIGHT0 + its index).
///
/// When Shining: glEnable the light, load the camera's modelview (the frame's
/// base matrix), glMultMatrixf(Placement.Data()), then GL_POSITION from
/// Position, GL_AMBIENT / GL_DIFFUSE / GL_SPECULAR, GL_SPOT_DIRECTION and
/// GL_SPOT_EXPONENT only when SetSpotDirection, GL_SPOT_CUTOFF, and the three
/// attenuations. When not Shining (also for a free slot): glDisable the light.
struct TLightSetup
{
    bool Shining = false;
    /// The parent's absolute matrix for a point or spot light, the light's own
    /// absolute matrix for a parallel light.
    TMatrix4f Placement;
    /// The light's Position (W = 1), or its SpotDirection (W = 0) for a
    /// parallel light, in Placement's frame.
    TVector4f Position{0, 0, 1, 0};
    /// Position carried through Placement: where the light is in the world.
    TVector4f WorldPosition{0, 0, 1, 0};
    TVector4f Ambient{0, 0, 0, 1};
    TVector4f Diffuse{0, 0, 0, 1};
    TVector4f Specular{0, 0, 0, 1};
    bool SetSpotDirection = false;
    TAffineVector SpotDirection{0, 0, -1};
    float SpotExponent = 0.0f;
    float SpotCutOff = 180.0f;
    float ConstAttenuation = 1.0f;
    float LinearAttenuation = 0.0f;
    float QuadraticAttenuation = 0.0f;
};

/// A light. In a scene it holds a light slot (LightID) that stays its own
/// until it leaves the scene; GL light numbers follow the slots.
class TLightSource : public TBaseSceneObject
{
public:
    TLightSource();
    ~TLightSource() override;

    /// A light only shines (the render pass sets it up before the objects):
    /// nothing to draw.
    void DoRender(TRenderContextInfo&) override {}

    /// Slot of the light in its scene's light list, −1 outside a scene.
    int LightID() const { return m_lightID; }

    TCoordinates& SpotDirection() { return m_spotDirection; }
    const TCoordinates& SpotDirection() const { return m_spotDirection; }
    float SpotExponent() const { return m_spotExponent; }
    /// Refused outside [0, 128], which OpenGL rejects.
    void SetSpotExponent(float value);
    float SpotCutOff() const { return m_spotCutOff; }
    /// 0 to 90 degrees, or 180 for a light that shines all round; anything
    /// else (which OpenGL rejects) is refused.
    void SetSpotCutOff(float value);
    float ConstAttenuation() const { return m_constAttenuation; }
    /// Attenuations are refused when negative, which OpenGL rejects.
    void SetConstAttenuation(float value);
    float LinearAttenuation() const { return m_linearAttenuation; }
    void SetLinearAttenuation(float value);
    float QuadraticAttenuation() const { return m_quadraticAttenuation; }
    void SetQuadraticAttenuation(float value);
    bool Shining() const { return m_shining; }
    void SetShining(bool value);
    const TVector4f& Ambient() const { return m_ambient; }
    void SetAmbient(const TVector4f& value);
    const TVector4f& Diffuse() const { return m_diffuse; }
    void SetDiffuse(const TVector4f& value);
    const TVector4f& Specular() const { return m_specular; }
    void SetSpecular(const TVector4f& value);
    TLightStyle LightStyle() const { return m_lightStyle; }
    void SetLightStyle(TLightStyle value);

    /// The values the render pass applies for this light this frame.
    TLightSetup Setup();

protected:
    void SceneChanged(TScene* oldScene) override;

private:
    friend class TScene;
    void setFloat(float& field, float value);
    void setColor(TVector4f& field, const TVector4f& value);

    int m_lightID = -1;
    TCoordinates m_spotDirection;
    float m_spotExponent = 0.0f;
    float m_spotCutOff = 180.0f;
    float m_constAttenuation = 1.0f;
    float m_linearAttenuation = 0.0f;
    float m_quadraticAttenuation = 0.0f;
    bool m_shining = true;
    TVector4f m_ambient{0, 0, 0, 1};
    TVector4f m_diffuse{1, 1, 1, 1};
    TVector4f m_specular{0, 0, 0, 1};
    TLightStyle m_lightStyle = TLightStyle::lsSpot;
};

} // namespace skyglide
