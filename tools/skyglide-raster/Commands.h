#pragma once

#include "import/GdalImport.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace skyglide::rastertool {

/// A command line the tool cannot act on: the message is printed with the
/// usage hint and the tool ends with status 2.
class TUsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// A failure of the command on a file: the message names the file and the
/// reason; the tool ends with status 1.
class TCommandError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

using TArgs = std::vector<std::string>;

/// Each command takes the arguments after its name and returns the exit
/// status; failures are thrown.
int runInfo(const TArgs& args);
int runValues(const TArgs& args);
int runTexture(const TArgs& args);
int runImport(const TArgs& args);
int runImportGrid(const TArgs& args);
int runMakePalette(const TArgs& args);

/// Splits a command's arguments into one positional operand and options of
/// the form --name VALUE; a name listed in `repeatable` may occur more than
/// once.
struct TOptions
{
    std::vector<std::string> Operands;
    std::vector<std::pair<std::string, std::string>> Values;

    static TOptions parse(const TArgs& args, const std::vector<std::string>& known);

    bool has(const std::string& name) const;
    /// The value of a single option, or `fallback` when it is absent.
    std::string get(const std::string& name, const std::string& fallback = {}) const;
    std::string require(const std::string& name) const;
    std::vector<std::string> all(const std::string& name) const;
    /// The one operand the command takes, named `what` in errors.
    std::string operand(const char* what) const;
};

/// Whole-text conversions that name the option in their error.
long long toInteger(const std::string& text, const std::string& option, long long lo, long long hi);
double toReal(const std::string& text, const std::string& option);
/// Splits "a,b,c" into exactly `count` parts.
std::vector<std::string> splitList(const std::string& text, char separator, std::size_t count,
                                   const std::string& option);

/// Reads the --step option (1 … 65535, default 1).
unsigned parseStep(const TOptions& options);

/// Reads the options --band and --title of a foreign raster's import.
TImportOptions parseImportOptions(const TOptions& options);

} // namespace skyglide::rastertool
