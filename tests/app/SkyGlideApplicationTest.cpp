#include "app/SkyGlideApplication.h"

#include "host/HostLink.h"

#include <QEvent>

#include <gtest/gtest.h>

namespace skyglide::test {
namespace {

TEST(SkyGlideApplication, QuitCountsAsShuttingDown)
{
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "SkyGlide");
    EXPECT_FALSE(QGuiApplication::quitOnLastWindowClosed());
    THostLink host;
    auto* application = static_cast<TSkyGlideApplication*>(QCoreApplication::instance());
    application->SetHostLink(&host);
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(application, &quit);
    application->SetHostLink(nullptr);
    EXPECT_TRUE(host.ShuttingDown());
}

} // namespace
} // namespace skyglide::test
