// skyglide-movie run as a user runs it, on the bundled sample path: movies
// that ffprobe and ffmpeg read back, GeoTIFFs through the import cache, and
// failures and Ctrl+C that leave nothing behind.
#include "../SampleRasters.h"

#include <QDir>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <cmath>

namespace skyglide::test {
namespace {

struct TRun
{
    int Status = -1; // -1: did not exit normally
    std::string Out, Err;
};

class MovieTool : public testing::Test
{
protected:
    void SetUp() override
    {
        Folder = TestFolder();
        Environment.insert("XDG_CACHE_HOME", File("cache"));
        // As on a desktop, so that Qt has nothing to say about it.
        std::filesystem::create_directory(Folder / "runtime");
        std::filesystem::permissions(Folder / "runtime", std::filesystem::perms::owner_all);
        Environment.insert("XDG_RUNTIME_DIR", File("runtime"));
    }

    QString File(const QString& name) const
    {
        return QString::fromStdString((Folder / name.toStdString()).string());
    }

    QStringList Arguments(const QStringList& more) const
    {
        return QStringList{QString::fromStdString(Sample("trinidad.rst")), "--palette",
                           "elevation"} +
               more;
    }

    void Start(QProcess& process, const QStringList& arguments) const
    {
        process.setProcessEnvironment(Environment);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(ProgramPath("skyglide-movie"), arguments);
    }

