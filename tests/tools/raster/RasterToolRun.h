#pragma once

// skyglide-raster and the other programs the raster tool tests run, as a user
// runs them: what they print and exit with.

#include "../../data/DataTestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <cstdlib>
#include <sstream>

namespace skyglide::testing {

using TStrings = std::vector<std::string>;

struct TRun
{
    int Status = -1; // -1: did not start, or did not exit normally
    std::string Out, Err;
};

inline std::string binDir()
{
    const char* dir = std::getenv("SKYGLIDE_BIN_DIR");
    return dir ? dir : ".";
}

inline TRun runProgram(const std::string& program, const TStrings& args)
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

inline TRun runTool(const TStrings& args)
{
    return runProgram(binDir() + "/skyglide-raster", args);
}

inline std::string readFile(const std::filesystem::path& file)
{
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

inline QJsonObject json(const std::string& text)
{
    QJsonParseError error{};
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc.object();
}

/// A failure is one line on stderr naming the tool, with exit status 1.
inline void expectFailure(const TRun& run, const std::string& message)
{
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "skyglide-raster: " + message + "\n");
}

} // namespace skyglide::testing
