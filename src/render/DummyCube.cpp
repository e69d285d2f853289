#include "render/DummyCube.h"

namespace skyglide {

TDummyCube::TDummyCube()
{
    TObjectStyle style = ObjectStyle();
    style.setFlag(TObjectStyleFlag::ofImmediateGeometry);
    SetObjectStyle(style);
}

void TDummyCube::SetCubeSize(float value)
{
    if (value == m_cubeSize)
        return;
    m_cubeSize = value;
    MarkGeometryStale();
}

void TDummyCube::SetEdgeColor(const TVector4f& value)
{
    if (value == m_edgeColor)
        return;
    m_edgeColor = value;
    MarkGeometryStale();
}

void TDummyCube::SetVisibleAtRunTime(bool value)
{
    if (value == m_visibleAtRunTime)
        return;
    m_visibleAtRunTime = value;
    MarkGeometryStale();
}

void TDummyCube::SetAmalgamate(bool value)
{
    if (value == m_amalgamate)
        return;
    m_amalgamate = value;
    MarkGeometryStale();
}

} // namespace skyglide
