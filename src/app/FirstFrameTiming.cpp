#include "app/FirstFrameTiming.h"

#include "app/StartupTimings.h"
#include "render/SceneViewer.h"

#include <memory>

namespace skyglide {

TFirstFrameTiming::TFirstFrameTiming(TSceneViewer& viewer) : m_viewer(viewer) {}

void TFirstFrameTiming::FrameBegins()
{
    if (m_active && m_frameBegin == TClock::time_point{})
        m_frameBegin = TClock::now();
}

void TFirstFrameTiming::HeightAsked()
{
    if (!m_active)
        return;
    // Sampling the clock at every vertex would be part of what is timed.
    if (m_heightCalls == 0)
        m_firstHeight = m_lastHeight = TClock::now();
    else if (m_heightCalls % 256 == 0)
        m_lastHeight = TClock::now();
    ++m_heightCalls;
}

void TFirstFrameTiming::FrameRendered()
{
    if (!m_active || m_frameBegin == TClock::time_point{})
        return;
    m_active = false;
    const auto end = TClock::now();
    const auto meshBegin = m_heightCalls > 0 ? m_firstHeight : end;
    const auto meshEnd = m_heightCalls > 0 ? m_lastHeight : end;
    const auto textureUpload = meshBegin - m_frameBegin;
    const auto meshBuild = meshEnd - meshBegin;
    // The frame is on screen once the window has composed it.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(&m_viewer, &QOpenGLWidget::frameSwapped, this,
                          [connection, textureUpload, meshBuild] {
                              QObject::disconnect(*connection);
                              TStartupTimings::FirstFrameRendered(textureUpload, meshBuild);
                          });
}

} // namespace skyglide
