// The flight path without a window: the path tick driven by hand, poses on
// the scene, movies from a frame source that paints a plain picture, read
// back by ffprobe.
#include "app/FlightController.h"

#include "TestSupport.h"

#include "app/FlightPath.h"
#include "app/SceneComposition.h"
#include "render/DummyCube.h"

namespace skyglide::test {
namespace {

using S = TPathState;

// A viewer that shows a grey picture of its size.
struct TGreySource : TAVIFrameSource
{
    void SnapShot(TAVISnapshot& image) override
    {
        image = {64, 48, std::vector<std::uint8_t>(64 * 48 * 4, 128)};
    }
    void RenderToBitmap(TBitmap&, int) override {}
    void CopyFrameBuffer(TBitmap&) override {}
};

// The controller of a composed scene, with what it reports.
class FlightController : public testing::Test
{
protected:
    FlightController()
    {
        Flight.Timer2().stop(); // the test ticks by hand
        Flight.OnCaption = [this](const QString& caption) { Caption = caption; };
        Flight.OnProgress = [this](int percent) { Progress = percent; };
        Flight.OnError = [this](const QString& text) {
            Errors << text;
            if (OnError)
                OnError();
        };
        Flight.AVIRecorder1().SetSceneViewer(&Source);
        Flight.AVIRecorder1().SetWidth(64);
        Flight.AVIRecorder1().SetHeight(48);
        // Warnings on the terminal are faults too (a caption formatted
        // without its argument wrote one at every recording).
        m_previousHandler = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& text) {
                if (type == QtWarningMsg)
                    ADD_FAILURE() << "Qt warning: " << qPrintable(text);
            });
        Flight.OnPoseApplied = [this] { ++PosesApplied; };
    }
    ~FlightController() override { qInstallMessageHandler(m_previousHandler); }

    // Loads a path file of lines.
    std::string Load(const std::vector<std::string>& lines, const std::string& name = "p.csv")
    {
        const std::string file = (Folder / name).string();
        WritePath(file, lines);
        Flight.LoadPath(file);
        return file;
    }

    // Ticks until the path stops; the lines applied, one per tick.
    std::vector<int> PlayThrough()
    {
        std::vector<int> lines;
        for (int tick = 0; tick < 1000 && Flight.PathState() != S::psStopped; ++tick) {
            Flight.Timer2Timer();
            lines.push_back(Flight.PathFile().CurrentLine());
        }
        return lines;
    }

    TPose Pose() { return RigPose(Scene); }

    std::filesystem::path Folder = TestFolder();
    TSceneComposition Scene;
    TGreySource Source;
    TFlightController Flight{Scene};
    QString Caption;
    int Progress = -1;
    int PosesApplied = 0;
    QStringList Errors;
    std::function<void()> OnError;

private:
    QtMessageHandler m_previousHandler;
};

TEST_F(FlightController, RecordsOnePosePerTickAndPlaysThemBackLineByLine)
{
    Flight.Record();
    EXPECT_EQ(Caption, "Sky Glide - Recording");
    std::vector<TPose> poses;
    for (int tick = 0; tick < 8; ++tick) {
        Scene.Observer->Move(10);
        Scene.Observer->Turn(5);
        poses.push_back(Pose());
        Flight.Timer2Timer();
    }
    Flight.Stop();
    EXPECT_EQ(Caption, "Sky Glide - Path loaded ");
    TPathFile& path = Flight.PathFile();
    ASSERT_EQ(path.Count(), 8);
    EXPECT_EQ(path.CurrentLine(), 0) << "a recording starts over";
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(path[i], formatPoseLine(i, poses[std::size_t(i)])) << i;

    // Playing applies every line but line 0, one a tick, with the progress
    // rounded half to even; the end sets the caption and the progress back.
    const std::string file = (Folder / "recorded.csv").string();
    Flight.SavePath(file);
    Flight.Play();
    EXPECT_EQ(Caption, QString::fromStdString("Sky Glide - Playing " + file));
    std::vector<int> progress;
    for (int tick = 0; tick < 7; ++tick) {
        Flight.Timer2Timer();
        progress.push_back(Progress);
        ASSERT_EQ(path.CurrentLine(), tick + 1);
        EXPECT_EQ(Pose().ObserverPosition, path.currentPose().ObserverPosition);
        EXPECT_EQ(Pose().CameraPosition, path.currentPose().CameraPosition);
    }
    EXPECT_EQ(progress, (std::vector<int>{12, 25, 38, 50, 62, 75, 88}));
    EXPECT_EQ(PosesApplied, 7) << "the read-out is told of every pose";
    Flight.Timer2Timer();
    EXPECT_EQ(Flight.PathState(), S::psStopped);
    EXPECT_EQ(Caption, QString::fromStdString("Sky Glide - Path loaded " + file));
    EXPECT_EQ(Progress, 0);

    EXPECT_TRUE(Errors.isEmpty());
}

