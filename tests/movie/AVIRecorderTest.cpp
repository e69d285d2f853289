#include "movie/AVIRecorder.h"

#include "TestSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

using namespace skyglide;
using namespace skyglide::test;
namespace fs = std::filesystem;
using Compressor = TAVICompressor;
using Restriction = TAVISizeRestriction;

namespace {

// Standard output of ffprobe or ffmpeg run on `movie`.
std::string run(const std::string& program, const fs::path& movie, const std::string& rest)
{
    FILE* pipe = ::popen((program + " -v error -i '" + movie.string() + "' " + rest).c_str(), "r");
    std::string out;
    char buffer[1 << 16];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    if (pipe)
        ::pclose(pipe);
    return out;
}

// ffprobe's values of the stream `entries`, in ffprobe's order, with any error.
std::string probe(const fs::path& movie, const std::string& entries, const std::string& extra = "")
{
    return run("ffprobe", movie, extra + " -show_entries stream=" + entries + " -of csv=p=0 2>&1");
}

// The last frame as ffmpeg decodes it, 24-bit RGB, top row first.
struct LastFrame
{
    explicit LastFrame(const fs::path& movie)
    {
        std::sscanf(probe(movie, "width,height").c_str(), "%d,%d", &width, &height);
        rgb = run("ffmpeg", movie, "-f rawvideo -pix_fmt rgb24 - 2>/dev/null");
        frames = int(rgb.size() / (std::size_t(width) * height * 3));
    }
    TColour at(int x, int y) const
    {
        const std::size_t i = rgb.size() - (std::size_t(height - y) * width - x) * 3;
        return {std::uint8_t(rgb[i]), std::uint8_t(rgb[i + 1]), std::uint8_t(rgb[i + 2])};
    }
    int width = 0, height = 0, frames = 0;
    std::string rgb;
};

const TColour kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kGrey{128, 128, 128};

// The test picture: top half red on the left and green on the right, bottom
// half blue. (x, y) counts from the top-left corner.
TColour pattern(int x, int y, int width, int height)
{
    return y < height / 2 ? (x < width / 2 ? kRed : kGreen) : kBlue;
}

std::string sizeOf(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

// A viewer that shows the test picture.
struct PatternSource : TAVIFrameSource
{
    PatternSource(int w, int h) : width(w), height(h) {}
    void SnapShot(TAVISnapshot& image) override
    {
        image = {width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 4)};
        for (int i = 0; i < width * height; ++i) { // bottom row first
            const TColour c = pattern(i % width, height - 1 - i / width, width, height);
            std::uint8_t* pixel = image.Pixels.data() + i * 4;
            pixel[0] = std::uint8_t(c.R), pixel[1] = std::uint8_t(c.G),
            pixel[2] = std::uint8_t(c.B);
        }
    }
    void RenderToBitmap(TBitmap&, int) override {}
    void CopyFrameBuffer(TBitmap&) override {}
    int width, height;
};

// A recorder set up as the scene window sets its own (15 fps, the viewer's
// size, snapshots), writing m.avi in a private folder that goes afterwards.
struct Session
{
    Session(int w, int h, Compressor compressor = Compressor::acDefault,
            PatternSource* source = nullptr)
    {
        static int sessions = 0;
        dir = TestFolder("-" + std::to_string(++sessions));
        file = dir / "m.avi";
        r.SetFPS(15);
        r.SetSizeRestriction(Restriction::srNoRestriction);
        r.SetWidth(w);
        r.SetHeight(h);
        r.SetCompressor(compressor);
        r.SetFilename(file.string());
        r.SetImageRetrievalMode(TAVIImageRetrievalMode::irmSnapShot);
        r.SetSceneViewer(source);
    }
    int entries() const { return int(std::distance(fs::directory_iterator(dir), {})); }
    fs::path dir, file;
    std::optional<TAVIRecorder> recorder{std::in_place};
    TAVIRecorder& r = *recorder;
};

constexpr auto sr8 = Restriction::srForceBlock8x8, srNo = Restriction::srNoRestriction;
constexpr auto acDefault = Compressor::acDefault, acDivX = Compressor::acDivX,
               acShowDialog = Compressor::acShowDialog;

} // namespace

