#include "movie/MovieWriter.h"
#include "movie/MovieRender.h"

#include "TestSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

using namespace skyglide;
using namespace skyglide::test;
namespace fs = std::filesystem;
using F = TMovieFormat;
using RGB = std::array<int, 3>;

namespace {

// What a program prints on its standard output (its errors with 2>&1).
std::string output(const std::string& command)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[1 << 16];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    if (pipe)
        ::pclose(pipe);
    return out;
}

// The names in a folder, sorted; none when there is no folder.
std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    if (fs::exists(folder))
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The test picture of frame `index`: top half red on the left and green on
// the right, bottom half blue, and a grey square in the bottom-right corner
// that brightens from frame to frame. (x, y) counts from the top-left.
RGB pattern(int x, int y, int width, int height, int index)
{
    if (x >= width - 8 && y >= height - 8)
        return {40 + 10 * index, 40 + 10 * index, 40 + 10 * index};
    if (y < height / 2)
        return x < width / 2 ? RGB{255, 0, 0} : RGB{0, 255, 0};
    return {0, 0, 255};
}

// The picture as a renderer might hold it: RGB rows top first, or RGBA rows
// bottom first with 8 spare bytes at the end of each, as OpenGL reads back.
struct Picture
{
    Picture(int w, int h, int index, bool readBack)
        : width(w), height(h), bytes(readBack ? 4 : 3),
          stride(std::ptrdiff_t(w) * bytes + (readBack ? 8 : 0)), bottomUp(readBack),
          pixels(std::size_t(stride) * std::size_t(h), 0)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const RGB c = pattern(x, y, w, h, index);
                std::uint8_t* p = pixels.data() + stride * (bottomUp ? h - 1 - y : y) + x * bytes;
                std::copy(c.begin(), c.end(), p);
            }
    }
    TRGBFrame frame() const { return {width, height, pixels.data(), bytes, stride, bottomUp}; }
    int width, height, bytes;
    std::ptrdiff_t stride;
    bool bottomUp;
    std::vector<std::uint8_t> pixels;
};

// A renderer that draws the test picture and logs the frames it was asked for.
struct PatternSource : TMovieFrameSource
{
    PatternSource(int w, int h, int count) : width(w), height(h), count(count) {}
    int FrameCount() const override { return count; }
    TRGBFrame RenderFrame(int index) override
    {
        rendered.push_back(index);
        if (index == failAt)
            throw std::runtime_error("the renderer lost its context");
        picture.emplace(width, height, index, index % 2 == 1);
        return picture->frame();
    }
    int width, height, count, failAt = -1;
    std::vector<int> rendered;
    std::optional<Picture> picture;
};

// Writes `count` test frames, every other one as an OpenGL read-back.
void writeMovie(const TMovieSettings& settings, int count)
{
    TMovieWriter writer(settings);
    for (int i = 0; i < count; ++i)
        writer.Write(Picture(writer.Settings().Width, writer.Settings().Height, i, i % 2).frame());
    writer.Finish();
}

// ffprobe's and ffmpeg's input: a movie file, or the numbered pictures.
std::string input(const TMovieSettings& s)
{
    if (s.Format == F::mfPNG)
        return "-framerate " + std::to_string(s.FPS) + " -i '" + s.FileName + "/frame-%06d.png'";
    return "-i '" + s.FileName + "'";
}

} // namespace

