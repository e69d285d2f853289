// The real program started by the stand-in host on the sample terrain, on
// the test's X server and session bus: the host's call log, the window the X
// server shows, and the end of the run.
#include "HostRun.h"
#include "ViewerTestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <csignal>

namespace skyglide::test {
namespace {

QString Sample(const char* name)
{
    return QString::fromStdString(SamplesDir()) + QLatin1Char('/') + QLatin1String(name);
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
    THostRun host({Sample("trinidad.rst"), "--palette", "elevation", "--detail", "1"});
    const std::optional<QString> window =
        Xdotool({"search", "--sync", "--onlyvisible", "--name", "Sky Glide"});
    ASSERT_TRUE(window.has_value()) << qPrintable(host.Stderr());
    EXPECT_EQ(Xdotool({"getwindowname", window->section('\n', 0, 0)}), "Sky Glide");
    EXPECT_FALSE(host.WaitForExit(300)) << "the viewer waits for its user";

    ASSERT_TRUE(SendShutdownRequest());
    ASSERT_TRUE(host.WaitForExit(20000)) << "the viewer did not end";
    EXPECT_EQ(host.ExitCode(), 0) << qPrintable(host.Stderr());
    EXPECT_FALSE(host.Stderr().contains("reports error"));
    EXPECT_EQ(VisibleWindows(), std::nullopt) << "a window outlived the run";

    const int pn = 1;
    QStringList expected = ConnectionReads();
    expected << QString("ConfirmProcess(%1)").arg(pn) << QString("GetProcessTextC(%1)").arg(pn)
             << QString("GetProcessTextD(%1)").arg(pn) << QString("ClearProgress(%1)").arg(pn);
    for (int index = 2; index <= 8; ++index)
        expected << QString("GetProcessParameter(%1,%2)").arg(pn).arg(index);
    expected << "GetHostText()"
             << "GetHostNumber()"
             << "GetWorkingFolder()"
             << "GetResourceFolderCount()"
             << "GetResourceFolder(1)";
    // One report per bitmap row of the drape, then of the surface: 1200 × 600
    // cells at step 2.
    for (int pass = 0; pass < 2; ++pass)
        for (int r = 0; r < 600; ++r)
            expected << "ReportProgress";
    expected << "GetWorkingFolder()"
             << "GetWorkingFolder()"
             << "GetWorkingFolder()" << QString("ReportProgress(%1,0)").arg(pn)
             << QString("ClearProgress(%1)").arg(pn) << QString("FinishProcess(%1)").arg(pn);

    const std::vector<TLoggedCall> calls = host.Calls();
    QStringList texts;
    int row = 0;
    for (const TLoggedCall& call : calls) {
        if (call.Method == "ReportProgress" && row < 1200) {
            const int r = row++ % 600;
            EXPECT_EQ(call.Args.at(1).toDouble(), double(float(double(r) / 600)))
                << "report " << row;
            texts << call.Method;
        } else {
            texts << call.Text();
        }
    }
    EXPECT_EQ(texts, expected);
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
    THostRun host({Sample("trinidad.rst"), "--palette", palette});
    ASSERT_TRUE(host.WaitForExit(30000)) << "the viewer did not end";
    EXPECT_EQ(host.ExitCode(), 0);
    EXPECT_TRUE(host.Stderr().contains("process 1 reports error -999: Sky Glide: skyglide"))
        << qPrintable(host.Stderr());
    EXPECT_TRUE(host.Stderr().contains("palette file too short")) << qPrintable(host.Stderr());
    // The palette is read before the first row: the load ends with the
    // report, before any progress or window.
    const QStringList calls = host.CallTexts();
    ASSERT_GE(calls.size(), 3);
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
