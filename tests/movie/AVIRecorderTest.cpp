#include "movie/AVIRecorder.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace skyglide;
namespace fs = std::filesystem;
using Compressor = TAVICompressor;
using Restriction = TAVISizeRestriction;

namespace {

// A private folder for one test, removed with its contents afterwards.
struct Folder : fs::path
{
    Folder()
    {
        const char* root = std::getenv("SKYGLIDE_TEST_TMP");
        std::string name = (fs::path(root ? root : "/tmp") / "movie-XXXXXX").string();
        EXPECT_NE(::mkdtemp(name.data()), nullptr);
        assign(name);
    }
    ~Folder()
    {
        std::error_code ignored;
        fs::remove_all(*this, ignored);
    }
    int entries() const { return int(std::distance(fs::directory_iterator(*this), {})); }
};

std::string readBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Standard output of a shell command; `status` gets its exit code.
std::string run(const std::string& command, int* status = nullptr)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[1 << 16];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int rc = pipe ? ::pclose(pipe) : -1;
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

// What ffprobe reads from a movie's streams, plus "streams": how many.
std::map<std::string, std::string> probe(const fs::path& movie, const std::string& extra = "")
{
    std::map<std::string, std::string> entries;
    std::istringstream lines(run("ffprobe -v error " + extra +
                                 " -show_entries stream=codec_type,codec_name,codec_tag_string,"
                                 "width,height,r_frame_rate,nb_frames,nb_read_packets"
                                 " -of default=noprint_wrappers=1 " +
                                 quoted(movie) + " 2>&1"));
    int streams = 0;
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            entries["error"] += line;
            continue;
        }
        streams += line.compare(0, eq, "codec_type") == 0;
        entries[line.substr(0, eq)] = line.substr(eq + 1);
    }
    entries["streams"] = std::to_string(streams);
    return entries;
}

// ffprobe's text for a count of packets; it shows none as "N/A".
std::string packetCount(int packets)
{
    return packets ? std::to_string(packets) : "N/A";
}

int packetsNotKey(const fs::path& movie)
{
    std::istringstream lines(run("ffprobe -v error -select_streams v -show_entries packet=flags "
                                 "-of csv=p=0 " + quoted(movie)));
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.empty() || line[0] != 'K';
    return count;
}

// Every frame of a movie as ffmpeg decodes it, 24-bit RGB, top row first.
struct Decoded
{
    int width = 0, height = 0, frames = 0;
    std::string rgb, errors;
    std::array<int, 3> at(int frame, int x, int y) const
    {
        const auto* p = reinterpret_cast<const std::uint8_t*>(rgb.data()) +
                        ((std::size_t(frame) * height + y) * width + x) * 3;
        return {p[0], p[1], p[2]};
    }
};

Decoded decode(const fs::path& movie)
{
    Decoded d;
    auto info = probe(movie);
    d.width = std::atoi(info["width"].c_str());
    d.height = std::atoi(info["height"].c_str());
    const fs::path log = movie.string() + ".log";
    int status = 0;
    d.rgb = run("ffmpeg -v error -i " + quoted(movie) + " -f rawvideo -pix_fmt rgb24 - 2>" +
                    quoted(log),
                &status);
    d.errors = readBytes(log) + (status ? "exit status " + std::to_string(status) : "");
    fs::remove(log);
    if (d.width > 0 && d.height > 0)
        d.frames = int(d.rgb.size() / (std::size_t(d.width) * d.height * 3));
    return d;
}

using RGB = std::array<int, 3>;
const RGB kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255},
    kGrey{128, 128, 128};

bool near(const RGB& a, const RGB& b)
{
    for (int i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > 48)
            return false;
    return true;
}

// The test picture: top half red on the left and green on the right, bottom
// half blue. (x, y) counts from the top-left corner.
RGB pattern(int x, int y, int width, int height)
{
    return y < height / 2 ? (x < width / 2 ? kRed : kGreen) : kBlue;
}

