#pragma once

// Runs a built program and captures what it prints, for the tool tests.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace skyglide::testing {

struct TRun
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

inline std::string binDir()
{
    const char* dir = std::getenv("SKYGLIDE_BIN_DIR");
    return dir ? dir : ".";
}

inline std::string readFile(const std::filesystem::path& file)
{
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

/// Runs `program` with `args` through the shell; output is kept in `folder`.
inline TRun runProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& folder)
{
    const auto quoted = [](const std::string& arg) {
        std::string out = "'";
        for (const char c : arg) {
            out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        return out + "'";
    };
    std::string command = quoted(program);
    for (const auto& arg : args) {
        command += " " + quoted(arg);
    }
    command += " >" + quoted((folder / "out.txt").string()) + " 2>" +
               quoted((folder / "err.txt").string()) + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(folder / "out.txt"),
            readFile(folder / "err.txt")};
}

inline TRun runTool(const std::vector<std::string>& args, const std::filesystem::path& folder)
{
    return runProgram(binDir() + "/skyglide-raster", args, folder);
}

} // namespace skyglide::testing