// Five frames read back in ffprobe and ffmpeg with the size, rate, frame
// count, key frames and orientation the movie was opened with.
TEST(AVIRecorder, MoviesReadBackInFFmpeg)
{
#define RAW "[0][0][0][0]" // no FourCC: bitmaps
    // compressor, answer of the encoder chooser (if set), size, what ffprobe reports
    // (the flight tests read back 827 x 530 movies of each compressor)
    const std::tuple<Compressor, std::optional<std::string>, int, int, const char*> rows[] = {
        {acDefault, {}, 801, 603, "msvideo1,video,MSVC,804,604,15/1,5\n"},
        {acDivX, {}, 827, 531, "mpeg4,video,divx,827,531,15/1,5\n"},
        {acShowDialog, {}, 320, 200, "rawvideo,video," RAW ",320,200,15/1,5\n"},
        {acShowDialog, "mpeg4", 322, 202, "mpeg4,video,FMP4,322,202,15/1,5\n"}};
#undef RAW
    for (const auto& [compressor, chosen, w, h, expected] : rows) {
        SCOPED_TRACE(expected);
        PatternSource source(w, h);
        Session s(w, h, compressor, &source);
        std::string offered;
        if (chosen)
            s.r.OnChooseCompressor = [&](const std::vector<TAVIEncoderInfo>& list) {
                offered = list.at(0).Name;
                return *chosen;
            };
        int calls = 0;
        s.r.OnPostProcessEvent = [&, w = w, h = h](TAVIRecorder&, TBitmap& frame) {
            ++calls;
            for (int y = 0; y < h / 2; ++y) // draws the top-left quarter grey
                std::fill_n(frame.ScanLine(y), w / 2 * 3, 128);
        };
        ASSERT_TRUE(s.r.OpenMovieFile());
        // The open movie keeps its size; a new restriction rounds the
        // properties for the next one.
        s.r.SetWidth(640);
        EXPECT_EQ(s.r.Width(), w);
        s.r.SetSizeRestriction(sr8);
        EXPECT_EQ(sizeOf(s.r.Width(), s.r.Height()), sizeOf(w / 8 * 8, h / 8 * 8));
        for (int i = 0; i < 5; ++i)
            s.r.AddMovieFrame();
        s.r.CloseMovieFile();
        EXPECT_EQ(std::to_string(calls) + offered, chosen ? "5rawvideo" : "5");

        EXPECT_EQ(probe(s.file, "codec_type,codec_name,codec_tag_string,width,height,"
                                "r_frame_rate,nb_frames"),
                  expected);
        EXPECT_EQ(run("ffprobe", s.file, "-show_entries packet=flags -of csv=p=0"),
                  "K_\nK_\nK_\nK_\nK_\n");
        EXPECT_EQ(run("ffmpeg", s.file, "-f null - 2>&1"), "") << "ffmpeg decodes every frame";
        const LastFrame d(s.file);
        ASSERT_EQ(d.frames, 5);
        EXPECT_TRUE(Near(d.at(w / 4, h / 4), kGrey, 47));
        EXPECT_TRUE(Near(d.at(w * 3 / 4, h / 4), kGreen, 47));
        EXPECT_TRUE(Near(d.at(w / 2, h * 3 / 4), kBlue, 47));
        // Padding repeats the right and bottom edges.
        EXPECT_TRUE(Near(d.at(d.width - 1, h / 4), kGreen, 47));
        EXPECT_TRUE(Near(d.at(w / 4, d.height - 1), kBlue, 47));
    }
}

// Before anything is created the recorder asks for a missing name and before
// replacing a file; no answer means no movie and an untouched old file. The
// movie takes its name only once it is complete: until then the name holds
// nothing new.
TEST(AVIRecorder, OpenAsksForNameAndBeforeOverwriting)
{
    // a file is there already, the answer (none: no handler), a movie opens
    const std::tuple<bool, std::optional<std::string>, bool> rows[] = {
        {false, {}, false}, {false, "", false},  {false, "new.avi", true},
        {true, {}, false},  {true, "No", false}, {true, "Yes", true}};
    for (const auto& [exists, answer, opens] : rows) {
        SCOPED_TRACE((exists ? "exists, " : "no name, ") + answer.value_or("unanswered"));
        Session s(64, 48);
        std::string question;
        if (exists) {
            std::ofstream(s.file) << "an earlier movie";
            if (answer)
                s.r.OnConfirmOverwrite = [&, answer = answer](const std::string& text) {
                    question = text;
                    return *answer == "Yes";
                };
        } else {
            s.r.SetFilename("");
            if (answer)
                s.r.OnAskFileName = [&, answer = answer] {
                    return answer->empty() ? "" : (s.dir / *answer).string();
                };
        }
        EXPECT_EQ(s.r.OpenMovieFile(), opens);
        EXPECT_EQ(s.r.Writing(), opens);
        EXPECT_EQ(question, exists && answer ? "Overwrite file " + s.file.string() + "?" : "");
        EXPECT_EQ(s.entries(), opens + exists);
        EXPECT_EQ(fs::exists(s.file), exists);
        const auto contents = [&] {
            std::ifstream old(s.file);
            return std::string(std::istreambuf_iterator<char>(old), {});
        };
        EXPECT_EQ(exists, contents() == "an earlier movie");
        if (opens) {
            s.r.AddMovieFrame();
            s.r.CloseMovieFile();
            EXPECT_EQ(s.entries(), 1);
            EXPECT_EQ(probe(exists ? s.file : s.dir / "new.avi", "nb_frames"), "1\n");
        }
    }
}