RGB pixelOf(const TBitmap& bitmap, int x, int y)
{
    const std::uint8_t* p = bitmap.ScanLine(y) + x * 3;
    return {p[2], p[1], p[0]};
}

// A viewer that shows the test picture and logs what it was asked for.
struct PatternSource : TAVIFrameSource
{
    PatternSource(int w, int h) : width(w), height(h) {}
    int width, height;
    std::vector<std::string> calls;

    void SnapShot(TAVISnapshot& image) override
    {
        calls.push_back("snapshot");
        image.Width = width;
        image.Height = height;
        image.Pixels.assign(std::size_t(width) * height * 4, 255);
        for (int row = 0; row < height; ++row) // row 0 is the bottom
            for (int x = 0; x < width; ++x) {
                const RGB c = pattern(x, height - 1 - row, width, height);
                std::copy(c.begin(), c.end(), image.Pixels.begin() + (row * width + x) * 4);
            }
    }
    void RenderToBitmap(TBitmap& bitmap, int dpi) override
    {
        calls.push_back("render " + std::to_string(dpi) + " " + sizeOf(bitmap));
    }
    void CopyFrameBuffer(TBitmap& bitmap) override { calls.push_back("copy " + sizeOf(bitmap)); }
    static std::string sizeOf(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }
    static std::string sizeOf(const TBitmap& b) { return sizeOf(b.Width(), b.Height()); }
};

// The recorder as the scene window sets it up: 15 fps, the viewer's size,
// snapshots of the viewer.
void setUp(TAVIRecorder& recorder, const fs::path& file, int width, int height,
           Compressor compressor = Compressor::acDefault, PatternSource* source = nullptr)
{
    recorder.SetFPS(15);
    recorder.SetSizeRestriction(Restriction::srNoRestriction);
    recorder.SetWidth(width);
    recorder.SetHeight(height);
    recorder.SetImageRetrievalMode(TAVIImageRetrievalMode::irmSnapShot);
    recorder.SetCompressor(compressor);
    recorder.SetSceneViewer(source);
    recorder.SetFilename(file.string());
}

std::string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(AVIRecorder, Defaults)
{
    TAVIRecorder r;
    EXPECT_EQ(r.FPS(), 25);
    EXPECT_EQ(r.Width(), 320);
    EXPECT_EQ(r.Height(), 200);
    EXPECT_EQ(r.Filename(), "");
    EXPECT_EQ(r.Compressor(), Compressor::acDefault);
    EXPECT_EQ(r.SizeRestriction(), Restriction::srForceBlock8x8);
    EXPECT_EQ(r.ImageRetrievalMode(), TAVIImageRetrievalMode::irmBitBlt);
    EXPECT_EQ(r.SceneViewer(), nullptr);
    EXPECT_FALSE(r.Writing());
    EXPECT_EQ(r.FrameSize(), 192000u);
}

struct SizeCase
{
    const char* name;
    Restriction before;
    int width, height;
    Restriction after;
    int expectWidth, expectHeight;
};

class AVIRecorderSize : public testing::TestWithParam<SizeCase>
{
};

TEST_P(AVIRecorderSize, SettersRoundAndIgnore)
{
    const SizeCase& c = GetParam();
    TAVIRecorder r;
    r.SetSizeRestriction(c.before);
    r.SetWidth(c.width);
    r.SetHeight(c.height);
    r.SetSizeRestriction(c.after);
    EXPECT_EQ(r.Width(), c.expectWidth);
    EXPECT_EQ(r.Height(), c.expectHeight);
}

constexpr auto sr8 = Restriction::srForceBlock8x8, sr4 = Restriction::srForceBlock4x4,
               sr2 = Restriction::srForceBlock2x2, srNo = Restriction::srNoRestriction;