TEST_F(FlightController, LoadingPutsTheRigOnLineOne_AFailedLoadOrSaveChangesNothing)
{
    const std::vector<std::string> lines = NorthwardFlight(4);
    const std::string file = Load(lines);
    EXPECT_EQ(Flight.PathState(), S::psStopped);
    EXPECT_EQ(Flight.PathFile().CurrentLine(), 1);
    EXPECT_EQ(formatPoseLine(1, Pose()), lines[1]);
    EXPECT_EQ(Progress, 0);
    EXPECT_EQ(Caption, QString::fromStdString("Sky Glide - Path loaded " + file));

    const std::string missing = (Folder / "none.csv").string();
    Flight.LoadPath(missing);
    Flight.SavePath((Folder / "no" / "p.csv").string());
    // A file whose line 1 holds no pose is not a path the load can show.
    std::vector<std::string> broken = lines;
    broken[1] = "1,-600.00,abc,70.00,0.00,0.00,1.00,0.00,0.14,0.01";
    const std::string brokenFile = Load(broken, "broken.csv");
    ASSERT_EQ(Errors.size(), 3);
    EXPECT_TRUE(Errors[0].startsWith(QString::fromStdString("Cannot open file \"" + missing)));
    EXPECT_TRUE(Errors[1].startsWith("Cannot ")) << Errors[1].toStdString();
    EXPECT_EQ(Errors[2], QString::fromStdString("Cannot load path \"" + brokenFile +
                                                "\": line 2: 'abc' is not a valid floating "
                                                "point value"));
    EXPECT_EQ(Flight.PathFile().FileName(), file);
    EXPECT_EQ(Flight.PathFile().Count(), 4);
    EXPECT_EQ(Caption, QString::fromStdString("Sky Glide - Path loaded " + file));
}

TEST_F(FlightController, MalformedLinesShowOneErrorEachAndPlayOn)
{
    std::vector<std::string> lines = NorthwardFlight(7);
    lines[2] = "2,-600.00,abc,70.00,0.00,0.00,1.00,0.00,0.14,0.01";
    lines[4] = "4,-600.00,95.00,100.00,0.00";
    Load(lines);
    // An error box lets events through: a tick in it does nothing.
    OnError = [this] { Flight.Timer2Timer(); };
    Flight.Play();
    std::vector<TPose> shown;
    while (Flight.PathState() == S::psPlaying) {
        Flight.Timer2Timer();
        shown.push_back(Pose());
    }
    EXPECT_EQ(Errors, (QStringList{"'abc' is not a valid floating point value",
                                   "List index out of bounds (5)"}));
    ASSERT_EQ(shown.size(), 6u) << "lines 2 to 6 and the end";
    // A line that failed leaves the pose of the line before it.
    for (const int line : {2, 3, 4, 5, 6}) {
        const int from = line == 2 || line == 4 ? line - 1 : line;
        EXPECT_EQ(formatPoseLine(from, shown[std::size_t(line - 2)]), lines[std::size_t(from)])
            << line;
    }
    EXPECT_EQ(Scene.Scene1.UpdateCount(), 0) << "the scene's notices are resumed";
}

// The movie dropped when the window closes mid-way is the window's test.
TEST_F(FlightController, MovieOfOneFramePerLine_NoneReplacedUnasked_StopKeepsAShorterOne)
{
    const std::string path = Load(NorthwardFlight(10));
    const auto movie = [this](const char* name) {
        return QString::fromStdString((Folder / name).string());
    };

    Flight.SaveMovie(movie("whole.avi").toStdString());
    EXPECT_EQ(Flight.PathState(), S::psSavingMovie);
    EXPECT_EQ(Caption,
              QString::fromStdString("Sky Glide - Save " + path + " to ") + movie("whole.avi"));
    EXPECT_EQ(PlayThrough().size(), 9u) << "lines 2 to 9 and the end";
    EXPECT_FALSE(Flight.AVIRecorder1().Writing());
    EXPECT_EQ(VideoStream(movie("whole.avi"))["nb_read_frames"].toString(), "8");
    // No to the overwrite question leaves the movie and the state.
    const std::string whole = ReadBytes(movie("whole.avi").toStdString());
    Flight.SaveMovie(movie("whole.avi").toStdString());
    EXPECT_EQ(Flight.PathState(), S::psStopped);
    EXPECT_EQ(ReadBytes(movie("whole.avi").toStdString()), whole);

    Flight.SaveMovie(movie("stopped.avi").toStdString());
    for (int tick = 0; tick < 3; ++tick)
        Flight.Timer2Timer();
    Flight.Stop();
    EXPECT_EQ(Flight.PathFile().CurrentLine(), 0) << "Stop rewinds a movie's path";
    EXPECT_EQ(VideoStream(movie("stopped.avi"))["nb_read_frames"].toString(), "3");
    EXPECT_TRUE(Errors.isEmpty());
}

} // namespace
} // namespace skyglide::test
