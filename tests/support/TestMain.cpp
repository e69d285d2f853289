// The main() of the tests that need an application object, chosen by a
// keyword of skyglide_add_test(): QT_CORE for Qt's core application, VIEWER
// for the viewer's own, with the surface format the viewer asks for. Settings
// the code under test remembers go to a folder of the test's own, never to
// the user's.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#if defined(SKYGLIDE_TEST_MAIN_VIEWER)
#include "app/SkyGlideApplication.h"
#include "render/SceneViewer.h"
#else
#include <QCoreApplication>
#endif

int main(int argc, char** argv)
{
#if defined(SKYGLIDE_TEST_MAIN_VIEWER)
    skyglide::TSceneViewer::SetDefaultSurfaceFormat();
    skyglide::TSkyGlideApplication application(argc, argv);
#else
    QCoreApplication application(argc, argv);
#endif
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