// A failed open leaves the recorder idle, ready for the next movie, and
// nothing new on disk.
TEST(AVIRecorder, FailedOpenLeavesNothingBehind)
{
    const std::string createFile = "Cannot create AVI file. Disk full or file in use? (";
    const char* createStream = "Cannot create AVI stream.";
    const char* compressor = "Cannot make compressed stream. ";
    const auto choose = [](const char* encoder) {
        return [encoder](Session& s) {
            s.r.SetCompressor(acShowDialog);
            s.r.OnChooseCompressor = [encoder](const auto&) { return encoder; };
        };
    };
    // A file that cannot be made is named with the reason ("@": the session's folder).
    const std::pair<std::function<void(Session&)>, std::string> rows[] = {
        {[](Session& s) { s.r.SetFilename((s.dir / "no" / "m.avi").string()); },
         createFile + "@/no/m.avi: No such file or directory)"},
        {[](Session& s) { fs::create_directories(s.file / "sub"); },
         createFile + "@/m.avi: is a folder)"},
        {[](Session& s) { s.r.SetSizeRestriction(sr8), s.r.SetWidth(7); }, createStream},
        {[](Session& s) { s.r.SetWidth(20000), s.r.SetHeight(20000); }, createStream},
        {[](Session& s) { s.r.SetFPS(0); }, createStream},
        {choose("no-such-encoder"), compressor + std::string("No such compressor found")},
        {choose("h261"), compressor}}; // present, but not at 64 x 48
    for (const auto& [setUp, message] : rows) {
        SCOPED_TRACE(message);
        Session s(64, 48);
        s.r.OnConfirmOverwrite = [](const std::string&) { return true; };
        setUp(s);
        const bool folder = fs::exists(s.file);
        std::string expected = message;
        if (const std::size_t at = expected.find('@'); at != std::string::npos)
            expected.replace(at, 1, s.dir.string());
        EXPECT_EQ(ErrorOf([&] { s.r.OpenMovieFile(); }), expected);
        EXPECT_FALSE(s.r.Writing());
        EXPECT_EQ(s.entries(), folder ? 1 : 0);
        EXPECT_EQ(folder, fs::exists(s.file / "sub"));
        // The same recorder, set up afresh, makes the next movie.
        s.r.SetFilename((s.dir / "next.avi").string());
        s.r.SetSizeRestriction(srNo), s.r.SetWidth(64), s.r.SetHeight(48), s.r.SetFPS(15);
        s.r.SetCompressor(acDefault);
        EXPECT_TRUE(s.r.OpenMovieFile());
    }
}

// A full disk never leaves a file that looks like a finished movie, nor
// costs the movie it was to replace.
TEST(AVIRecorder, FullDiskLeavesNoBrokenMovie)
{
    TFileSizeLimit fileSize;
    Session s(64, 64, acShowDialog);
    fileSize.Limit(2000);
    EXPECT_EQ(ErrorOf([&] { s.r.OpenMovieFile(); }), "AVIStreamSetFormat Error");
    EXPECT_EQ(s.entries() + s.r.Writing(), 0);

    fileSize.Limit(100000);
    std::ofstream(s.file) << "an earlier movie";
    s.r.OnConfirmOverwrite = [](const std::string&) { return true; };
    ASSERT_TRUE(s.r.OpenMovieFile());
    std::string error; // frames wait in a buffer of a few hundred kilobytes
    for (int i = 0; i < 100 && error.empty(); ++i)
        error = ErrorOf([&] { s.r.AddMovieFrame(); });
    EXPECT_EQ(error, "Add Frame Error");
    EXPECT_TRUE(s.r.Writing());
    error = ErrorOf([&] { s.r.CloseMovieFile(); });
    fileSize.Lift();
    EXPECT_EQ(error.rfind("Cannot finish AVI file \"" + s.file.string() + "\": ", 0), 0u) << error;
    EXPECT_EQ(s.entries() + s.r.Writing(), 1);
    EXPECT_EQ(ReadBytes(s.file), "an earlier movie");
}

