#include "paths/PathFile.h"

#include "TestSupport.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <locale>
#include <thread>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace skyglide;
using namespace skyglide::test;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

TPathFile pathOf(int lines)
{
    TPathFile path;
    for (int i = 0; i < lines; ++i)
        path.Add(std::to_string(i) + ",1.00,2.00");
    return path;
}

// Everything a path holds besides its lines, in one comparable text.
std::string stateOf(const TPathFile& path)
{
    std::string state =
        std::to_string(path.Count()) + " lines, cursor " + std::to_string(path.CurrentLine()) +
        (path.Modified() ? ", modified, '" : ", saved, '") + path.FileName() + "', fields ";
    for (const auto& field : path.Fields())
        state += field + "|";
    return state;
}

const TPose kPose{{12.0f, 35.25f, -40.8f}, {-0.6f, 0.0f, 0.8f}, {0.0f, 0.03f, 0.0f}};
const char* kPoseLine = "0,12.00,35.25,-40.80,-0.60,0.00,0.80,0.00,0.03,0.00";

} // namespace

TEST(PathFile, cursorWalksAndWraps)
{
    const int kKeep = -1000; // leave the cursor where the last Add put it
    // lines, the cursor set, then what each Next() returns and the cursor after it
    const std::tuple<const char*, int, int, std::vector<std::pair<bool, int>>> rows[] = {
        {"one line ends at once", 1, 0, {{false, 0}}},
        {"three lines", 3, 0, {{true, 1}, {true, 2}, {false, 0}, {true, 1}}},
        {"empty path", 0, 0, {{false, 0}, {false, 0}}},
        {"after recording", 2, kKeep, {{false, 0}, {true, 1}}},
        {"cursor set past the end", 3, 7, {{false, 0}}},
        {"negative cursor", 3, -9, {{false, 0}}},
    };
    for (const auto& [name, lines, start, steps] : rows) {
        TPathFile path = pathOf(lines);
        if (start != kKeep)
            path.SetCurrentLine(start);
        for (auto [more, cursor] : steps) {
            EXPECT_EQ(path.Next(), more) << name;
            EXPECT_EQ(path.CurrentLine(), cursor) << name;
            EXPECT_EQ(path.Fields(),
                      (lines ? Lines{std::to_string(cursor), "1.00", "2.00"} : Lines{}))
                << name;
        }
    }
}

