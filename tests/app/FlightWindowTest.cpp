// Flights in the scene window on the test's X server: recorded from real key
// events, saved, loaded and played back; loaded paths played into movies
// of the viewer's own frames that ffprobe and ffmpeg, programs this project
// did not write, read back.
#include "SceneWindow.h"

#include "app/FlightPath.h"
#include "render/SceneViewer.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QJsonObject>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>


namespace skyglide::test {
namespace {

using C = TSceneCommand;
using S = TPathState;

// Where the path stands after one path tick.
struct TTick
{
    S State;
    std::int32_t Line;
    std::int32_t Frames;
};

// ---- ffprobe and ffmpeg ---------------------------------------------------------

// Mean colour of rows [top, bottom) of an RGB picture width pixels wide.
TColour MeanColour(const QByteArray& rgb, int width, int top, int bottom)
{
    long long sum[3] = {};
    const auto* p = reinterpret_cast<const std::uint8_t*>(rgb.constData());
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                sum[c] += p[(std::size_t(y) * width + x) * 3 + c];
    const long long n = std::max(1LL, (long long)(bottom - top) * width);
    return {int(sum[0] / n), int(sum[1] / n), int(sum[2] / n)};
}

// Mean difference per colour value between a decoded RGB picture and the
// viewer's read-back (RGBA, bottom row first) of the same size.
double Difference(const QByteArray& rgb, const TBitmap32& frame)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(rgb.constData());
    double sum = 0;
    for (int y = 0; y < frame.Height(); ++y) {
        const std::uint8_t* q = frame.ScanLine(frame.Height() - 1 - y);
        for (int x = 0; x < frame.Width(); ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int(p[(std::size_t(y) * frame.Width() + x) * 3 + c]) -
                                int(q[x * 4 + c]));
    }
    return sum / (double(frame.Width()) * frame.Height() * 3);
}

// ---- the window -------------------------------------------------------------------

class FlightWindow : public SceneWindow
{
protected:
    // Trinidad at detail 1, the viewer resized to viewer unless it is empty;
    // every path tick logged.
    void StartTrinidad(QSize viewer = {})
    {
        ASSERT_NO_FATAL_FAILURE(Start(ViewerScript(Sample("trinidad.rst"))));
        TFlightController& flight = Form->Flight();
        // Connected after the controller's own handler, so it runs right after it.
        QObject::connect(&flight.Timer2(), &QTimer::timeout, [this, &flight] {
            Ticks.push_back({flight.PathState(), flight.PathFile().CurrentLine(),
                             flight.AVIRecorder1().FrameIndex()});
        });
        if (!viewer.isEmpty()) {
            Form->resize(viewer + Form->size() - Form->SceneViewer1().size());
            ASSERT_TRUE(WaitUntil([&] { return Form->SceneViewer1().size() == viewer; }));
        }
    }

    // The logged ticks that ended in state.
    std::vector<TTick> Applied(S state) const
    {
        std::vector<TTick> applied;
        std::copy_if(Ticks.begin(), Ticks.end(), std::back_inserter(applied),
                     [state](const TTick& tick) { return tick.State == state; });
        return applied;
    }

    // Runs command with its file dialog answered by file.
    void Answer(C command, const QString& file)
    {
        Dialogs.FileAnswer = file;
        Form->Execute(command);
        Dialogs.FileAnswer.reset();
    }

    // Loads a path file of lines, the cursor at its line 1.
    void LoadLines(const QString& name, const std::vector<std::string>& lines)
    {
        std::string bytes;
        for (const std::string& line : lines)
            bytes += line + "\r\n";
        WriteBytes(File(name).toStdString(), bytes);
        Answer(C::actLoad, File(name));
    }

    bool WaitForState(S state)
    {
        return WaitUntil([&] { return Form->Flight().PathState() == state; });
    }
    // Waits for count more path ticks.
    bool WaitForTicks(std::size_t count)
    {
        const std::size_t seen = Ticks.size();
        return WaitUntil([&] { return Ticks.size() >= seen + count; });
    }

    static void Key(const char* key) { ASSERT_TRUE(Xdotool({"key", key})); }

    std::vector<std::string> Errors() const
    {
        std::vector<std::string> errors;
        for (const auto& shown : Dialogs.Shown)
            if (shown.Kind == "error")
                errors.push_back(shown.Text);
        return errors;
    }