    TRun Run(const QStringList& arguments) const
    {
        QProcess process;
        Start(process, arguments);
        const bool exited =
            process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit;
        return {exited ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }

    // The first lines of the bundled flight.
    QString SamplePath(int lines)
    {
        const std::string all = ReadBytes(Sample("trinidad-flight.csv"));
        std::size_t end = 0;
        for (int i = 0; i < lines; ++i)
            end = all.find('\n', end) + 1;
        WriteBytes(Folder / "flight.csv", all.substr(0, end));
        return File("flight.csv");
    }

    // What is in the test's folder, bar the path, the cache and the runtime
    // folder.
    QStringList Left() const
    {
        QStringList left = QDir(File("")).entryList(QDir::AllEntries | QDir::Hidden |
                                                    QDir::NoDotAndDotDot);
        left.removeAll("flight.csv");
        left.removeAll("cache");
        left.removeAll("runtime");
        return left;
    }

    std::filesystem::path Folder;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
};

// Every format at a size the encoders round, read back by ffprobe at the
// rounded size and rate with the frames the smoothing gives: one per pose for
// none, the path's playing time (poses × 60 ms) for spline. Above the horizon
// of a level view, --sky paints the sky over the background.
TEST_F(MovieTool, TheSamplePathBecomesAMovieOfEveryFormatThatFFmpegReads)
{
    const QString path = SamplePath(50);
    struct TCase
    {
        const char *Format, *File, *Smooth, *Codec;
        int Frames;
    };
    const int playing = int(std::lround(50 * 0.060 * 25));
    for (const TCase& c : {TCase{"mp4", "sample.mp4", "spline", "h264", playing},
                           TCase{"avi-msvc", "msvc.avi", "none", "msvideo1", 50},
                           TCase{"avi-divx", "divx.avi", "constant-speed", "mpeg4", playing},
                           TCase{"avi-raw", "raw.avi", "none", "rawvideo", 50},
                           TCase{"png", "frames", "none", "png", 50}}) {
        SCOPED_TRACE(c.Format);
        const TRun run = Run(Arguments({"--path", path, "--out", File(c.File), "--size", "203x117",
                                        "--fps", "25", "--format", c.Format, "--smooth", c.Smooth,
                                        "--sky"}));
        ASSERT_EQ(run.Status, 0) << run.Err;
        EXPECT_NE(run.Out.find("skyglide-movie: wrote " + File(c.File).toStdString()),
                  std::string::npos)
            << run.Out;
        const QString movie = File(c.File) + (c.Format == std::string("png") ? "/frame-%06d.png" : "");
        const QJsonObject stream = VideoStream(movie);
        EXPECT_EQ(stream["codec_name"].toString(), c.Codec);
        const int width = stream["width"].toInt(), height = stream["height"].toInt();
        EXPECT_TRUE(width <= 203 && width >= 200 && height <= 117 && height >= 112)
            << width << "x" << height;
        if (width != 203 || height != 117) {
            EXPECT_NE(run.Err.find("rounded"), std::string::npos) << run.Err;
        }
        EXPECT_EQ(stream["nb_read_frames"].toString().toInt(), c.Frames);
        if (c.Format != std::string("png")) {
            EXPECT_EQ(stream["r_frame_rate"].toString(), "25/1");
        }
        EXPECT_EQ(DecodeFrames(movie).size(), qsizetype(width) * height * 3 * c.Frames);
    }

    // The sample's pose 240 with the camera on the observer, looking level.
    WriteBytes(Folder / "level.csv", "0,-724.33,77.62,274.84,-0.90,0.00,-0.43,0.00,0.00,0.00\n");
    const TRun sky = Run(Arguments({"--path", File("level.csv"), "--out", File("sky"), "--size",
                                    "320x180", "--format", "png", "--smooth", "none", "--sky",
                                    "--background", "ff0000"}));
    ASSERT_EQ(sky.Status, 0) << sky.Err;
    const QByteArray top = DecodeFrames(File("sky") + "/frame-%06d.png").left(320 * 18 * 3);
    ASSERT_EQ(top.size(), 320 * 18 * 3);
    for (qsizetype i = 0; i < top.size(); i += 3)
        ASSERT_GT(std::uint8_t(top[i + 2]), std::uint8_t(top[i]) + 25) << "sky blue at " << i / 3;
}

// A GeoTIFF of the sample goes through the import cache and renders the same
// pictures as the sample itself; the same command renders the same bytes.
TEST_F(MovieTool, AGeoTiffRendersAsItsRasterPairAndEveryRunTheSame)
{
    const QString path = SamplePath(12);
    const QString tif = File("trinidad.tif");
    QProcess translate;
    translate.start("gdal_translate",
                    {"-q", QString::fromStdString(sampleVrt(Folder, "trinidad")), tif});
    ASSERT_TRUE(translate.waitForFinished(120000) && translate.exitCode() == 0)
        << translate.readAllStandardError().toStdString();

    const QStringList options{"--path", path, "--size", "160x90", "--format", "png", "--smooth",
                              "none", "--palette", "elevation"};
    const auto frames = [&](const QString& surface, const QString& out) {
        const TRun run = Run(QStringList{surface, "--out", File(out)} + options);
        EXPECT_EQ(run.Status, 0) << run.Err;
        std::string bytes;
        for (int i = 1; i <= 12; ++i)
            bytes += ReadBytes(Folder / out.toStdString() /
                               QStringLiteral("frame-%1.png").arg(i, 6, 10, QLatin1Char('0')).toStdString());
        return bytes;
    };
    const std::string sample = frames(QString::fromStdString(Sample("trinidad.rst")), "sample");
    EXPECT_EQ(frames(QString::fromStdString(Sample("trinidad.rst")), "again"), sample);
    EXPECT_EQ(frames(tif, "imported"), sample);
    EXPECT_FALSE(QDir(File("cache")).isEmpty(QDir::NoDotAndDotDot | QDir::AllEntries));
}

// Bad input and a folder that cannot take the movie: one line naming the
// program and the reason, status 2 for the command line and 1 otherwise,
// and no file.
TEST_F(MovieTool, FailuresSayWhyInOneLineAndLeaveNoFile)
{
    const QString path = SamplePath(5);
    WriteBytes(Folder / "bad.csv", "0,1,2,3\r\n");
    WriteBytes(Folder / "plain", "");
    const QString surface = QString::fromStdString(Sample("trinidad.rst"));
    struct TCase
    {
        QStringList Arguments;
        int Status;
        const char* Says;
    };
    const std::vector<TCase> cases = {
        {{surface, "--path", path, "--out", File("a.mp4"), "--fps", "12"}, 2, "frame rate"},
        {{surface, "--path", path, "--out", File("a.mp4"), "--size", "big"}, 2, "WIDTHxHEIGHT"},
        {{surface, "--path", path}, 2, "no --out"},
        {{File("none.rst"), "--path", path, "--out", File("a.mp4")}, 1, "none.rst"},
        {{surface, "--path", File("bad.csv"), "--out", File("a.mp4")}, 1, "bad.csv: line 1"},
        {{surface, "--path", path, "--out", File("plain/a.mp4"), "--size", "64x64"}, 1,
         "cannot write"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Says);
        const TRun run = Run(c.Arguments);
        EXPECT_EQ(run.Status, c.Status);
        EXPECT_EQ(run.Err.rfind("skyglide-movie: ", 0), 0u) << run.Err;
        EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
    }
    EXPECT_EQ(Left(), QStringList({"bad.csv", "plain"}));
}

// Ctrl+C while the frames are written: the movie is dropped, the temporary
// file with it.
TEST_F(MovieTool, CtrlCWhileRenderingLeavesNoFile)
{
    QProcess process;
    Start(process, Arguments({"--path", QString::fromStdString(Sample("trinidad-flight.csv")),
                              "--out", File("long.mp4"), "--size", "640x360"}));
    ASSERT_TRUE(WaitUntil([&] {
        return !Left().isEmpty() || process.state() == QProcess::NotRunning;
    })) << "the movie's temporary file appears";
    ASSERT_EQ(process.state(), QProcess::Running) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(Left().first().startsWith(".long.mp4.rendering-")) << Left().join(' ').toStdString();
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_EQ(process.readAllStandardError().toStdString(),
              "skyglide-movie: interrupted; no movie written\n");
    EXPECT_EQ(Left(), QStringList());
}

} // namespace
} // namespace skyglide::test
