#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

namespace skyglide {

class THostLink;

// A process parameter that does not convert to what it must be.
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The run's parameters as the host holds them (indexes 2 to 8), converted,
// and the help file the host names.
struct TProcessParameters
{
    std::string SurfaceFileName;        // 2, trimmed
    std::string DrapeFileName;          // 3, trimmed; "none" means the surface
    std::string PaletteName;            // 4, trimmed; "none" means "greyscale"
    std::uint8_t ResolutionMode = 0;    // 5, low 8 bits
    std::uint8_t VelocityParameter = 0; // 6, low 8 bits
    float Exaggeration = 1.0f;          // 7 ÷ 100, at least 0.01
    bool StartMaximized = false;        // 8 is exactly "1"
    std::string HelpFile;
};

// Reads parameters 2 to 8 (one host call each, in that order), then the help
// file and the host number. Throws EConvertError or EHostServerError.
TProcessParameters ReadProcessParameters(THostLink& host);

// The conversions, one per kind of parameter.
std::string TrimBlanks(const std::string& text);
// A decimal whole number (leading blanks and a sign allowed) of 32 bits, of
// which only the low 8 bits are kept.
std::uint8_t LowByteOfInteger(const std::string& text, int index);
// A real number in the user's notation or with a full stop, divided by 100;
// a result that is not a positive finite single becomes 0.01.
float ExaggerationFromPercent(const std::string& text);
bool IsStartMaximized(const std::string& text);

// The start-up's failure guard: reports the failure to the host with code
// -999, releases the host and asks the application to terminate. Shows no
// message box; the reason goes to the standard error stream.
void AbandonStartup(THostLink& host, const std::exception& error);

} // namespace skyglide