INSTANTIATE_TEST_SUITE_P(
    Table, AVIRecorderSize,
    testing::Values(SizeCase{"Block8RoundsDown", sr8, 321, 207, sr8, 320, 200},
                    SizeCase{"Block8TurnsSevenIntoZero", sr8, 7, 7, sr8, 0, 0},
                    SizeCase{"ZeroIgnored", sr8, 0, 0, sr8, 320, 200},
                    SizeCase{"NegativeIgnored", sr8, -16, -8, sr8, 320, 200},
                    SizeCase{"NoRestrictionKeeps", srNo, 321, 201, srNo, 321, 201},
                    SizeCase{"Block2", sr2, 321, 201, sr2, 320, 200},
                    SizeCase{"Block4", sr4, 323, 203, sr4, 320, 200},
                    SizeCase{"RestrictionChangeRerounds", srNo, 322, 201, sr4, 320, 200},
                    SizeCase{"LooserRestrictionKeepsRounded", sr8, 327, 207, srNo, 320, 200}),
    [](const auto& info) { return info.param.name; });

TEST(AVIRecorder, FrameSizePadsRowsToFourBytes)
{
    struct Row { int width, height; std::size_t bytes; };
    for (const Row& row : {Row{320, 200, 192000}, Row{321, 200, 964 * 200}, Row{1, 1, 4},
                           Row{827, 530, 2484 * 530}}) {
        TAVIRecorder r;
        r.SetSizeRestriction(srNo);
        r.SetWidth(row.width);
        r.SetHeight(row.height);
        EXPECT_EQ(r.FrameSize(), row.bytes) << row.width << " x " << row.height;
    }
}

struct MovieCase
{
    const char* name;
    Compressor compressor;
    std::optional<std::string> chosen; // answer of the encoder chooser, if set
    int width, height;
    const char* codec;
    const char* tag;
    int storedWidth, storedHeight;
};

class AVIRecorderMovie : public testing::TestWithParam<MovieCase>
{
};

