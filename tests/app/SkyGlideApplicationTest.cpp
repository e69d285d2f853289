#include "app/SkyGlideApplication.h"

#include "FakeUserDialogs.h"

#include "host/HostLink.h"

#include <QEvent>

#include <gtest/gtest.h>

#include <stdexcept>

namespace skyglide::test {
namespace {

class TThrowingObject : public QObject
{
public:
    bool event(QEvent*) override { throw std::runtime_error("Cannot open file x.csv"); }
};

TEST(SkyGlideApplication, ShowsAnUncaughtErrorInTheErrorBoxAndGoesOn)
{
    TFakeUserDialogs dialogs;
    TThrowingObject object;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&object, &event));
    EXPECT_FALSE(QCoreApplication::sendEvent(&object, &event));
    ASSERT_EQ(dialogs.Shown.size(), 2u);
    EXPECT_EQ(dialogs.Shown[0].Kind, "error");
    EXPECT_EQ(dialogs.Shown[0].Caption, "SkyGlide");
    EXPECT_EQ(dialogs.Shown[0].Text, "Cannot open file x.csv");
}

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
