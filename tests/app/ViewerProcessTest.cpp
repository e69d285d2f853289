// The real program started by the stand-in host, on the test's X server and
// session bus: the host's call log, the window the X server shows, the end of
// the run.
#include "DataFiles.h"
#include "HostRun.h"
#include "ScriptedHost.h"
#include "TestSupport.h"

namespace skyglide::test {
namespace {

const QString Trinidad = QString::fromStdString(Sample("trinidad.rst"));

std::optional<QString> VisibleWindows()
{
    return Xdotool({"search", "--onlyvisible", "--name", "."});
}

TEST(Viewer, StartsOnTheSampleTerrainAndEndsOnTheShutdownRequest)
{
    THostRun host({Trinidad, "--palette", "elevation", "--detail", "1"});
    const auto window = Xdotool({"search", "--sync", "--onlyvisible", "--name", "Sky Glide"});
    ASSERT_TRUE(window.has_value()) << qPrintable(host.Stderr());
    EXPECT_EQ(Xdotool({"getwindowname", window->section('\n', 0, 0)}), "Sky Glide");

    // The message window is published once the start-up is over.
    ASSERT_TRUE(host.WaitForBusName("org.kartova.skyglide_msghndlr"));
    // Each answer comes after the one before it was handled.
    for (const char* ignored :
         {"37021 4242 0", "37021 0 2424", "37022 4242 2424", "37021 2424 4242"})
        EXPECT_EQ(SendWindowMessage(ignored), "(int64 0,)") << ignored;
    EXPECT_TRUE(host.Running()) << "a message other than the request ended the viewer";
    ASSERT_EQ(SendWindowMessage("37021 4242 2424"), "(int64 0,)")
        << "the viewer waits for its user";
    ASSERT_TRUE(host.WaitForExit()) << "the viewer did not end";
    EXPECT_EQ(host.ExitCode(), 0) << qPrintable(host.Stderr());
    EXPECT_FALSE(host.Stderr().contains("reports error"));
    EXPECT_EQ(VisibleWindows(), std::nullopt) << "a window outlived the run";

    // One report per bitmap row of the drape, then of the surface (1200 x 600
    // cells at step 2), each r / H, in order although the viewer does not wait
    // for their answers, and ClearProgress after the last.
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

TEST(Viewer, UnreadablePaletteReportsTheFailureAndShowsNoWindow)
{
    const std::filesystem::path palette = TestFolder() / "short.smp";
    WriteBytes(palette, "short");
    THostRun host({Trinidad, "--palette", QString::fromStdString(palette.string())});
    ASSERT_TRUE(host.WaitForExit()) << "the viewer did not end";
    EXPECT_EQ(host.ExitCode(), 1) << "a reported failure is the run's failure";
    EXPECT_TRUE(host.Stderr().contains("process 1 reports error -999: Sky Glide: skyglide"))
        << qPrintable(host.Stderr());
    EXPECT_TRUE(host.Stderr().contains("palette file too short")) << qPrintable(host.Stderr());
    // The palette is read before the first row: the report comes before any
    // progress or window.
    EXPECT_EQ(host.CallTexts().mid(host.CallTexts().size() - 4),
              (QStringList{"GetHostNumber()", "GetProcessTextB(1)", "GetProcessTextA(1)",
                           "ReportProcessError(1,-999,\"Sky Glide\",\"skyglide\")"}));
    EXPECT_EQ(VisibleWindows(), std::nullopt);
}

// Surfaces that give no grid end the run like any other failed start-up:
// reported to the host, the reason on the terminal, no window, and a host
// that ends with a failure instead of waiting.
TEST(Viewer, SurfaceWithoutAGridReportsTheFailureAndEndsTheRun)
{
    const std::filesystem::path folder = TestFolder();
    const std::string f = folder.string() + "/";
    std::filesystem::create_directory(folder / "folder.rst");
    std::vector<std::string> noRows = docValues();
    noRows[5] = "0";
    WriteRaster(folder, noRows, "", "norows");
    std::vector<std::string> badDoc = docValues();
    badDoc[4] = "x";
    WriteRaster(folder, badDoc, int16Cells(std::vector<int>(12, 1)), "baddoc");
    WriteBytes(folder / "nodoc.rst", "");
    const std::pair<std::string, std::string> rows[] = {
        {"none.rst", f + "none.rst: no such file"},
        {"folder.rst", f + "folder.rst: is a folder, not a raster file"},
        {"nodoc.rst", f + "nodoc.rst: documentation file " + f + "nodoc.rdc not found"},
        {"baddoc.rst", "(status -1137, line 5)"},
        {"norows.rst", f + "norows.rst: the documented grid of 4 x 0 cells holds no cell"},
    };
    for (const auto& [file, message] : rows) {
        THostRun host({QString::fromStdString(f + file), "--detail", "1"});
        ASSERT_TRUE(host.WaitForExit()) << file << ": the run did not end";
        EXPECT_EQ(host.ExitCode(), 1) << file;
        EXPECT_TRUE(host.Stderr().contains(QString::fromStdString(message)))
            << qPrintable(host.Stderr());
        EXPECT_EQ(host.CallTexts().last(), "ReportProcessError(1,-999,\"Sky Glide\",\"skyglide\")")
            << file;
    }
    EXPECT_EQ(VisibleWindows(), std::nullopt);
}

} // namespace
} // namespace skyglide::test
