// The real program started by the stand-in host, on the test's X server and
// session bus: the host's call log, the window the X server shows, the end of
// the run.
#include "HostRun.h"
#include "ViewerTestSupport.h"

#include <QFile>

namespace skyglide::test {
namespace {

QString SampleFile(const char* name)
{
    return QString::fromStdString(Sample(name));
}

bool SendShutdownRequest()
{
    QProcess gdbus;
    gdbus.start("gdbus", {"call", "--session", "--dest", "org.kartova.skyglide_msghndlr",
                          "--object-path", "/skyglide_msghndlr", "--method",
                          "org.kartova.MessageWindow.SendMessage", "37021", "4242", "2424"});
    return gdbus.waitForFinished(10000) && gdbus.exitCode() == 0;
}

std::optional<QString> VisibleWindows()
{
    return Xdotool({"search", "--onlyvisible", "--name", "."});
}

TEST(Viewer, StartsOnTheSampleTerrainAndEndsOnTheShutdownRequest)
{
    THostRun host({SampleFile("trinidad.rst"), "--palette", "elevation", "--detail", "1"});
    const auto window = Xdotool({"search", "--sync", "--onlyvisible", "--name", "Sky Glide"});
    ASSERT_TRUE(window.has_value()) << qPrintable(host.Stderr());
    EXPECT_EQ(Xdotool({"getwindowname", window->section('\n', 0, 0)}), "Sky Glide");
    EXPECT_FALSE(host.WaitForExit(300)) << "the viewer waits for its user";

    // The message window goes on the bus once the start-up load has ended,
    // which on a busy machine is well after the window shows.
    ASSERT_TRUE(host.WaitForBusName("org.kartova.skyglide_msghndlr")) << qPrintable(host.Stderr());
    ASSERT_TRUE(SendShutdownRequest());
    ASSERT_TRUE(host.WaitForExit(20000)) << "the viewer did not end";
    EXPECT_EQ(host.ExitCode(), 0) << qPrintable(host.Stderr());
    EXPECT_FALSE(host.Stderr().contains("reports error"));
    EXPECT_EQ(VisibleWindows(), std::nullopt) << "a window outlived the run";

    // One report per bitmap row of the drape, then of the surface (1200 x 600
    // cells at step 2), each r / H.
    QStringList expected = ConnectionReads();
    expected +=
        {"ConfirmProcess(1)", "GetProcessTextC(1)", "GetProcessTextD(1)", "ClearProgress(1)"};
    for (int index = 2; index <= 8; ++index)
        expected << QString("GetProcessParameter(1,%1)").arg(index);
    expected += {"GetHostText()", "GetHostNumber()", "GetWorkingFolder()",
                 "GetResourceFolderCount()", "GetResourceFolder(1)"};
    for (int pass = 0; pass < 2; ++pass)
        for (int r = 0; r < 600; ++r)
            expected << QString("ReportProgress(1,%1)").arg(double(float(r / 600.0)), 0, 'g', 17);
    expected += {"GetWorkingFolder()",  "GetWorkingFolder()", "GetWorkingFolder()",
                 "ReportProgress(1,0)", "ClearProgress(1)",   "FinishProcess(1)"};
    QStringList calls;
    for (const TLoggedCall& call : host.Calls())
        calls << (call.Method == "ReportProgress" ? QString("ReportProgress(%1,%2)")
                                                        .arg(call.Args.at(0).toInt())
                                                        .arg(call.Args.at(1).toDouble(), 0, 'g', 17)
                                                  : call.Text());
    EXPECT_EQ(calls, expected);
}

TEST(Viewer, MissingSurfaceShowsNoWindowAndReportsNoError)
{
    auto folder = TestFolder();
    THostRun host({folder->filePath("missing.rst")});
    ASSERT_TRUE(host.WaitForBusName("org.kartova.skyglide_msghndlr")) << qPrintable(host.Stderr());
    Settle(500);
    EXPECT_EQ(VisibleWindows(), std::nullopt) << "a visible window exists";
    ASSERT_TRUE(SendShutdownRequest());
    ASSERT_TRUE(host.WaitForExit(20000));
    EXPECT_EQ(host.ExitCode(), 0);
    EXPECT_FALSE(host.Stderr().contains("reports error")) << qPrintable(host.Stderr());
    const QStringList calls = host.CallTexts();
    EXPECT_EQ(calls.filter("ReportProgress").size(), 0);
    EXPECT_EQ(calls.last(), "FinishProcess(1)");
}

TEST(Viewer, UnreadablePaletteReportsTheFailureAndShowsNoWindow)
{
    auto folder = TestFolder();
    const QString palette = folder->filePath("short.smp");
    QFile file(palette);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("short");
    file.close();
    THostRun host({SampleFile("trinidad.rst"), "--palette", palette});
    ASSERT_TRUE(host.WaitForExit(30000)) << "the viewer did not end";
    EXPECT_EQ(host.ExitCode(), 0);
    EXPECT_TRUE(host.Stderr().contains("process 1 reports error -999: Sky Glide: skyglide"))
        << qPrintable(host.Stderr());
    EXPECT_TRUE(host.Stderr().contains("palette file too short")) << qPrintable(host.Stderr());
    // The palette is read before the first row: the report comes before any
    // progress or window.
    const QStringList calls = host.CallTexts();
    ASSERT_GE(calls.size(), 4);
    EXPECT_EQ(calls.mid(calls.size() - 4),
              (QStringList{"GetHostNumber()", "GetProcessTextB(1)", "GetProcessTextA(1)",
                           "ReportProcessError(1,-999,\"Sky Glide\",\"skyglide\")"}));
    EXPECT_EQ(VisibleWindows(), std::nullopt);
}

} // namespace
} // namespace skyglide::test

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