// A movie of five frames reads back in ffprobe and ffmpeg with the size,
// rate, frame count and orientation it was written with.
TEST_P(AVIRecorderMovie, ReadsBackInFFmpeg)
{
    const MovieCase& c = GetParam();
    Folder dir;
    const fs::path file = dir / "flight.avi";
    PatternSource source(c.width, c.height);
    TAVIRecorder r;
    setUp(r, file, c.width, c.height, c.compressor, &source);
    std::vector<TAVIEncoderInfo> offered;
    if (c.chosen)
        r.OnChooseCompressor = [&](const std::vector<TAVIEncoderInfo>& list) {
            offered = list;
            return *c.chosen;
        };
    int calls = 0;
    r.OnPostProcessEvent = [&](TAVIRecorder& sender, TBitmap& frame) {
        ++calls;
        EXPECT_EQ(&sender, &r);
        ASSERT_EQ(PatternSource::sizeOf(frame), PatternSource::sizeOf(c.width, c.height));
        for (int y = 0; y < 8; ++y) // a white mark in the top-left corner
            std::fill_n(frame.ScanLine(y), 8 * 3, 255);
    };
    ASSERT_TRUE(r.OpenMovieFile());
    for (int i = 0; i < 5; ++i)
        r.AddMovieFrame();
    EXPECT_EQ(r.FrameIndex(), 5);
    r.CloseMovieFile();
    EXPECT_EQ(calls, 5);
    if (c.chosen) {
        ASSERT_FALSE(offered.empty());
        EXPECT_EQ(offered[0].Name, UncompressedAVIEncoder);
    }

    auto info = probe(file);
    EXPECT_EQ(info["streams"], "1") << info["error"];
    EXPECT_EQ(info["codec_type"], "video");
    EXPECT_EQ(info["codec_name"], c.codec);
    if (*c.tag) {
        EXPECT_EQ(info["codec_tag_string"], c.tag);
    }
    EXPECT_EQ(info["width"], std::to_string(c.storedWidth));
    EXPECT_EQ(info["height"], std::to_string(c.storedHeight));
    EXPECT_EQ(info["r_frame_rate"], "15/1");
    EXPECT_EQ(info["nb_frames"], "5");
    EXPECT_EQ(packetsNotKey(file), 0);

    const Decoded d = decode(file);
    EXPECT_EQ(d.errors, "");
    ASSERT_EQ(d.frames, 5);
    const int w = c.width, h = c.height;
    EXPECT_TRUE(near(d.at(4, 3, 3), kWhite));
    EXPECT_TRUE(near(d.at(4, w / 4, h / 4), kRed));
    EXPECT_TRUE(near(d.at(4, w * 3 / 4, h / 4), kGreen));
    EXPECT_TRUE(near(d.at(4, w / 2, h * 3 / 4), kBlue));
    // Padding repeats the right and bottom edges.
    if (d.width > w) {
        EXPECT_TRUE(near(d.at(4, d.width - 1, h / 4), kGreen));
    }
    if (d.height > h) {
        EXPECT_TRUE(near(d.at(4, w / 2, d.height - 1), kBlue));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AVIRecorderMovie,
    testing::Values(
        MovieCase{"Video1", Compressor::acDefault, {}, 320, 200, "msvideo1", "MSVC", 320, 200},
        MovieCase{"Video1PadsOddSize", Compressor::acDefault, {}, 827, 530, "msvideo1", "MSVC",
                  828, 532},
        MovieCase{"Video1PadsOtherOddSize", Compressor::acDefault, {}, 801, 603, "msvideo1",
                  "MSVC", 804, 604},
        MovieCase{"DivX", Compressor::acDivX, {}, 320, 200, "mpeg4", "divx", 320, 200},
        MovieCase{"DivXOddSize", Compressor::acDivX, {}, 827, 530, "mpeg4", "divx", 827, 530},
        MovieCase{"ChooserUnsetWritesBitmaps", Compressor::acShowDialog, {}, 320, 200,
                  "rawvideo", "", 320, 200},
        MovieCase{"ChooserCancelledWritesBitmaps", Compressor::acShowDialog, "", 827, 530,
                  "rawvideo", "", 827, 530},
        MovieCase{"ChooserPicksAnEncoder", Compressor::acShowDialog, "mpeg4", 322, 202, "mpeg4",
                  "", 322, 202}),
    [](const auto& info) { return info.param.name; });

enum class Ending { Close, Abort, Destroy };
struct EndingCase
{
    const char* name;
    int frames;
    Ending ending;
    bool fileRemains;
};

class AVIRecorderEnding : public testing::TestWithParam<EndingCase>
{
};

TEST_P(AVIRecorderEnding, KeepsOnlyFinishedMovies)
{
    const EndingCase& c = GetParam();
    Folder dir;
    const fs::path file = dir / "flight.avi";
    {
        PatternSource source(64, 48);
        TAVIRecorder r;
        setUp(r, file, 64, 48, Compressor::acDefault, &source);
        ASSERT_TRUE(r.OpenMovieFile());
        for (int i = 0; i < c.frames; ++i)
            r.AddMovieFrame();
        if (c.ending != Ending::Destroy)
            r.CloseMovieFile(c.ending == Ending::Abort);
        EXPECT_EQ(r.Writing(), c.ending == Ending::Destroy);
    }
    ASSERT_EQ(fs::exists(file), c.fileRemains);
    EXPECT_EQ(dir.entries(), c.fileRemains ? 1 : 0);
    if (c.fileRemains) {
        auto info = probe(file, "-count_packets");
        EXPECT_EQ(info["error"], "");
        EXPECT_EQ(info["nb_read_packets"], packetCount(c.frames));
        const Decoded d = decode(file);
        EXPECT_EQ(d.errors, "");
        EXPECT_EQ(d.frames, c.frames);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AVIRecorderEnding,
    testing::Values(EndingCase{"CloseKeepsMovie", 3, Ending::Close, true},
                    EndingCase{"CloseKeepsEmptyMovie", 0, Ending::Close, true},
                    EndingCase{"AbortDeletesMovie", 3, Ending::Abort, false},
                    EndingCase{"DestructorDeletesUnfinishedMovie", 3, Ending::Destroy, false}),
    [](const auto& info) { return info.param.name; });

TEST(AVIRecorder, OverwriteOnlyWhenAnsweredYes)
{
    for (std::optional<bool> answer : {std::optional<bool>(), std::optional(false),
                                       std::optional(true)}) {
        SCOPED_TRACE(answer ? (*answer ? "Yes" : "No") : "unanswered");
        Folder dir;
        const fs::path file = dir / "old.avi";
        std::ofstream(file, std::ios::binary) << "an earlier movie";
        TAVIRecorder r;
        setUp(r, file, 64, 48);
        std::string question;
        if (answer)
            r.OnConfirmOverwrite = [&](const std::string& text) {
                question = text;
                return *answer;
            };
        const bool opened = r.OpenMovieFile();
        EXPECT_EQ(opened, answer.value_or(false));
        EXPECT_EQ(r.Writing(), opened);
        EXPECT_EQ(question, answer ? "Overwrite file " + file.string() + "?" : "");
        if (!opened) {
            EXPECT_EQ(readBytes(file), "an earlier movie");
            continue;
        }
        r.CloseMovieFile();
        EXPECT_EQ(probe(file, "-count_packets")["nb_read_packets"], packetCount(0));
    }
}

TEST(AVIRecorder, EmptyFilenameAsksForOne)
{
    for (std::optional<std::string> answer :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("chosen.avi")}) {
        SCOPED_TRACE(answer ? "'" + *answer + "'" : "no dialog");
        Folder dir;
        TAVIRecorder r;
        setUp(r, "", 64, 48);
        if (answer)
            r.OnAskFileName = [&] { return answer->empty() ? "" : (dir / *answer).string(); };
        const bool opened = r.OpenMovieFile();
        EXPECT_EQ(opened, answer && !answer->empty());
        if (opened) {
            r.CloseMovieFile();
            EXPECT_EQ(r.MovieFileName(), (dir / "chosen.avi").string());
            EXPECT_EQ(r.Filename(), "");
        }
        EXPECT_EQ(dir.entries(), opened ? 1 : 0);
    }
}

TEST(AVIRecorder, IdleRecorderRefusesFrameAndClose)
{
    TAVIRecorder r;
    EXPECT_EQ(errorOf([&] { r.AddMovieFrame(); }),
              "Cannot add frame to AVI. AVI file not created.");
    EXPECT_EQ(errorOf([&] { r.CloseMovieFile(); }),
              "Cannot close AVI file. AVI file not created.");
}

struct OpenFailureCase
{
    const char* name;
    std::function<fs::path(TAVIRecorder&, const Folder&)> prepare; // gives the target
    const char* message;
};

class AVIRecorderOpenFailure : public testing::TestWithParam<OpenFailureCase>
{
};

// A failed open leaves the recorder idle and nothing new on disk.
TEST_P(AVIRecorderOpenFailure, LeavesNothingBehind)
{
    const OpenFailureCase& c = GetParam();
    Folder dir;
    TAVIRecorder r;
    setUp(r, "", 64, 48);
    r.OnConfirmOverwrite = [](const std::string&) { return true; };
    const fs::path target = c.prepare(r, dir);
    r.SetFilename(target.string());
    const int before = dir.entries();
    EXPECT_EQ(errorOf([&] { r.OpenMovieFile(); }), c.message);
    EXPECT_FALSE(r.Writing());
    EXPECT_EQ(dir.entries(), before);
    // The recorder is ready for the next movie.
    setUp(r, dir / "next.avi", 64, 48);
    EXPECT_TRUE(r.OpenMovieFile());
    r.CloseMovieFile();
}

const char* const kCreateFile = "Cannot create AVI file. Disk full or file in use?";
const char* const kCreateStream = "Cannot create AVI stream.";
fs::path choose(TAVIRecorder& r, const Folder& dir, const char* encoder)
{
    r.SetCompressor(Compressor::acShowDialog);
    r.OnChooseCompressor = [encoder](const std::vector<TAVIEncoderInfo>&) { return encoder; };
    return dir / "m.avi";
}
INSTANTIATE_TEST_SUITE_P(
    Table, AVIRecorderOpenFailure,
    testing::Values(
        OpenFailureCase{"FolderMissing", [](TAVIRecorder&, const Folder& d) { return d / "no" / "m.avi"; },
                        kCreateFile},
        OpenFailureCase{"NameIsAFolder",
                        [](TAVIRecorder&, const Folder& d) {
                            fs::create_directory(d / "sub");
                            std::ofstream(d / "sub" / "keep");
                            return d / "sub";
                        },
                        kCreateFile},
        OpenFailureCase{"EmptyFrame",
                        [](TAVIRecorder& r, const Folder& d) {
                            r.SetSizeRestriction(sr8);
                            r.SetWidth(7);
                            return d / "m.avi";
                        },
                        kCreateStream},
        OpenFailureCase{"FrameTooLargeForAMovie",
                        [](TAVIRecorder& r, const Folder& d) {
                            r.SetWidth(20000);
                            r.SetHeight(20000);
                            return d / "m.avi";
                        },
                        kCreateStream},
        OpenFailureCase{"ZeroFrameRate",
                        [](TAVIRecorder& r, const Folder& d) {
                            r.SetFPS(0);
                            return d / "m.avi";
                        },
                        kCreateStream},
        OpenFailureCase{"MissingEncoder",
                        [](TAVIRecorder& r, const Folder& d) { return choose(r, d, "no-such-encoder"); },
                        "Cannot make compressed stream. No such compressor found"},
        OpenFailureCase{"EncoderRefusesSize",
                        [](TAVIRecorder& r, const Folder& d) { return choose(r, d, "h261"); },
                        "Cannot make compressed stream. "}),
    [](const auto& info) { return info.param.name; });

// A full disk never leaves a file that looks like a finished movie.
TEST(AVIRecorder, FullDiskLeavesNoBrokenMovie)
{
    struct FileSizeLimit
    {
        rlimit old{};
        explicit FileSizeLimit(rlim_t bytes)
        {
            std::signal(SIGXFSZ, SIG_IGN);
            ::getrlimit(RLIMIT_FSIZE, &old);
            rlimit limited = old;
            limited.rlim_cur = bytes;
            ::setrlimit(RLIMIT_FSIZE, &limited);
        }
        ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old); }
    };
    Folder dir;
    const fs::path file = dir / "full.avi";
    TAVIRecorder r;
    setUp(r, file, 64, 64, Compressor::acShowDialog);
    {
        FileSizeLimit limit(2000);
        EXPECT_EQ(errorOf([&] { r.OpenMovieFile(); }), "AVIStreamSetFormat Error");
    }
    EXPECT_FALSE(r.Writing());
    EXPECT_FALSE(fs::exists(file));

    FileSizeLimit limit(100000);
    ASSERT_TRUE(r.OpenMovieFile());
    std::string error;
    // Frames wait in a buffer of a few hundred kilobytes before they reach
    // the disk.
    for (int i = 0; i < 100 && error.empty(); ++i)
        try {
            r.AddMovieFrame();
        } catch (const EAVIRecorderError& e) {
            error = e.what();
        }
    EXPECT_EQ(error, "Add Frame Error");
    EXPECT_TRUE(r.Writing());
    EXPECT_EQ(errorOf([&] { r.CloseMovieFile(); }).rfind("Cannot finish AVI file \"" + file.string() + "\": ", 0), 0u);
    EXPECT_FALSE(r.Writing());
    EXPECT_FALSE(fs::exists(file));
}