    std::vector<TTick> Ticks;
};

// ---- recording and playback ---------------------------------------------------

TEST_F(FlightWindow, FlightRecordedFromKeysSavesLoadsAndPlaysBackByKeys)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad());
    ASSERT_NO_FATAL_FAILURE(Focus(*Form));
    TFlightController& flight = Form->Flight();
    TPathFile& path = flight.PathFile();
    // F8, a turning climb with the view tilted up, F9 (disabled while
    // recording), F11.
    ASSERT_NO_FATAL_FAILURE(Key("F8"));
    ASSERT_TRUE(WaitForState(S::psRecording));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Recording");
    ASSERT_NO_FATAL_FAILURE(Hold({"Up", "Left", "shift"}, [&] { return path.Count() >= 12; }));
    ASSERT_NO_FATAL_FAILURE(Hold({"Prior"}, [&] { return path.Count() >= 18; }));
    TKeyEvents keys(*Form);
    ASSERT_NO_FATAL_FAILURE(Key("F9"));
    ASSERT_TRUE(WaitUntil([&] { return keys.Releases > 0; }));
    ASSERT_TRUE(WaitForTicks(2));
    EXPECT_EQ(flight.PathState(), S::psRecording) << "F9 does nothing while recording";
    ASSERT_NO_FATAL_FAILURE(Key("F11"));
    ASSERT_TRUE(WaitForState(S::psStopped));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Path loaded ");

    // The keys moved the rig while it was recorded.
    const int n = path.Count();
    EXPECT_EQ(int(Applied(S::psRecording).size()), n) << "one line per tick";
    EXPECT_NE(path[0], path[n - 1]);
    std::string bytes;
    for (int i = 0; i < n; ++i)
        bytes += path[i] + "\r\n";

    // Saved (the dialog starts in the host's folder without a name), loaded,
    // saved again under the name it is preset to: the same bytes.
    const QString file = File("recorded.csv");
    Answer(C::actSave, file);
    ASSERT_EQ(Dialogs.Shown.back().Kind, "save");
    EXPECT_EQ(Dialogs.Shown.back().Text, "");
    EXPECT_EQ(QString::fromStdString(Dialogs.Shown.back().Caption), File(""));
    EXPECT_EQ(ReadBytes(file.toStdString()), bytes);
    Answer(C::actLoad, file);
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Path loaded " + file);
    EXPECT_EQ(path.CurrentLine(), 1) << "the rig jumps to line 1";
    Answer(C::actSave, File("again.csv"));
    EXPECT_EQ(Dialogs.Shown.back().Text, file.toStdString()) << "preset to the path's name";
    EXPECT_EQ(ReadBytes(File("again.csv").toStdString()), bytes);

    // F9 plays every line from line 2, one per tick.
    Ticks.clear();
    ASSERT_NO_FATAL_FAILURE(Key("F9"));
    ASSERT_TRUE(WaitForState(S::psPlaying));
    ASSERT_TRUE(WaitForState(S::psStopped));
    const std::vector<TTick> played = Applied(S::psPlaying);
    ASSERT_EQ(int(played.size()), n - 2);
    EXPECT_EQ(played.front().Line, 2);

    // F12 plays from line 1 again, Space pauses.
    Ticks.clear();
    ASSERT_NO_FATAL_FAILURE(Key("F12"));
    ASSERT_TRUE(WaitUntil([&] { return path.CurrentLine() >= 3; }));
    EXPECT_EQ(Applied(S::psPlaying).front().Line, 1);
    ASSERT_NO_FATAL_FAILURE(Key("space"));
    ASSERT_TRUE(WaitForState(S::psStopped));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Paused " + File("again.csv"));
    EXPECT_TRUE(Errors().empty());
}

// ---- movies ----------------------------------------------------------------------

TEST_F(FlightWindow, SaveAsAVIWritesOneFramePerRecordPlayedAsTheViewerShowsIt)
{
    const QSize viewer(832, 560);
    ASSERT_NO_FATAL_FAILURE(StartTrinidad(viewer));
    Form->Action(C::actSky).trigger();
    // The movie starts after the path's current line, here 289 of 300: the
    // progress bar then stays put for most ticks, so nothing but the movie's
    // own frame renders the pose.
    const std::vector<std::string> path = NorthwardFlight(300, 288);
    const QString movie = File("northward.avi");
    ASSERT_NO_FATAL_FAILURE(LoadLines("northward.csv", path));
    Form->Flight().PathFile().SetCurrentLine(289);

    Answer(C::actSaveAVI, movie);
    EXPECT_EQ(Dialogs.Shown.back().Kind, "save") << "no question for a window not maximized";
    EXPECT_EQ(QString::fromStdString(Dialogs.Shown.back().Caption), File(""));
    EXPECT_EQ(Form->Flight().PathState(), S::psSavingMovie);
    ASSERT_TRUE(WaitForState(S::psStopped));
    EXPECT_EQ(Form->prbProgress().value(), 0);
    const std::vector<TTick> played = Applied(S::psSavingMovie);
    ASSERT_EQ(played.size(), 10u) << "lines 290 to 299";
    for (const TTick& tick : played)
        EXPECT_EQ(tick.Frames, tick.Line - 289) << "a frame right after each line";

    const QJsonObject stream = VideoStream(movie);
    EXPECT_EQ(stream["codec_name"].toString(), "msvideo1");
    EXPECT_EQ(stream["width"].toInt(), viewer.width());
    EXPECT_EQ(stream["height"].toInt(), viewer.height());
    EXPECT_EQ(stream["r_frame_rate"].toString(), "15/1");
    EXPECT_EQ(stream["nb_read_frames"].toString().toInt(), int(played.size()));

    const qsizetype frameBytes = qsizetype(viewer.width()) * viewer.height() * 3;
    const QByteArray frames = DecodeFrames(movie);
    ASSERT_EQ(frames.size(), frameBytes * qsizetype(played.size()));
    const auto viewAt = [&](int line) {
        ApplyRigPose(Form->Scene(), NorthwardPose(line, 288));
        Form->SceneViewer1().RenderFrame();
        return Form->SceneViewer1().ReadFrameImage();
    };
    for (std::size_t i = 0; i < played.size(); ++i) {
        SCOPED_TRACE(played[i].Line);
        const QByteArray frame = frames.mid(qsizetype(i) * frameBytes, frameBytes);
        // Upright: the sky at the top, the terrain at the bottom.
        const TColour top = MeanColour(frame, viewer.width(), 0, viewer.height() / 10);
        const TColour bottom =
            MeanColour(frame, viewer.width(), viewer.height() * 9 / 10, viewer.height());
        EXPECT_GT(top.B, top.R + 25) << "sky blue at the top";
        EXPECT_GT(top.B, 150);
        EXPECT_LT(bottom.B, bottom.R) << "terrain at the bottom";
        // The pose applied just before the frame, not the one before it.
        const double own = Difference(frame, viewAt(played[i].Line));
        const double previous = Difference(frame, viewAt(played[i].Line - 1));
        EXPECT_LT(own * 1.5, previous) << "own " << own << ", previous " << previous;
    }
    EXPECT_TRUE(Errors().empty());
}

