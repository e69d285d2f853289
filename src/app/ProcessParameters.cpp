#include "app/ProcessParameters.h"

#include "host/HostLink.h"
#include "host/StartupParameters.h"

#include <QLocale>
#include <QString>

#include <cmath>
#include <cstdio>

namespace skyglide {

namespace {

IKartovaAPIServer& RequireHostServer(THostLink& host, const char* method)
{
    IKartovaAPIServer* server = host.Server();
    if (!server)
        throw EHostServerError(method, "not connected to the host");
    return *server;
}

} // namespace

std::string TrimBlanks(const std::string& text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

std::uint8_t LowByteOfInteger(const std::string& text, int index)
{
    std::int32_t value = 0;
    if (!TryParseInteger(text, value, false))
        throw EConvertError("process parameter " + std::to_string(index) + ": '" + text +
                            "' is not a whole number");
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);
}

float ExaggerationFromPercent(const std::string& text)
{
    const QString trimmed = QString::fromStdString(text).trimmed();
    bool ok = false;
    QLocale user = QLocale::system();
    user.setNumberOptions(QLocale::RejectGroupSeparator);
    double percent = user.toDouble(trimmed, &ok);
    if (!ok) {
        QLocale plain = QLocale::c();
        plain.setNumberOptions(QLocale::RejectGroupSeparator);
        percent = plain.toDouble(trimmed, &ok);
    }
    if (!ok)
        throw EConvertError("process parameter 7: '" + text + "' is not a number");
    const auto exaggeration = static_cast<float>(percent / 100.0);
    // Not a number and infinity would leave the surface without a height.
    if (!(exaggeration > 0.0f) || !std::isfinite(exaggeration))
        return 0.01f;
    return exaggeration;
}

bool IsStartMaximized(const std::string& text)
{
    return text == "1";
}

TProcessParameters ReadProcessParameters(THostLink& host)
{
    TProcessParameters parameters;
    parameters.SurfaceFileName = TrimBlanks(host.GetProcessParameter(2));
    parameters.DrapeFileName = TrimBlanks(host.GetProcessParameter(3));
    parameters.PaletteName = TrimBlanks(host.GetProcessParameter(4));
    parameters.ResolutionMode = LowByteOfInteger(host.GetProcessParameter(5), 5);
    parameters.VelocityParameter = LowByteOfInteger(host.GetProcessParameter(6), 6);
    parameters.Exaggeration = ExaggerationFromPercent(host.GetProcessParameter(7));
    parameters.StartMaximized = IsStartMaximized(host.GetProcessParameter(8));
    parameters.HelpFile = RequireHostServer(host, "GetHostText").GetHostText();
    // The host's number is read as the host expects, but not used.
    RequireHostServer(host, "GetHostNumber").GetHostNumber();
    return parameters;
}

void AbandonStartup(THostLink& host, const std::exception& error)
{
    std::fprintf(stderr, "skyglide: the start-up failed: %s\n", error.what());
    try {
        host.ReportProcessError(-999);
    } catch (const std::exception& reportError) {
        std::fprintf(stderr, "skyglide: the failure could not be reported to the host: %s\n",
                     reportError.what());
    }
    host.Release();
    host.TerminateApplication();
}

} // namespace skyglide
