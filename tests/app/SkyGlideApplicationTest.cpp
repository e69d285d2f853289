#include "FakeUserDialogs.h"

#include "app/SkyGlideApplication.h"
#include "host/AppLifecycle.h"

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
    SetApplicationShuttingDown(false);
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    EXPECT_TRUE(ApplicationShuttingDown());
    SetApplicationShuttingDown(false);
}

} // namespace
} // namespace skyglide::test

int main(int argc, char** argv)
{
    skyglide::TSkyGlideApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
