#include "Output.h"

#include "Commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace skyglide::rastertool {

void writeFileAtomically(const std::string& fileName, const std::string& bytes)
{
    const std::string temporary = fileName + ".part" + std::to_string(::getpid());
    const auto fail = [&](const char* what) {
        const std::string reason = std::strerror(errno);
        std::remove(temporary.c_str());
        throw TCommandError(fileName + ": cannot " + what + ": " + reason);
    };
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        fail("create");
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool flushed = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !flushed || !closed) {
        fail("write");
    }
    if (std::rename(temporary.c_str(), fileName.c_str()) != 0) {
        fail("replace");
    }
}

} // namespace skyglide::rastertool