TEST(AVIRecorder, SizeIsFrozenWhileWriting)
{
    Folder dir;
    const fs::path file = dir / "m.avi";
    TAVIRecorder r;
    setUp(r, file, 322, 202, Compressor::acShowDialog);
    ASSERT_TRUE(r.OpenMovieFile());
    r.SetWidth(640);
    r.SetHeight(480);
    EXPECT_EQ(r.Width(), 322);
    r.SetSizeRestriction(sr4); // rounds the properties, not the open movie
    EXPECT_EQ(r.Width(), 320);
    EXPECT_EQ(r.Height(), 200);
    EXPECT_EQ(r.FrameSize(), TAVIRecorder::FrameSizeOf(322, 202));
    r.AddMovieFrame();
    r.CloseMovieFile();
    EXPECT_EQ(r.FrameSize(), TAVIRecorder::FrameSizeOf(320, 200));
    auto info = probe(file);
    EXPECT_EQ(info["width"] + "x" + info["height"], "322x202");
    EXPECT_EQ(decode(file).errors, "");
}

struct SnapshotCase
{
    const char* name;
    int width, height; // of the snapshot; the frame is 40 x 30
    bool source;
};

class AVIRecorderSnapshot : public testing::TestWithParam<SnapshotCase>
{
};

// The snapshot lands at the top-left corner, upright and clipped to the frame;
// whatever it does not cover keeps the previous frame's content.
TEST_P(AVIRecorderSnapshot, DrawsAtTopLeftAndKeepsTheRest)
{
    const SnapshotCase& c = GetParam();
    Folder dir;
    PatternSource source(c.width, c.height);
    TAVIRecorder r;
    setUp(r, dir / "m.avi", 40, 30, Compressor::acShowDialog, c.source ? &source : nullptr);
    int frame = 0;
    r.OnPostProcessEvent = [&](TAVIRecorder&, TBitmap& bitmap) {
        if (frame++ == 0) {
            for (int y = 0; y < 30; ++y)
                std::fill_n(bitmap.ScanLine(y), 40 * 3, 128);
            return;
        }
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool covered = c.source && x < c.width && y < c.height;
                ASSERT_EQ(pixelOf(bitmap, x, y), covered ? pattern(x, y, c.width, c.height) : kGrey)
                    << x << "," << y;
            }
    };
    ASSERT_TRUE(r.OpenMovieFile());
    r.AddMovieFrame();
    r.AddMovieFrame();
    EXPECT_EQ(frame, 2);
    r.CloseMovieFile();
}