// The snapshot lands at the top-left corner, upright and clipped to the
// 40 x 30 frame; whatever it does not cover keeps the previous frame.
TEST(AVIRecorder, SnapshotDrawsAtTopLeftAndKeepsTheRest)
{
    for (const auto& [width, height, viewer] :
         {std::tuple{36, 20, true}, {64, 48, true}, {0, 0, true}, {36, 20, false}}) {
        SCOPED_TRACE(sizeOf(width, height) + (viewer ? "" : " without viewer"));
        PatternSource source(width, height);
        Session s(40, 30, acShowDialog, viewer ? &source : nullptr);
        int frame = 0;
        s.r.OnPostProcessEvent = [&](TAVIRecorder&, TBitmap& bitmap) {
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) {
                    std::uint8_t* p = bitmap.ScanLine(y) + x * 3;
                    const bool covered = viewer && x < width && y < height;
                    if (frame == 0)
                        std::fill_n(p, 3, 128);
                    else
                        ASSERT_EQ((TColour{p[2], p[1], p[0]}),
                                  covered ? pattern(x, y, width, height) : kGrey)
                            << x << "," << y;
                }
            ++frame;
        };
        ASSERT_TRUE(s.r.OpenMovieFile());
        s.r.AddMovieFrame();
        s.r.AddMovieFrame();
        EXPECT_EQ(frame, 2);
    }
}

// A handler may break the frame bitmap, or let window messages through in
// which a closing window aborts the movie; an idle recorder refuses frames
// and closing.
TEST(AVIRecorder, HandlersThatBreakTheMovie)
{
    Session s(64, 48, acShowDialog);
    s.r.OnPostProcessEvent = [](TAVIRecorder&, TBitmap& frame) { frame.SetSize(10, 10); };
    ASSERT_TRUE(s.r.OpenMovieFile());
    EXPECT_EQ(ErrorOf([&] { s.r.AddMovieFrame(); }), "Add Frame Error");
    s.r.OnPostProcessEvent = nullptr;
    s.r.AddMovieFrame();
    s.r.CloseMovieFile();
    EXPECT_EQ(probe(s.file, "nb_frames"), "1\n");
    fs::remove(s.file);

    s.r.OnChooseCompressor = [&](const auto&) {
        s.r.CloseMovieFile(true);
        return "";
    };
    EXPECT_FALSE(s.r.OpenMovieFile());
    EXPECT_EQ(s.entries(), 0);

    s.r.OnChooseCompressor = nullptr;
    s.r.OnPostProcessEvent = [](TAVIRecorder& sender, TBitmap&) { sender.CloseMovieFile(true); };
    ASSERT_TRUE(s.r.OpenMovieFile());
    const std::string notCreated = "Cannot add frame to AVI. AVI file not created.";
    EXPECT_EQ(ErrorOf([&] { s.r.AddMovieFrame(); }), notCreated);
    EXPECT_EQ(s.entries() + s.r.Writing(), 0);
    EXPECT_EQ(ErrorOf([&] { s.r.AddMovieFrame(); }), notCreated);
    EXPECT_EQ(ErrorOf([&] { s.r.CloseMovieFile(); }),
              "Cannot close AVI file. AVI file not created.");
}

// Past 1 GiB the movie goes on in OpenDML chunks, and every frame stays
// reachable through the index.
TEST(AVIRecorder, LargeMovieUsesOpenDML)
{
    Session s(1920, 1080, acShowDialog);
    ASSERT_TRUE(s.r.OpenMovieFile());
    for (int i = 0; i < 180; ++i) // 180 × 6220800 bytes: 1.04 GiB
        s.r.AddMovieFrame();
    s.r.CloseMovieFile();

    std::ifstream in(s.file, std::ios::binary);
    unsigned char head[12];
    in.read(reinterpret_cast<char*>(head), 12);
    in.seekg(8 + (head[4] | head[5] << 8 | head[6] << 16 | std::streamoff(head[7]) << 24));
    in.read(reinterpret_cast<char*>(head), 12);
    EXPECT_EQ(std::string(head, head + 4) + std::string(head + 8, head + 12), "RIFFAVIX");
    EXPECT_EQ(probe(s.file, "nb_frames,nb_read_packets", "-count_packets"), "180,180\n");
}
