#include "import/CommandLine.h"

#include <cstdio>

namespace skyglide {

TToolCommandLine::TToolCommandLine(const char* tool, const QString& description,
                                   const QString& surface)
    : m_tool(tool)
{
    m_parser.setApplicationDescription(description);
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    m_parser.addPositionalArgument(QStringLiteral("surface"), surface);
}

QCommandLineOption TToolCommandLine::Value(const char* name, const char* description,
                                           const char* valueName, const QString& fallback)
{
    QCommandLineOption option(QString::fromLatin1(name), QString::fromLatin1(description),
                              QString::fromLatin1(valueName), fallback);
    m_parser.addOption(option);
    return option;
}

QCommandLineOption TToolCommandLine::Flag(const char* name, const char* description)
{
    QCommandLineOption option(QString::fromLatin1(name), QString::fromLatin1(description));
    m_parser.addOption(option);
    return option;
}

bool TToolCommandLine::Parse(const QStringList& arguments, int& exitCode)
{
    exitCode = 0;
    if (!m_parser.parse(arguments))
        return Fail(m_parser.errorText(), exitCode);
    if (m_parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(m_parser.helpText()), stdout);
        return false;
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", m_tool, SKYGLIDE_VERSION);
        return false;
    }
    return true;
}

bool TToolCommandLine::Fail(const QString& message, int& exitCode) const
{
    std::fprintf(stderr, "%s: %s\n", m_tool, qPrintable(message));
    exitCode = 2;
    return false;
}

bool TToolCommandLine::ToInt(const QString& text, const char* option, int& value,
                             int& exitCode) const
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok ||
           Fail(QStringLiteral("--%1: '%2' is not a whole number").arg(QLatin1String(option), text),
                exitCode);
}

} // namespace skyglide