INSTANTIATE_TEST_SUITE_P(Table, AVIRecorderSnapshot,
                         testing::Values(SnapshotCase{"Smaller", 36, 20, true},
                                         SnapshotCase{"LargerIsClipped", 64, 48, true},
                                         SnapshotCase{"Empty", 0, 0, true},
                                         SnapshotCase{"NoSource", 36, 20, false}),
                         [](const auto& info) { return info.param.name; });

TEST(AVIRecorder, FramesComeFromTheViewerSetLast)
{
    using Mode = TAVIImageRetrievalMode;
    const std::pair<Mode, const char*> modes[] = {
        {Mode::irmSnapShot, "snapshot"}, {Mode::irmRenderToBitmap, "render 96 40x30"},
        {Mode::irmBitBlt, "copy 40x30"}};
    for (const auto& [mode, call] : modes) {
        SCOPED_TRACE(call);
        Folder dir;
        PatternSource scene(40, 30), offscreen(40, 30);
        TAVIRecorder r;
        setUp(r, dir / "m.avi", 40, 30, Compressor::acShowDialog, &scene);
        r.SetImageRetrievalMode(mode);
        r.SetNonVisualViewer(&offscreen);
        ASSERT_TRUE(r.OpenMovieFile(96));
        r.AddMovieFrame();
        r.SetSceneViewer(nullptr); // clears the source, whichever it was
        r.AddMovieFrame();
        r.SetSceneViewer(&scene);
        r.AddMovieFrame();
        r.CloseMovieFile();
        EXPECT_EQ(offscreen.calls, std::vector<std::string>{call});
        EXPECT_EQ(scene.calls, std::vector<std::string>{call});
        EXPECT_EQ(r.NonVisualViewer(), &offscreen);
    }
}

