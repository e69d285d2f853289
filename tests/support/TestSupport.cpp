#include "TestSupport.h"

#include "render/Bitmap32.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <sstream>

#include <sys/resource.h>

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace skyglide::test {

TFileSizeLimit::TFileSizeLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_current = limit.rlim_cur;
    m_maximum = limit.rlim_max;
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
}

TFileSizeLimit::~TFileSizeLimit()
{
    Lift();
    std::signal(SIGXFSZ, m_handler);
}

void TFileSizeLimit::Limit(std::uint64_t bytes)
{
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(m_maximum)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

void TFileSizeLimit::Lift()
{
    const rlimit limit{static_cast<rlim_t>(m_current), static_cast<rlim_t>(m_maximum)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

std::string Sample(const std::string& name)
{
    const char* samples = std::getenv("SKYGLIDE_SAMPLES_DIR");
    return std::string(samples ? samples : "samples") + "/" + name;
}

QString ProgramPath(const QString& name)
{
    return qEnvironmentVariable("SKYGLIDE_BIN_DIR") + QLatin1Char('/') + name;
}

std::filesystem::path TestFolder(const std::string& row)
{
    const char* root = std::getenv("SKYGLIDE_TEST_TMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name() + row;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == '/' || c == ' '; }, '_');
    const auto folder = std::filesystem::path(root ? root : "/tmp") / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ReadBytes(const std::filesystem::path& file)
{
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    return bytes.str();
}

void WritePath(const std::filesystem::path& file, const std::vector<std::string>& lines)
{
    std::string bytes;
    for (const std::string& line : lines)
        bytes += line + "\r\n";
    WriteBytes(file, bytes);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
}

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

void ExpectNear(const TAffineVector& actual, const TAffineVector& expected, float tolerance)
{
    EXPECT_NEAR(actual.X, expected.X, tolerance);
    EXPECT_NEAR(actual.Y, expected.Y, tolerance);
    EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

bool Near(const TColour& a, const TColour& b, int tolerance)
{
    return std::abs(a.R - b.R) <= tolerance && std::abs(a.G - b.G) <= tolerance &&
           std::abs(a.B - b.B) <= tolerance;
}

TColour PixelAt(const TBitmap32& image, int x, int rowFromBottom)
{
    const std::uint8_t* p = image.ScanLine(rowFromBottom) + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

TPose NorthwardPose(int i, int movingFrom)
{
    const double tilt = 8 * std::numbers::pi / 180;
    return {{-600, 95, float(40 + 15 * std::max(0, i - movingFrom))},
            {0, 0, 1},
            {0, float(std::sin(tilt)), float(1 - std::cos(tilt))}};
}

std::vector<std::string> NorthwardFlight(int lines, int movingFrom)
{
    std::vector<std::string> path;
    for (int i = 0; i < lines; ++i)
        path.push_back(formatPoseLine(i, NorthwardPose(i, movingFrom)));
    return path;
}

namespace {

// Runs program; its standard output, with its exit and complaints expected
// to be clean.
QByteArray Run(const QString& program, const QStringList& arguments)
{
    QProcess process; // killed when it goes
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(300000)) << program.toStdString() << " did not end";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << program.toStdString();
    EXPECT_EQ(process.readAllStandardError().toStdString(), "") << program.toStdString();
    return process.readAllStandardOutput();
}

} // namespace

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

QByteArray DecodeFrames(const QString& movie)
{
    return Run("ffmpeg", {"-v", "error", "-i", movie, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
}

std::optional<QString> Xdotool(const QStringList& arguments)
{
    QProcess xdotool; // killed when it goes
    xdotool.start(QStringLiteral("xdotool"), arguments);
    if (!xdotool.waitForFinished(30000) || xdotool.exitStatus() != QProcess::NormalExit ||
        xdotool.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

} // namespace skyglide::test