TEST(PathFile, splitsLikeDelimitedText)
{
    const std::tuple<const char*, std::string, Lines> rows[] = {
        {"blanks after commas", "0, 1.50,\t-2.00", {"0", "1.50", "-2.00"}},
        {"blank inside a number", "0,1 .50", {"0", "1", ".50"}},
        {"blanks and control characters around", " \x01 0,1 \r", {"0", "1"}},
        {"trailing comma adds an empty field", "0,1,", {"0", "1", ""}},
        {"comma then blank adds nothing", "0,1, ", {"0", "1"}},
        {"empty fields", ",,", {"", "", ""}},
        {"quoted comma and doubled quote", R"(0,"a, ""b""",c)", {"0", R"(a, "b")", "c"}},
        {"text right after a quote", R"("ab"cd,e)", {"ab", "cd", "e"}},
        {"unterminated quote keeps the rest", R"(0,"ab,c)", {"0", "ab,c"}},
        {"NUL ends the line", std::string("0,1\0,2", 6), {"0", "1"}},
        {"bytes above 127 are text", "h\xC3\xB6he,1", {"h\xC3\xB6he", "1"}},
    };
    for (const auto& [name, line, fields] : rows)
        EXPECT_EQ(splitPathLine(line), fields) << name;
}

TEST(PathFile, formatsPoseLinesAndReadsThemBack)
{
    EXPECT_EQ(formatPoseLine(0, kPose), kPoseLine);
    EXPECT_EQ(formatPoseLine(2, {{-0.0f, -0.004f, -0.006f}, {}, {}}),
              "2,0.00,0.00,-0.01,0.00,0.00,0.00,0.00,0.00,0.00");
    EXPECT_EQ(formatPoseLine(7, {{123456.5f, -1e7f, 0.125f}, {}, {}}),
              "7,123456.50,-10000000.00,0.12,0.00,0.00,0.00,0.00,0.00,0.00");

    const std::pair<const char*, double> good[] = {{"-40.80", -40.8},  {" +3.5 ", 3.5},
                                                   {"1.", 1.0},        {".25", 0.25},
                                                   {"-2.5e-1", -0.25}, {"1e-400", 0.0}};
    for (auto [text, value] : good)
        EXPECT_DOUBLE_EQ(pathTextToReal(text), value) << text;
    for (std::string text :
         {"", " ", "1,5", "1.2.3", "nan", "inf", "0x10", "1e", "+", "1e400", "1 2"})
        EXPECT_EQ(ErrorOf([&] { pathTextToReal(text); }),
                  "'" + text + "' is not a valid floating point value");

    // A pose is converted whole before it is returned: a short line or one
    // bad field gives an error instead of half a pose.
    TPathFile path;
    for (const char* line : {kPoseLine, "1, 12.00,35.25,-40.80,-0.60,0.00,0.80,0.00,0.03,0.00,x",
                             "2,1.00,2.00", "3,1.00,x.5,3,4,5,6,7,8,9", "4,1,2,3,4,5,6,7,8,1e39"})
        path.Add(line);
    path.Rewind();
    path.Next();
    EXPECT_EQ(path.currentPose().CameraPosition, kPose.CameraPosition);
    EXPECT_EQ(path.currentPose().ObserverPosition, kPose.ObserverPosition);
    for (const char* error :
         {"List index out of bounds (3)", "'x.5' is not a valid floating point value",
          "'1e39' is not a valid floating point value"}) {
        path.Next();
        EXPECT_EQ(ErrorOf([&] { path.currentPose(); }), error);
    }
}

// A path saved under one regional setting reads back under any other, whichever
// way the C and C++ locales of the process are set.
TEST(PathFile, ignoresCommaDecimalLocales)
{
    struct CommaPoint : std::numpunct<char>
    {
        char do_decimal_point() const override { return ','; }
        std::string do_grouping() const override { return "\3"; }
    };
    struct Restore
    {
        std::locale previous;
        ~Restore() { std::setlocale(LC_ALL, "C"), std::locale::global(previous); }
    } restore{std::locale::global(std::locale(std::locale::classic(), new CommaPoint))};
    const bool cLocale = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;

    const std::string file = TestFolder() / "comma.csv";
    TPathFile path;
    path.Add(formatPoseLine(0, kPose));
    path.Add(formatPoseLine(1, {{1234.5f, -0.25f, 3.0f}, {}, {}}));
    path.SaveToFile(file);
    path.LoadFromFile(file);
    path.Next();
    EXPECT_EQ(path.Strings(0), kPoseLine);
    EXPECT_EQ(path.currentPose().ObserverPosition, (std::array{1234.5f, -0.25f, 3.0f}));
    if (!cLocale)
        GTEST_SKIP() << "no decimal-comma C locale; checked the C++ locale only";
    char probe[8];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5") << "the C locale in force has no decimal comma";
}

TEST(PathFile, readsEveryLineEndAndWritesCrLf)
{
    const fs::path folder = TestFolder();
    for (std::string bytes : {"a\r\nb\r\n", "a\nb\n", "a\rb\r", "a\r\nb",
                              "\xEF\xBB\xBF"
                              "a\nb"}) {
        WriteBytes(folder / "in.csv", bytes);
        TPathFile path;
        path.LoadFromFile(folder / "in.csv");
        path.SaveToFile(folder / "out.csv");
        EXPECT_EQ(ReadBytes(folder / "out.csv"), "a\r\nb\r\n") << bytes;
    }
    // Empty lines and lone CRs survive, and a file written here reads back
    // and writes again byte for byte.
    WriteBytes(folder / "in.csv", "0,1\r\n\r\n2,\"x\"\r3\n");
    TPathFile path;
    for (const char* name : {"in.csv", "out.csv", "out.csv"}) {
        path.LoadFromFile(folder / name);
        path.SaveToFile(folder / "out.csv");
        EXPECT_EQ(ReadBytes(folder / "out.csv"), "0,1\r\n\r\n2,\"x\"\r\n3\r\n");
    }
}

TEST(PathFile, failedSaveKeepsOldFileAndState)
{
    const std::pair<const char*, std::function<fs::path(const fs::path&)>> rows[] = {
        {"missing folder", [](auto& f) { return f / "none" / "p.csv"; }},
        {"folder is a file", [](auto& f) { return f / "p.csv" / "q.csv"; }},
        {"target is a folder", [](auto& f) { return fs::create_directory(f / "d"), f / "d"; }},
        {"disk full half-way", [](auto& f) { return f / "p.csv"; }},
    };
    for (const auto& [name, target] : rows) {
        const fs::path folder = TestFolder(name);
        WriteBytes(folder / "p.csv", "old\r\n");
        TPathFile path;
        for (int i = 0; i < 100; ++i)
            path.Add(formatPoseLine(i, kPose));
        const fs::path file = target(folder);
        // The file size limit stands in for a full disk: writes past it fail.
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limit{1000, saved.rlim_max};
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string error = ErrorOf([&] { path.SaveToFile(file); });
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
        EXPECT_TRUE(error.starts_with("Cannot ") && error.find(file.string()) != error.npos)
            << name << ": " << error;
        EXPECT_EQ(stateOf(path), "100 lines, cursor 100, modified, '', fields ") << name;
        EXPECT_EQ(ReadBytes(folder / "p.csv"), "old\r\n") << name;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), fs::exists(folder / "d") + 1)
            << name << ": temporary left";
    }
}

TEST(PathFile, saveKeepsLinksAndPermissions)
{
    const fs::path folder = TestFolder();
    WriteBytes(folder / "real.csv", "old\r\n");
    fs::permissions(folder / "real.csv", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("real.csv", folder / "link.csv");
    pathOf(1).SaveToFile(folder / "link.csv");
    EXPECT_TRUE(fs::is_symlink(folder / "link.csv"));
    EXPECT_EQ(ReadBytes(folder / "real.csv"), "0,1.00,2.00\r\n");
    EXPECT_EQ(fs::status(folder / "real.csv").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}

// A load or save marks the path saved under its file name; a failed load
// changes nothing.
TEST(PathFile, failedLoadKeepsThePath)
{
    const fs::path folder = TestFolder();
    const std::string good = folder / "good.csv";
    fs::create_directory(folder / "dir.csv");
    ::mkfifo((folder / "fifo.csv").c_str(), 0600);
    TPathFile path = pathOf(3);
    path.Rewind();
    path.Next();
    path.SaveToFile(good);
    EXPECT_EQ(stateOf(path), "3 lines, cursor 1, saved, '" + good + "', fields 1|1.00|2.00|");
    path.Add("3,1.00,2.00");
    const std::string before = stateOf(path);
    for (const auto& [name, reason] : {std::pair{"none.csv", "No such file or directory"},
                                       {"dir.csv", "Is a directory"},
                                       {"fifo.csv", "not a regular file"}}) {
        const std::string file = folder / name;
        EXPECT_EQ(ErrorOf([&] { path.LoadFromFile(file); }),
                  "Cannot open file \"" + file + "\": " + reason);
        EXPECT_EQ(stateOf(path), before);
    }
    path.LoadFromFile(good);
    EXPECT_EQ(stateOf(path), "3 lines, cursor 0, saved, '" + good + "', fields ");
    path.Next();
    path.Clear();
    EXPECT_EQ(stateOf(path), "0 lines, cursor 0, saved, '', fields ");
    EXPECT_EQ(ErrorOf([&] { path.Strings(0); }), "List index out of bounds (0)");
}

// A path file replaced, deleted or cut short in place while it is read
// (another thread does it as the load starts): the load has the old file
// whole, or the new one, or a head of the old one ending where it was cut,
// never a mixture; a file deleted before it was opened is an error.
TEST(PathFile, fileReplacedOrCutWhileItIsRead)
{
    const fs::path folder = TestFolder();
    const std::string file = folder / "long.csv";
    constexpr int count = 200000;
    std::string text;
    for (int i = 0; i < count; ++i)
        text += formatPoseLine(i, kPose) + "\r\n";
    const std::pair<const char*, std::function<void()>> faults[] = {
        {"replaced",
         [&] {
             WriteBytes(folder / "new.csv", "new\r\n");
             fs::rename(folder / "new.csv", file);
         }},
        {"deleted", [&] { fs::remove(file); }},
        {"cut short", [&] { fs::resize_file(file, text.size() / 2); }}};
    for (const auto& [name, fault] : faults) {
        SCOPED_TRACE(name);
        WriteBytes(file, text);
        TPathFile path;
        std::thread faulting(fault);
        const std::string error = ErrorOf([&] { path.LoadFromFile(file); });
        faulting.join();
        if (!error.empty()) {
            EXPECT_EQ(error, "Cannot open file \"" + file + "\": No such file or directory");
            continue;
        }
        if (path.Count() == 1 && path[0] == "new")
            continue;
        EXPECT_TRUE(path.Count() == count || std::string(name) == "cut short") << path.Count();
        for (int i = 0; i + 1 < path.Count(); ++i)
            ASSERT_EQ(path[i], formatPoseLine(i, kPose));
    }
}