// An odd view: Video-1 stores it padded to multiples of 4, and the view's
// last columns (beyond its read-back, 824 wide) and the padding show the
// sky, not a black stripe. The codecs and sizes of the other compressors are
// the recorder's own.
TEST_F(FlightWindow, AnOddViewGivesAPaddedMovieWithoutAStripe)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad({827, 530}));
    Form->Action(C::actSky).trigger();
    const QString movie = File("odd.avi");
    ASSERT_NO_FATAL_FAILURE(LoadLines("short.csv", NorthwardFlight(6)));
    Answer(C::actSaveAVI, movie);
    ASSERT_TRUE(WaitForState(S::psStopped));
    const QJsonObject stream = VideoStream(movie);
    EXPECT_EQ(stream["codec_name"].toString(), "msvideo1");
    EXPECT_EQ(stream["width"].toInt(), 828);
    EXPECT_EQ(stream["height"].toInt(), 532);
    EXPECT_EQ(stream["nb_read_frames"].toString().toInt(), 4);
    const QByteArray frames = DecodeFrames(movie);
    ASSERT_EQ(frames.size(), qsizetype(828) * 532 * 3 * 4);
    for (int y = 0; y < 20; ++y)
        for (int x = 820; x < 828; ++x)
            ASSERT_GT(std::uint8_t(frames[(qsizetype(y) * 828 + x) * 3 + 2]), 150)
                << "blue at " << x << ", " << y;
}

TEST_F(FlightWindow, AMovieKeepsTheSizeOfItsStart_ClosingTheWindowKeepsNone)
{
    const QSize viewer(640, 480);
    ASSERT_NO_FATAL_FAILURE(StartTrinidad(viewer));
    TAVIRecorder& recorder = Form->Flight().AVIRecorder1();
    ASSERT_NO_FATAL_FAILURE(LoadLines("long.csv", NorthwardFlight(40)));
    ASSERT_NO_FATAL_FAILURE(Focus(*Form));
    Answer(C::actSaveAVI, File("stopped.avi"));
    ASSERT_TRUE(WaitUntil([&] { return recorder.FrameIndex() >= 4; }));
    // A larger window changes neither the movie's size nor its course.
    Form->resize(Form->size() + QSize(100, 60));
    ASSERT_TRUE(WaitUntil([&] { return recorder.FrameIndex() >= 8; }));
    ASSERT_NO_FATAL_FAILURE(Key("Escape"));
    ASSERT_TRUE(WaitForState(S::psStopped));
    const QJsonObject stopped = VideoStream(File("stopped.avi"));
    EXPECT_EQ(stopped["width"].toInt(), viewer.width());
    EXPECT_EQ(stopped["height"].toInt(), viewer.height());
    EXPECT_EQ(stopped["nb_read_frames"].toString().toInt(), recorder.FrameIndex());

    // The next movie has the viewer's size of its own start.
    Answer(C::actSaveAVI, File("resized.avi"));
    Form->Execute(C::actStop);
    const QJsonObject resized = VideoStream(File("resized.avi"));
    EXPECT_EQ(resized["width"].toInt(), viewer.width() + 100);
    EXPECT_EQ(resized["height"].toInt(), viewer.height() + 60);

    // Closing the window in the middle of a movie deletes it, for good.
    const QString closing = File("closing.avi");
    Answer(C::actSaveAVI, closing);
    ASSERT_TRUE(WaitUntil([&] { return recorder.FrameIndex() >= 3; }));
    ASSERT_TRUE(QFile::exists(closing));
    QPointer<TSceneFrm> form = Form;
    EXPECT_TRUE(Form->close());
    EXPECT_FALSE(QFile::exists(closing));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form) << "the window goes, and its path tick with it";
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Dialogs.Shown.back().Kind, "save") << "a loaded path asks nothing at the close";
}

} // namespace
} // namespace skyglide::test
