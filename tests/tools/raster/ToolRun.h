#pragma once

// Runs a built program and captures what it prints, for the tool tests.

#include <QProcess>
#include <QStringList>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace skyglide::testing {

struct TRun
{
    int Status = -1; // -1: the program did not start or did not exit normally
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

inline TRun runProgram(const std::string& program, const std::vector<std::string>& args)
{
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << QString::fromStdString(arg);
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QString::fromStdString(program), arguments);
    const bool exited = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit;
    return {exited ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

inline TRun runTool(const std::vector<std::string>& args)
{
    return runProgram(binDir() + "/skyglide-raster", args);
}

} // namespace skyglide::testing
