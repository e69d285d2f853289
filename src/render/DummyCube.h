#pragma once

#include "render/SceneObject.h"

namespace skyglide {

/// An invisible grouping node. It draws a wire cube of CubeSize in EdgeColor
/// only when VisibleAtRunTime is set; otherwise it only carries its children.
class TDummyCube : public TCameraInvariantObject
{
public:
    TDummyCube();

    float CubeSize() const { return m_cubeSize; }
    void SetCubeSize(float value);
    const TVector4f& EdgeColor() const { return m_edgeColor; }
    void SetEdgeColor(const TVector4f& value);
    bool VisibleAtRunTime() const { return m_visibleAtRunTime; }
    void SetVisibleAtRunTime(bool value);
    /// The children are to be compiled into one display list with the cube.
    bool Amalgamate() const { return m_amalgamate; }
    void SetAmalgamate(bool value);

    /// Whether the render pass draws the wire cube (edges of CubeSize, centred
    /// on the origin, in EdgeColor) for this object.
    bool DrawsWireCube() const { return m_visibleAtRunTime; }

    /// The wire cube when it is drawn, then the object's geometry.
    void DoRender(TRenderContextInfo& rci) override;

private:
    float m_cubeSize = 1.0f;
    TVector4f m_edgeColor{1, 1, 1, 1};
    bool m_visibleAtRunTime = false;
    bool m_amalgamate = false;
};

} // namespace skyglide