TEST(AVIRecorder, HandlerThatBreaksTheFrameFailsThatFrameOnly)
{
    Folder dir;
    const fs::path file = dir / "m.avi";
    TAVIRecorder r;
    setUp(r, file, 64, 48);
    r.OnPostProcessEvent = [](TAVIRecorder& sender, TBitmap& frame) {
        if (sender.FrameIndex() == 0)
            frame.SetSize(10, 10);
    };
    ASSERT_TRUE(r.OpenMovieFile());
    EXPECT_EQ(errorOf([&] { r.AddMovieFrame(); }), "Add Frame Error");
    r.OnPostProcessEvent = nullptr;
    r.AddMovieFrame();
    r.CloseMovieFile();
    EXPECT_EQ(probe(file)["nb_frames"], "1");
}

// Dialogs and handlers may let window messages through, and a closing
// window aborts the movie in the middle of them.
TEST(AVIRecorder, MovieClosedFromAHandler)
{
    Folder dir;
    TAVIRecorder r;
    setUp(r, dir / "m.avi", 64, 48, Compressor::acShowDialog);
    r.OnChooseCompressor = [&](const std::vector<TAVIEncoderInfo>&) {
        r.CloseMovieFile(true);
        return std::string();
    };
    EXPECT_FALSE(r.OpenMovieFile());
    EXPECT_EQ(dir.entries(), 0);

    r.OnChooseCompressor = nullptr;
    r.OnPostProcessEvent = [](TAVIRecorder& sender, TBitmap&) { sender.CloseMovieFile(true); };
    ASSERT_TRUE(r.OpenMovieFile());
    EXPECT_EQ(errorOf([&] { r.AddMovieFrame(); }), "Cannot add frame to AVI. AVI file not created.");
    EXPECT_FALSE(r.Writing());
    EXPECT_EQ(dir.entries(), 0);
}

