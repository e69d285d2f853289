#include "host/StartupParameters.h"

#include "host/HostLink.h"

#include <QString>

#include <cstdint>

namespace skyglide {

namespace {

int DigitValue(char c, int base)
{
    int digit = -1;
    if (c >= '0' && c <= '9')
        digit = c - '0';
    else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
    return digit < base ? digit : -1;
}

// The text after the three-character prefix, counted in characters so that a
// prefix with letters outside ASCII is skipped whole.
std::string TextAfterPrefix(const std::string& argument)
{
    const QString text = QString::fromStdString(argument);
    qsizetype pos = 0;
    for (int characters = 0; characters < 3 && pos < text.size(); ++characters)
        pos += (text.at(pos).isHighSurrogate() && pos + 1 < text.size()) ? 2 : 1;
    return text.mid(pos).toStdString();
}

bool MentionsNoparams(const std::string& argument)
{
    return QString::fromStdString(argument).toLower().contains(QLatin1String("noparams"));
}

} // namespace

bool TryParseInteger(std::string_view text, std::int32_t& value, bool allowHex)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (allowHex && i < text.size()) {
        if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
            base = 16;
            ++i;
        } else if (text[i] == '0' && i + 1 < text.size() &&
                   (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            base = 16;
            i += 2;
        }
    }
    if (i == text.size())
        return false;

    const std::uint64_t limit =
        base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0)
            return false;
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (magnitude > limit)
            return false;
    }
    auto bits = static_cast<std::uint32_t>(magnitude);
    if (negative)
        bits = 0u - bits;
    value = static_cast<std::int32_t>(bits);
    return true;
}

void ReadStartupParameters(THostLink& host, const std::vector<std::string>& arguments)
{
    if (!host.Connect())
        host.EndProgramAtOnce();

    if (!arguments.empty()) {
        const std::string& argument = arguments.front();
        if (MentionsNoparams(argument)) {
            if (host.ShuttingDown())
                host.EndProgramAtOnce();
            if (IKartovaAPIServer* server = host.Server())
                host.SetProcessNumber(server->ObtainProcessNumber());
        } else {
            std::int32_t number = 0;
            if (!TryParseInteger(TextAfterPrefix(argument), number))
                host.EndProgramAtOnce();
            host.SetProcessNumber(number);
        }
    } else {
        if (host.ShuttingDown())
            host.EndProgramAtOnce();
        IKartovaAPIServer* server = host.Server();
        if (server)
            host.SetProcessNumber(server->ObtainProcessNumber());
        if (!server || !server->ConfirmNewProcess(host.ProcessNumber())) {
            if (server)
                server->AbandonProcess(host.ProcessNumber());
            host.EndProgramAtOnce();
        }
    }

    IKartovaAPIServer* server = host.Server();
    if (!server || !server->ConfirmProcess(host.ProcessNumber()))
        host.EndProgramAtOnce();
    // Neither text is needed, but a host that cannot give them fails the
    // start-up like any other failing call.
    server->GetProcessTextC(host.ProcessNumber());
    server->GetProcessTextD(host.ProcessNumber());
}

} // namespace skyglide
