#pragma once

// Runs the built skyglide-raster and captures what it prints, for the tool
// tests; files go to a folder of the running test under SKYGLIDE_TEST_TMP.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <gtest/gtest.h>

namespace skyglide::testing {

struct TRun
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

inline std::filesystem::path toolFolder()
{
    const char* root = std::getenv("SKYGLIDE_TEST_TMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    const auto folder =
        std::filesystem::path(root ? root : std::filesystem::temp_directory_path().string()) /
        "raster-tool" / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

inline std::string binDir()
{
    const char* dir = std::getenv("SKYGLIDE_BIN_DIR");
    return dir ? dir : ".";
}

inline std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string quoted(const std::string& arg)
{
    std::string out = "'";
    for (const char c : arg) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

/// Runs `program` (a path) with `args`, its output kept in `folder`.
inline TRun runProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& folder)
{
    std::string command = quoted(program);
    for (const auto& arg : args) {
        command += " " + quoted(arg);
    }
    const auto out = folder / "stdout.txt";
    const auto err = folder / "stderr.txt";
    command += " >" + quoted(out.string()) + " 2>" + quoted(err.string()) + " </dev/null";
    const int raw = std::system(command.c_str());
    TRun run;
    run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.Out = readFile(out);
    run.Err = readFile(err);
    return run;
}

inline TRun runTool(const std::vector<std::string>& args, const std::filesystem::path& folder)
{
    return runProgram(binDir() + "/skyglide-raster", args, folder);
}

} // namespace skyglide::testing
