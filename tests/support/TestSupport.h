#pragma once

// What every test of the project may use: its folders, waiting for an event,
// vectors and colours compared with a tolerance.

#include "paths/PathFile.h"
#include "render/Cadencer.h"
#include "render/VectorGeometry.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Readable texts in test failures.
void PrintTo(const QString& text, std::ostream* out);

namespace skyglide {

class TBitmap32;

namespace test {

// A bundled sample: samples/<name>.
std::string Sample(const std::string& name);
// A program the build made: <build>/bin/<name>.
QString ProgramPath(const QString& name);

// An empty folder of the running test's own under the build's test output,
// named after the test (and row, which tells a loop's rows apart).
std::filesystem::path TestFolder(const std::string& row = "");

// The file size limit (RLIMIT_FSIZE) of this process while the object
// lives, a full disk's stand-in: a write past Limit(bytes) fails with "File
// too large" (SIGXFSZ is ignored, so that the write fails instead of ending
// the process). The old limit and signal handler come back when it goes.
class TFileSizeLimit
{
public:
    TFileSizeLimit();
    ~TFileSizeLimit();
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;
    void Limit(std::uint64_t bytes);
    void Lift();

private:
    std::uint64_t m_current, m_maximum;
    void (*m_handler)(int);
};

void WriteBytes(const std::filesystem::path& file, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& file);
// A path file of lines, each ended by CR LF as the path file writes them.
void WritePath(const std::filesystem::path& file, const std::vector<std::string>& lines);

// Lets events through (when there is an application) until done() holds;
// false when it still does not after timeoutMs. Waits for the event a test
// expects, never for a fixed time: a check that something does not happen
// waits for an event that proves the moment has passed.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 60000);

// Time that stands still until a test moves it; the wall clock runs from an
// unrelated origin, as a real one does.
struct TManualClock : TCadencerClock
{
    double Seconds = 1000;
    double RealTimeSeconds() override { return 1.7e9 + Seconds; }
    double PerformanceCounterSeconds() override { return Seconds; }
    void Sleep(int) override {}
};

// The message of what action throws; empty when it throws nothing.
std::string ErrorOf(const std::function<void()>& action);

void ExpectNear(const TAffineVector& actual, const TAffineVector& expected,
                float tolerance = 1e-6f);

// A colour read back from a picture: red, green, blue and alpha (255 where
// the picture has none).
struct TColour
{
    int R = 0, G = 0, B = 0, A = 255;
    friend bool operator==(const TColour&, const TColour&) = default;
    friend void PrintTo(const TColour& c, std::ostream* out)
    {
        *out << "(" << c.R << ", " << c.G << ", " << c.B << ", " << c.A << ")";
    }
};
// Red, green and blue each within tolerance (alpha not compared).
bool Near(const TColour& a, const TColour& b, int tolerance);
// Pixel x of row rowFromBottom of a read-back frame.
TColour PixelAt(const TBitmap32& image, int x, int rowFromBottom);

// Line i of a level flight northwards over the middle of the Trinidad
// sample at detail 1 (1200 × 600 cells, heights up to 60), the view tilted
// 8° down: in place up to line movingFrom, then 15 units a line.
TPose NorthwardPose(int i, int movingFrom = 0);
std::vector<std::string> NorthwardFlight(int lines, int movingFrom = 0);

// ffprobe's only stream of a movie (codec, tag, size, rate), its frames
// counted by decoding (nb_read_frames). ffprobe and ffmpeg, programs this
// project did not write, are the readers of every movie.
QJsonObject VideoStream(const QString& movie);
// Every frame of a movie decoded as 24-bit RGB, top row first, one after
// the other.
QByteArray DecodeFrames(const QString& movie);

// Runs xdotool on the test's X server: its output, or nullopt when it failed
// or hung.
std::optional<QString> Xdotool(const QStringList& arguments);

} // namespace test
} // namespace skyglide