// Every format as ffprobe and ffmpeg read it back: codec, size, rate, frame
// count, a clean decode, and the first frame's picture upright in its colours.
TEST(MovieWriterTest, EveryFormatReadsBackInFFmpeg)
{
    const fs::path folder = TestFolder();
    // format, size asked for, frame rate, the note on the size, what ffprobe
    // reports (codec, tag, size, rate, frames), how far colours may drift
    const std::tuple<F, int, int, int, const char*, const char*, int> rows[] = {
        {F::mfMP4, 320, 240, 30, "", "h264,avc1,320,240,yuv420p,30/1,12", 4},
        {F::mfMP4, 321, 181, 60,
         "movie size 321x181 rounded down to 320x180: H.264 in yuv420p takes even sizes only",
         "h264,avc1,320,180,yuv420p,60/1,12", 4},
        {F::mfAVIMSVC, 322, 243, 24,
         "movie size 322x243 rounded down to 320x240: Video-1 takes multiples of 4 only",
         "msvideo1,MSVC,320,240,rgb555le,24/1,12", 8},
        {F::mfAVIDivX, 321, 241, 25, "", "mpeg4,divx,321,241,yuv420p,25/1,12", 6},
        {F::mfAVIRaw, 64, 48, 30, "", "rawvideo,[0][0][0][0],64,48,bgr24,30/1,12", 0},
        {F::mfPNG, 65, 49, 30, "", "png,[0][0][0][0],65,49,rgb24,30/1,12", 0},
    };
    for (const auto& [format, w, h, fps, note, probed, drift] : rows) {
        const std::string name = movieFormatName(format);
        SCOPED_TRACE(name + " " + std::to_string(w) + "x" + std::to_string(h));
        TMovieSettings asked{(folder / (name + std::to_string(w))).string(), format, w, h, fps};
        std::string told;
        const TMovieSettings s = CheckMovieSettings(asked, &told);
        EXPECT_EQ(told, note);
        writeMovie(asked, 12);

        EXPECT_EQ(output("ffprobe -v error -count_frames " + input(s) +
                         " -show_entries stream=codec_name,codec_tag_string,width,height,"
                         "r_frame_rate,pix_fmt,nb_read_frames -of csv=p=0 2>&1"),
                  std::string(probed) + "\n");
        EXPECT_EQ(output("ffmpeg -v error " + input(s) + " -f null - 2>&1"), "");
        const std::string rgb =
            output("ffmpeg -v error " + input(s) + " -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
        ASSERT_EQ(rgb.size(), std::size_t(s.Width) * s.Height * 3);
        int worst = 0;
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x) {
                // Lossy formats are compared away from the edges of the areas.
                if (drift && (std::abs(x - s.Width / 2) < 8 || std::abs(y - s.Height / 2) < 8 ||
                              x >= s.Width - 16 || y >= s.Height - 16))
                    continue;
                const RGB want = pattern(x, y, s.Width, s.Height, 0);
                for (int c = 0; c < 3; ++c)
                    worst = std::max(
                        worst, std::abs(std::uint8_t(rgb[(std::size_t(y) * s.Width + x) * 3 + c]) -
                                        want[c]));
            }
        EXPECT_LE(worst, drift);
    }
    // Only the movies themselves are left: no temporary files.
    EXPECT_EQ(namesIn(folder).size(), std::size(rows));

    // H.264 in MP4 has its index at the front and lasts its frames' time.
    const std::string mp4 = (folder / "mp4320").string();
    const std::string bytes = ReadBytes(mp4);
    EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
    EXPECT_EQ(output("ffprobe -v error -i '" + mp4 + "' -show_entries format=duration -of csv=p=0"),
              "0.400000\n");
}

