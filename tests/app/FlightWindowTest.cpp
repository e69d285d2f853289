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
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QTimer>

#include <cmath>
#include <numbers>

namespace skyglide::test {
namespace {

using C = TSceneCommand;
using S = TPathState;

// What the window shows after one path tick.
struct TTick
{
    S State;
    std::int32_t Line;
    QString Caption;
    TPose Pose;
    std::int32_t Frames;
};

// The pose a path line holds, read with Qt's number conversion; the
// direction normalised as a whole, as the observer keeps it.
TPose LinePose(const std::string& line)
{
    const QStringList fields = QString::fromStdString(line).split(',');
    EXPECT_EQ(fields.size(), 10) << line;
    std::array<float, 9> v{};
    for (int i = 0; i < 9 && i + 1 < fields.size(); ++i)
        v[std::size_t(i)] = float(fields[i + 1].toDouble());
    const TAffineVector d = normalized(TAffineVector{v[3], v[4], v[5]});
    return {{v[0], v[1], v[2]}, {d.X, d.Y, d.Z}, {v[6], v[7], v[8]}};
}

// A level flight northwards over the middle of Trinidad at detail 1 (1200 ×
// 600 cells, heights up to 60), the view tilted 8° down: in place up to line
// movingFrom, then 15 units a line.
std::vector<std::string> NorthwardFlight(int lines, int movingFrom = 0)
{
    const double tilt = 8 * std::numbers::pi / 180;
    TPose pose{{-600, 95, 40}, {0, 0, 1}, {0, float(std::sin(tilt)), float(1 - std::cos(tilt))}};
    std::vector<std::string> path;
    for (int i = 0; i < lines; ++i) {
        pose.ObserverPosition[2] = float(40 + 15 * std::max(0, i - movingFrom));
        path.push_back(formatPoseLine(i, pose));
    }
    return path;
}

// ---- ffprobe and ffmpeg ---------------------------------------------------------

// Runs program; its standard output, with its exit and complaints expected
// to be clean.
QByteArray Run(const QString& program, const QStringList& arguments)
{
    QProcess process; // killed when it goes
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(120000)) << program.toStdString() << " did not end";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << program.toStdString();
    EXPECT_EQ(process.readAllStandardError().toStdString(), "") << program.toStdString();
    return process.readAllStandardOutput();
}

// ffprobe's only stream of a movie, its frames counted by decoding
// (nb_read_frames).
QJsonObject VideoStream(const QString& movie)
{
    const QJsonArray streams =
        QJsonDocument::fromJson(Run("ffprobe", {"-v", "error", "-count_frames", "-show_entries",
                                                "stream=codec_type,codec_name,codec_tag_string,"
                                                "width,height,r_frame_rate,nb_read_frames",
                                                "-of", "json", movie}))
            .object()
            .value("streams")
            .toArray();
    EXPECT_EQ(streams.size(), 1);
    return streams.isEmpty() ? QJsonObject() : streams[0].toObject();
}

// Every frame decoded as RGB, top row first, one after the other.
QByteArray DecodeFrames(const QString& movie)
{
    return Run("ffmpeg", {"-v", "error", "-i", movie, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
}

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
                             Form->windowTitle(), RigPose(Form->Scene()),
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

    // One line per recording tick: the rig's pose at that tick.
    const int n = path.Count();
    const std::vector<TTick> recording = Applied(S::psRecording);
    ASSERT_EQ(int(recording.size()), n) << "one line per tick";
    std::vector<std::string> recorded;
    std::string bytes;
    for (int i = 0; i < n; ++i) {
        recorded.push_back(path[i]);
        bytes += path[i] + "\r\n";
        EXPECT_EQ(recorded.back(), formatPoseLine(i, recording[std::size_t(i)].Pose)) << i;
    }
    EXPECT_NE(LinePose(recorded[0]).ObserverPosition, LinePose(recorded[std::size_t(n - 1)]).ObserverPosition);
    EXPECT_NE(LinePose(recorded[0]).CameraPosition, LinePose(recorded[std::size_t(n - 1)]).CameraPosition);

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

    // F9 plays every line from line 2, one per tick, as recorded.
    Ticks.clear();
    ASSERT_NO_FATAL_FAILURE(Key("F9"));
    ASSERT_TRUE(WaitForState(S::psPlaying));
    ASSERT_TRUE(WaitForState(S::psStopped));
    std::vector<int> lines;
    for (const TTick& tick : Applied(S::psPlaying)) {
        lines.push_back(tick.Line);
        const TPose expected = LinePose(recorded[std::size_t(tick.Line)]);
        EXPECT_EQ(tick.Pose.ObserverPosition, expected.ObserverPosition) << tick.Line;
        EXPECT_EQ(tick.Pose.CameraPosition, expected.CameraPosition) << tick.Line;
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), 2);
    EXPECT_EQ(lines.back(), n - 1);
    EXPECT_EQ(int(lines.size()), n - 2);

    // Space pauses, F12 plays from line 1 again.
    Form->Execute(C::actPlay);
    ASSERT_TRUE(WaitUntil([&] { return path.CurrentLine() >= 3; }));
    ASSERT_NO_FATAL_FAILURE(Key("space"));
    ASSERT_TRUE(WaitForState(S::psStopped));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Paused " + File("again.csv"));
    Ticks.clear();
    ASSERT_NO_FATAL_FAILURE(Key("F12"));
    ASSERT_TRUE(WaitUntil([&] { return !Applied(S::psPlaying).empty(); }));
    EXPECT_EQ(Applied(S::psPlaying).front().Line, 1);
    ASSERT_TRUE(WaitForState(S::psStopped));
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
        ApplyRigPose(Form->Scene(), LinePose(path[std::size_t(line)]));
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

TEST_F(FlightWindow, EachCompressorGivesAMovieThatDecodes_NoneIsOverwrittenUnasked)
{
    // An odd viewer size: Video-1 stores it padded to multiples of 4.
    ASSERT_NO_FATAL_FAILURE(StartTrinidad({827, 530}));
    Form->Action(C::actSky).trigger();
    TAVIRecorder& recorder = Form->Flight().AVIRecorder1();
    recorder.OnChooseCompressor = [](const std::vector<TAVIEncoderInfo>&) {
        return std::string(); // the chooser cancelled
    };
    const struct
    {
        const char* Name;
        TAVICompressor Compressor;
        const char* Codec;
        const char* Tag;
        int Width, Height;
    } rows[] = {
        {"default", TAVICompressor::acDefault, "msvideo1", "MSVC", 828, 532},
        {"divx", TAVICompressor::acDivX, "mpeg4", "divx", 827, 530},
        {"dialogCancelled", TAVICompressor::acShowDialog, "rawvideo", "", 827, 530},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString movie = File(QString("compressor-%1.avi").arg(row.Name));
        recorder.SetCompressor(row.Compressor);
        ASSERT_NO_FATAL_FAILURE(LoadLines("short.csv", NorthwardFlight(6)));
        Answer(C::actSaveAVI, movie);
        ASSERT_TRUE(WaitForState(S::psStopped));
        const QJsonObject stream = VideoStream(movie);
        EXPECT_EQ(stream["codec_name"].toString(), row.Codec);
        if (*row.Tag) {
            EXPECT_EQ(stream["codec_tag_string"].toString(), row.Tag);
        }
        EXPECT_EQ(stream["width"].toInt(), row.Width);
        EXPECT_EQ(stream["height"].toInt(), row.Height);
        EXPECT_EQ(stream["nb_read_frames"].toString().toInt(), 4);
        // The view's last columns (beyond its read-back, 824 wide) and the
        // padding show the sky too, not a black stripe.
        const QByteArray frames = DecodeFrames(movie);
        ASSERT_EQ(frames.size(), qsizetype(row.Width) * row.Height * 3 * 4);
        for (int y = 0; y < 20; ++y)
            for (int x = 820; x < row.Width; ++x)
                ASSERT_GT(std::uint8_t(frames[(qsizetype(y) * row.Width + x) * 3 + 2]), 150)
                    << "blue at " << x << ", " << y;
    }

    // Answering No to the overwrite question leaves the movie and the state.
    const QString movie = File("compressor-default.avi");
    const std::string old = ReadBytes(movie.toStdString());
    const QString caption = Form->windowTitle();
    EXPECT_TRUE(Errors().empty());
    Dialogs.ConfirmAnswer = false;
    Dialogs.Shown.clear();
    Answer(C::actSaveAVI, movie);
    ASSERT_EQ(Dialogs.Shown.size(), 2u);
    EXPECT_EQ(Dialogs.Shown[1].Kind, "confirm");
    EXPECT_EQ(QString::fromStdString(Dialogs.Shown[1].Text), "Overwrite file " + movie + "?");
    ASSERT_TRUE(WaitForTicks(3));
    EXPECT_EQ(ReadBytes(movie.toStdString()), old);
    EXPECT_EQ(Form->Flight().PathState(), S::psStopped);
    EXPECT_EQ(Form->windowTitle(), caption);
    EXPECT_EQ(Dialogs.Shown.size(), 2u) << "no errors on later ticks";
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
