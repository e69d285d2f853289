// Flights in the scene window on the test's X server: recorded from real key
// events, saved, loaded and played back; loaded paths played into movies
// that ffprobe and ffmpeg, programs this project did not write, read back.
#include "ViewerTestSupport.h"

#include "app/FlightPath.h"
#include "app/SkyGlideApplication.h"
#include "paths/PathFile.h"

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProgressBar>
#include <QTimer>

#include <cmath>
#include <numbers>

namespace skyglide::test {
namespace {

using C = TSceneCommand;
using S = TPathState;

QByteArray ReadBytes(const QString& file)
{
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// What the window shows after one path tick.
struct TTick
{
    S State;
    std::int32_t Line;
    int Progress;
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
        v[i] = float(fields[i + 1].toDouble());
    const TAffineVector d = normalized(TAffineVector{v[3], v[4], v[5]});
    return {{v[0], v[1], v[2]}, {d.X, d.Y, d.Z}, {v[6], v[7], v[8]}};
}

void ExpectPose(const TPose& applied, const std::string& line)
{
    const TPose expected = LinePose(line);
    EXPECT_EQ(applied.ObserverPosition, expected.ObserverPosition) << line;
    EXPECT_EQ(applied.CameraPosition, expected.CameraPosition) << line;
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(applied.ObserverDirection[i], expected.ObserverDirection[i], 1e-6f) << line;
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
RGB MeanColour(const QByteArray& rgb, int width, int top, int bottom)
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
        // Connected after the window's own handler, so it runs right after it.
        QObject::connect(&Form->Timer2(), &QTimer::timeout, [this] {
            Ticks.push_back({Form->PathState(), Form->PathFile().CurrentLine(),
                             Form->prbProgress().value(), Form->windowTitle(),
                             RigPose(Form->Scene()), Form->AVIRecorder1().FrameIndex()});
        });
        if (!viewer.isEmpty()) {
            Form->resize(viewer + Form->size() - Form->SceneViewer1().size());
            ASSERT_TRUE(WaitUntil([&] { return Form->SceneViewer1().size() == viewer; }));
            EXPECT_EQ(Form->AVIRecorder1().Width(), viewer.width());
            EXPECT_EQ(Form->AVIRecorder1().Height(), viewer.height());
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
        QFile out(TmpFile(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const std::string& line : lines)
            out.write(QByteArray::fromStdString(line + "\r\n"));
        out.close();
        Answer(C::actLoad, TmpFile(name));
    }

    bool WaitForState(S state, int timeoutMs = 60000)
    {
        return WaitUntil([&] { return Form->PathState() == state; }, timeoutMs);
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

TEST_F(FlightWindow, RecordedFlightSavesLoadsAndPlaysBackLineByLine)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad());
    ASSERT_NO_FATAL_FAILURE(Focus(*Form));

    // Recorded from real keys: F8, a turning climb with the view tilted up,
    // F9 (disabled while recording), F11.
    ASSERT_NO_FATAL_FAILURE(Key("F8"));
    ASSERT_TRUE(WaitForState(S::psRecording, 5000));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Recording");
    ASSERT_NO_FATAL_FAILURE(Hold({"Up", "Left", "shift"}, 900));
    ASSERT_NO_FATAL_FAILURE(Hold({"Prior"}, 300));
    ASSERT_NO_FATAL_FAILURE(Key("F9"));
    Settle(300);
    EXPECT_EQ(Form->PathState(), S::psRecording) << "F9 does nothing while recording";
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Recording");
    ASSERT_NO_FATAL_FAILURE(Key("F11"));
    ASSERT_TRUE(WaitForState(S::psStopped, 5000));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Path loaded ");

    // One line per recording tick: the rig's pose at that tick.
    TPathFile& path = Form->PathFile();
    const int n = path.Count();
    ASSERT_GE(n, 15);
    EXPECT_EQ(path.CurrentLine(), 0);
    const std::vector<TTick> recording = Applied(S::psRecording);
    ASSERT_EQ(int(recording.size()), n) << "one line per tick";
    std::vector<std::string> recorded;
    QByteArray bytes;
    for (int i = 0; i < n; ++i) {
        recorded.push_back(path[i]);
        bytes += QByteArray::fromStdString(path[i]) + "\r\n";
        EXPECT_EQ(recorded[i], formatPoseLine(i, recording[i].Pose)) << "line " << i;
    }
    EXPECT_NE(LinePose(recorded[0]).ObserverPosition, LinePose(recorded[n - 1]).ObserverPosition);
    EXPECT_NE(LinePose(recorded[0]).CameraPosition, LinePose(recorded[n - 1]).CameraPosition);

    // Saved (the dialog starts in the host's folder without a name), loaded,
    // saved again: the same bytes.
    const QString file = TmpFile("recorded.csv"), again = TmpFile("recorded-again.csv");
    QFile::remove(file);
    Answer(C::actSave, file);
    ASSERT_EQ(Dialogs.Shown.back().Kind, "save");
    EXPECT_EQ(Dialogs.Shown.back().Text, "");
    EXPECT_EQ(QString::fromStdString(Dialogs.Shown.back().Caption), TmpFile(""));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Path loaded " + file);
    EXPECT_EQ(ReadBytes(file), bytes);

    Ticks.clear();
    Answer(C::actLoad, file);
    EXPECT_EQ(Form->PathState(), S::psStopped);
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Path loaded " + file);
    EXPECT_EQ(path.CurrentLine(), 1) << "the rig jumps to line 1";
    ExpectPose(RigPose(Form->Scene()), recorded[1]);
    EXPECT_EQ(Form->prbProgress().value(), 0);
    Answer(C::actSave, again);
    EXPECT_EQ(Dialogs.Shown.back().Text, file.toStdString()) << "preset to the path's name";
    EXPECT_EQ(ReadBytes(again), bytes);
    EXPECT_EQ(path.CurrentLine(), 1) << "saving does not move the cursor";

    // Played by F9 from line 2, then by Play again from line 1: every line
    // but line 0, one per tick, with the progress rounded half to even.
    ASSERT_NO_FATAL_FAILURE(Key("F9"));
    ASSERT_TRUE(WaitForState(S::psPlaying, 5000));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Playing " + again);
    ASSERT_TRUE(WaitForState(S::psStopped));
    Form->Execute(C::actPlay);
    ASSERT_TRUE(WaitForState(S::psStopped));
    std::vector<int> lines, expectedLines;
    for (const TTick& tick : Ticks) {
        if (tick.State == S::psPlaying) {
            lines.push_back(tick.Line);
            ExpectPose(tick.Pose, recorded[std::size_t(tick.Line)]);
            EXPECT_EQ(tick.Progress, int(std::lrint(tick.Line * 100.0 / n))) << tick.Line;
            EXPECT_EQ(tick.Caption, "Sky Glide - Playing " + again);
        } else if (!lines.empty() && lines.back() != 0) {
            // The tick that ended the playback.
            EXPECT_EQ(tick.Line, 0);
            EXPECT_EQ(tick.Progress, 0);
            EXPECT_EQ(tick.Caption, "Sky Glide - Path loaded " + again);
            lines.push_back(0);
        }
    }
    for (int from : {2, 1}) {
        for (int line = from; line < n; ++line)
            expectedLines.push_back(line);
        expectedLines.push_back(0);
    }
    EXPECT_EQ(lines, expectedLines);

    // Space pauses; Restart (F12) plays from line 1 under the paused caption.
    Form->Execute(C::actPlay);
    ASSERT_TRUE(WaitUntil([&] { return path.CurrentLine() >= 3; }));
    ASSERT_NO_FATAL_FAILURE(Key("space"));
    ASSERT_TRUE(WaitForState(S::psStopped, 5000));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Paused " + again);
    const int paused = path.CurrentLine();
    Settle(200);
    EXPECT_EQ(path.CurrentLine(), paused);
    Ticks.clear();
    ASSERT_NO_FATAL_FAILURE(Key("F12"));
    ASSERT_TRUE(WaitUntil([&] { return !Applied(S::psPlaying).empty(); }, 5000));
    EXPECT_EQ(Applied(S::psPlaying).front().Line, 1);
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Paused " + again);
    ASSERT_TRUE(WaitForState(S::psStopped));
    EXPECT_TRUE(Errors().empty());
}

TEST_F(FlightWindow, MalformedLinesShowOneErrorEachAndPlayOn)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad());
    std::vector<std::string> path = NorthwardFlight(7);
    path[2] = "2,-600.00,abc,70.00,0.00,0.00,1.00,0.00,0.14,0.01";
    path[4] = "4,-600.00,95.00,100.00,0.00";
    ASSERT_NO_FATAL_FAILURE(LoadLines("malformed.csv", path));
    ASSERT_EQ(Form->PathFile().CurrentLine(), 1);
    Form->Execute(C::actPlay);
    ASSERT_TRUE(WaitForState(S::psStopped));

    EXPECT_EQ(Errors(), (std::vector<std::string>{"'abc' is not a valid floating point value",
                                                  "List index out of bounds (5)"}));
    const std::vector<TTick> played = Applied(S::psPlaying);
    ASSERT_EQ(played.size(), 5u);
    for (const TTick& tick : played) {
        // A line that failed leaves the pose of the line before it.
        const int shown = tick.Line == 2 || tick.Line == 4 ? tick.Line - 1 : tick.Line;
        ExpectPose(tick.Pose, path[std::size_t(shown)]);
    }
    EXPECT_EQ(Form->Scene().Scene1.UpdateCount(), 0) << "the scene's notices are resumed";
}

TEST_F(FlightWindow, PathsWithoutASecondLineEndAtTheFirstTick)
{
    ASSERT_NO_FATAL_FAILURE(StartTrinidad());
    const TPose start = RigPose(Form->Scene());
    for (const int lines : {0, 1}) {
        SCOPED_TRACE(lines);
        const QString name = QString("lines%1.csv").arg(lines);
        ASSERT_NO_FATAL_FAILURE(LoadLines(name, NorthwardFlight(lines)));
        EXPECT_EQ(Form->PathState(), S::psStopped);
        EXPECT_EQ(Form->PathFile().Count(), lines);
        Ticks.clear();
        Form->Execute(C::actPlay);
        ASSERT_TRUE(WaitUntil([&] { return !Ticks.empty(); }, 5000));
        EXPECT_EQ(Ticks[0].State, S::psStopped);
        EXPECT_EQ(Ticks[0].Caption, "Sky Glide - Path loaded " + TmpFile(name));
        EXPECT_EQ(Ticks[0].Progress, 0);
        EXPECT_EQ(RigPose(Form->Scene()).ObserverPosition, start.ObserverPosition);
    }
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
    const QString file = TmpFile("northward.csv"), movie = TmpFile("northward.avi");
    QFile::remove(movie);
    ASSERT_NO_FATAL_FAILURE(LoadLines("northward.csv", path));
    Form->PathFile().SetCurrentLine(289);

    Answer(C::actSaveAVI, movie);
    EXPECT_EQ(Dialogs.Shown.back().Kind, "save") << "no question for a window not maximized";
    EXPECT_EQ(QString::fromStdString(Dialogs.Shown.back().Caption), TmpFile(""));
    EXPECT_EQ(Form->PathState(), S::psSavingMovie);
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Save " + file + " to " + movie);
    ASSERT_TRUE(WaitForState(S::psStopped));
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Path loaded " + file);
    EXPECT_EQ(Form->prbProgress().value(), 0);
    EXPECT_FALSE(Form->AVIRecorder1().Writing());
    const std::vector<TTick> played = Applied(S::psSavingMovie);
    ASSERT_EQ(played.size(), 10u) << "lines 290 to 299";
    for (const TTick& tick : played)
        EXPECT_EQ(tick.Frames, tick.Line - 289) << "a frame right after each line";

    const QJsonObject stream = VideoStream(movie);
    EXPECT_EQ(stream["codec_type"].toString(), "video");
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
        const RGB top = MeanColour(frame, viewer.width(), 0, viewer.height() / 10);
        const RGB bottom =
            MeanColour(frame, viewer.width(), viewer.height() * 9 / 10, viewer.height());
        EXPECT_GT(top[2], top[0] + 25) << "sky blue at the top";
        EXPECT_GT(top[2], 150);
        EXPECT_LT(bottom[2], bottom[0]) << "terrain at the bottom";
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
    Form->AVIRecorder1().OnChooseCompressor = [](const std::vector<TAVIEncoderInfo>&) {
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
        const QString movie = TmpFile(QString("compressor-%1.avi").arg(row.Name));
        QFile::remove(movie);
        Form->AVIRecorder1().SetCompressor(row.Compressor);
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
    const QString movie = TmpFile("compressor-default.avi");
    const QByteArray old = ReadBytes(movie);
    const QString caption = Form->windowTitle();
    EXPECT_TRUE(Errors().empty());
    Dialogs.ConfirmAnswer = false;
    Dialogs.Shown.clear();
    Answer(C::actSaveAVI, movie);
    ASSERT_EQ(Dialogs.Shown.size(), 2u);
    EXPECT_EQ(Dialogs.Shown[1].Kind, "confirm");
    EXPECT_EQ(QString::fromStdString(Dialogs.Shown[1].Text), "Overwrite file " + movie + "?");
    Settle(300);
    EXPECT_EQ(ReadBytes(movie), old);
    EXPECT_EQ(Form->PathState(), S::psStopped);
    EXPECT_EQ(Form->windowTitle(), caption);
    EXPECT_EQ(Dialogs.Shown.size(), 2u) << "no errors on later ticks";
}

TEST_F(FlightWindow, StopHalfwayKeepsAShorterMovieOfTheStartingSize_ClosingKeepsNone)
{
    const QSize viewer(640, 480);
    ASSERT_NO_FATAL_FAILURE(StartTrinidad(viewer));
    const QString movie = TmpFile("stopped.avi"), next = TmpFile("resized.avi"),
                  closing = TmpFile("closing.avi");
    for (const QString& file : {movie, next, closing})
        QFile::remove(file);
    ASSERT_NO_FATAL_FAILURE(LoadLines("long.csv", NorthwardFlight(40)));
    ASSERT_NO_FATAL_FAILURE(Focus(*Form));
    Answer(C::actSaveAVI, movie);
    ASSERT_EQ(Form->PathState(), S::psSavingMovie);
    ASSERT_TRUE(WaitUntil([&] { return Form->AVIRecorder1().FrameIndex() >= 4; }));
    // A larger window changes neither the movie's size nor its course.
    Form->resize(Form->size() + QSize(100, 60));
    ASSERT_TRUE(WaitUntil([&] { return Form->AVIRecorder1().FrameIndex() >= 8; }));
    ASSERT_NO_FATAL_FAILURE(Key("Escape"));
    ASSERT_TRUE(WaitForState(S::psStopped, 5000));
    const int frames = Form->AVIRecorder1().FrameIndex();
    EXPECT_LT(frames, 38);
    EXPECT_EQ(Form->PathFile().CurrentLine(), 0) << "Stop rewinds a movie's path";
    EXPECT_EQ(Form->windowTitle(), "Sky Glide - Path loaded " + TmpFile("long.csv"));

    const QJsonObject stream = VideoStream(movie);
    EXPECT_EQ(stream["width"].toInt(), viewer.width());
    EXPECT_EQ(stream["height"].toInt(), viewer.height());
    EXPECT_EQ(stream["nb_read_frames"].toString().toInt(), frames);
    EXPECT_EQ(DecodeFrames(movie).size(), qsizetype(viewer.width()) * viewer.height() * 3 * frames);

    // The next movie has the viewer's size of its own start.
    Answer(C::actSaveAVI, next);
    Form->Execute(C::actStop);
    const QJsonObject resized = VideoStream(next);
    EXPECT_EQ(resized["width"].toInt(), viewer.width() + 100);
    EXPECT_EQ(resized["height"].toInt(), viewer.height() + 60);

    // Closing the window in the middle of a movie deletes it, for good.
    Answer(C::actSaveAVI, closing);
    ASSERT_TRUE(WaitUntil([&] { return Form->AVIRecorder1().FrameIndex() >= 3; }));
    ASSERT_TRUE(QFile::exists(closing));
    EXPECT_TRUE(Form->close());
    EXPECT_FALSE(QFile::exists(closing));
    Settle(500);
    EXPECT_FALSE(QFile::exists(closing)) << "no later tick writes it again";
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Dialogs.Shown.back().Kind, "save") << "a loaded path asks nothing at the close";
}

} // namespace
} // namespace skyglide::test

int main(int argc, char** argv)
{
    skyglide::TSceneViewer::SetDefaultSurfaceFormat();
    skyglide::TSkyGlideApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