// A refusing folder, a full disk or a broken frame: one message, no file, and
// an older movie of the same name as it was.
TEST(MovieWriterTest, FailuresLeaveNoFile)
{
    TFileSizeLimit fileSize;
    struct Row
    {
        const char* what;
        F format;
        std::function<void(const fs::path& target)> setUp;
        std::uint64_t fileSizeLimit; // 0: none
        std::string reason; // after "cannot write <target>: "
    };
    const Row rows[] = {
        {"missing folder", F::mfMP4, [](const fs::path& t) { fs::remove(t.parent_path()); }, 0,
         "No such file or directory"},
        {"folder in the way", F::mfAVIRaw, [](const fs::path& t) { fs::create_directory(t); }, 0,
         "Is a directory"},
        {"pictures into a folder in use", F::mfPNG,
         [](const fs::path& t) { fs::create_directory(t), std::ofstream(t / "notes.txt"); }, 0,
         "Directory not empty"},
        {"full disk", F::mfMP4, nullptr, 1000, "File too large"},
        {"full disk", F::mfAVIMSVC, nullptr, 20000, "File too large"},
        {"full disk", F::mfAVIRaw, nullptr, 20000, "File too large"},
        {"full disk", F::mfPNG, nullptr, 100, "File too large"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.what) + ", " + movieFormatName(row.format));
        const fs::path target = TestFolder(std::to_string(&row - rows)) / "sub" / "movie";
        fs::create_directory(target.parent_path());
        if (row.setUp)
            row.setUp(target);
        const std::vector<std::string> before = namesIn(target.parent_path());
        if (row.fileSizeLimit)
            fileSize.Limit(row.fileSizeLimit);
        const std::string error = ErrorOf([&] {
            writeMovie({target.string(), row.format, 320, 240, 30}, 40);
        });
        fileSize.Lift();
        EXPECT_EQ(error, "cannot write " + target.string() + ": " + row.reason);
        EXPECT_EQ(namesIn(target.parent_path()), before) << "the folder holds what it held before";
    }

    // An older movie stays as it was when a new one fails; frames of the
    // wrong size are refused.
    const fs::path folder = TestFolder();
    const fs::path target = folder / "flight.mp4";
    std::ofstream(target) << "an earlier movie";
    TMovieWriter writer({target.string(), F::mfMP4, 64, 48, 30});
    writer.Write(Picture(64, 48, 0, false).frame());
    EXPECT_EQ(ErrorOf([&] { writer.Write(Picture(48, 64, 1, false).frame()); }),
              "cannot encode " + target.string() + ": frame 2 is 48x64, expected 64x48");
    EXPECT_FALSE(writer.Writing());
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"flight.mp4"});
    EXPECT_EQ(ReadBytes(target), "an earlier movie");

    // Settings out of range are refused before anything is created.
    EXPECT_EQ(ErrorOf([&] {
                  TMovieWriter({target.string(), F::mfMP4, 3841, 2160});
              }),
              "movie size 3841x2160 is outside 16x16 to 3840x2160");
    EXPECT_EQ(ErrorOf([&] {
                  TMovieWriter({target.string(), F::mfPNG, 640, 480, 23});
              }),
              "frame rate 23 is outside 24 to 60");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"flight.mp4"});
}

// Frames go from the source into the movie with progress after each; a
// cancel or a failing renderer stops within a frame and leaves no file.
TEST(MovieWriterTest, RenderReportsProgressAndStopsCleanly)
{
    const fs::path folder = TestFolder();
    const TMovieSettings settings{(folder / "m.mp4").string(), F::mfMP4, 64, 48, 30};
    // The clock is read at the start and after each frame: a frame takes
    // half a second.
    double clock = 99.5;
    std::vector<std::string> progress;
    TMovieRender render;
    render.Clock = [&] { return clock += 0.5; };
    render.OnProgress = [&](const TMovieProgress& p) { progress.push_back(MovieProgressText(p)); };

    PatternSource ten(64, 48, 10);
    ASSERT_EQ(render.Render(ten, settings), TMovieRenderResult::mrFinished);
    ASSERT_EQ(progress.size(), 10u);
    EXPECT_EQ(progress[0], "1 of 10 frames, 2.0 frames/s, 0:05 left");
    EXPECT_EQ(progress[9], "10 of 10 frames, 2.0 frames/s, 0:00 left");
    EXPECT_EQ(MovieProgressText({2, 9000, 1.25, 3725.4}),
              "2 of 9000 frames, 1.2 frames/s, 1:02:05 left");
    EXPECT_EQ(output("ffprobe -v error -count_frames -i '" + settings.FileName +
                     "' -show_entries stream=nb_read_frames -of csv=p=0"),
              "10\n");

    // The finished movie stays as it is while later renders fail.
    const std::string finished = ReadBytes(settings.FileName);
    PatternSource cancelled(64, 48, 10);
    render.OnQueryCancel = [&] { return cancelled.rendered.size() == 3; };
    EXPECT_EQ(render.Render(cancelled, settings), TMovieRenderResult::mrCancelled);
    EXPECT_EQ(cancelled.rendered, (std::vector<int>{0, 1, 2}));
    render.OnQueryCancel = nullptr;

    PatternSource failing(64, 48, 10);
    failing.failAt = 4;
    EXPECT_EQ(ErrorOf([&] { render.Render(failing, settings); }), "the renderer lost its context");
    PatternSource empty(64, 48, 0);
    EXPECT_EQ(ErrorOf([&] { render.Render(empty, settings); }),
              "cannot write " + settings.FileName + ": the movie has no frames");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"m.mp4"});
    EXPECT_EQ(ReadBytes(settings.FileName), finished);
}
