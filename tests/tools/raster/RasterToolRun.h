#pragma once

// skyglide-raster and the other programs the raster tool tests run, as a user
// runs them: what they print and exit with.

#include "DataFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <string>
#include <vector>

namespace skyglide::test {

using TStrings = std::vector<std::string>;

struct TRun
{
    int Status = -1; // -1: did not start, or did not exit normally
    std::string Out, Err;
};

inline TRun runProgram(const QString& program, const TStrings& args)
{
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << QString::fromStdString(arg);
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    const bool exited = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit;
    return {exited ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

inline TRun runTool(const TStrings& args)
{
    return runProgram(ProgramPath("skyglide-raster"), args);
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

} // namespace skyglide::test