// Past 1 GiB the movie goes on in OpenDML extension chunks, and every frame
// stays reachable through the index.
TEST(AVIRecorder, LargeMovieUsesOpenDML)
{
    Folder dir;
    const fs::path file = dir / "large.avi";
    TAVIRecorder r;
    setUp(r, file, 1920, 1080, Compressor::acShowDialog);
    ASSERT_TRUE(r.OpenMovieFile());
    const int frames = 180; // 180 × 6220800 bytes: 1.04 GiB
    for (int i = 0; i < frames; ++i)
        r.AddMovieFrame();
    r.CloseMovieFile();
    ASSERT_GT(fs::file_size(file), std::uintmax_t(1) << 30);

    std::ifstream in(file, std::ios::binary);
    char head[12];
    in.read(head, 12);
    const std::uint32_t firstRiff = std::uint8_t(head[4]) | std::uint8_t(head[5]) << 8 |
                                    std::uint8_t(head[6]) << 16 | std::uint32_t(std::uint8_t(head[7])) << 24;
    in.seekg(std::streamoff(firstRiff) + 8);
    in.read(head, 12);
    EXPECT_EQ(std::string(head, 4) + std::string(head + 8, 4), "RIFFAVIX");

    auto info = probe(file, "-count_packets");
    EXPECT_EQ(info["nb_frames"], std::to_string(frames));
    EXPECT_EQ(info["nb_read_packets"], std::to_string(frames));
}
