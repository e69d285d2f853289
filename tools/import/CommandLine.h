#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace skyglide {

/// The command line of one of the tools: an option declared in one call,
/// --help and --version answered, and a wrong line said on the terminal as
/// "<tool>: <message>" with exit code 2.
class TToolCommandLine
{
public:
    /// `surface` describes the one positional argument, the surface raster.
    TToolCommandLine(const char* tool, const QString& description, const QString& surface);

    QCommandLineOption Value(const char* name, const char* description, const char* valueName,
                             const QString& fallback = QString());
    QCommandLineOption Flag(const char* name, const char* description);

    /// False when the run ends here: the help or the version written (exit
    /// code 0), or the line refused (exit code 2).
    bool Parse(const QStringList& arguments, int& exitCode);
    /// Says the message and sets exit code 2; returns false, for
    /// `return ok || Fail(…)`.
    bool Fail(const QString& message, int& exitCode) const;
    /// The text as a whole number for --option, or Fail.
    bool ToInt(const QString& text, const char* option, int& value, int& exitCode) const;

    const QCommandLineParser& Parser() const { return m_parser; }

private:
    const char* m_tool;
    QCommandLineParser m_parser;
};

} // namespace skyglide
