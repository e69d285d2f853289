#include "FuzzSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace skyglide::fuzz {

namespace {

class TFolder
{
public:
    TFolder()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/skyglide-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "fuzz: cannot make a folder from %s: %s\n", pattern.c_str(),
                         std::strerror(errno));
            std::abort();
        }
        m_path = pattern;
    }
    ~TFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

const TFolder& folder()
{
    static const TFolder instance;
    return instance;
}

} // namespace

std::string WriteInputFile(const std::string& name, std::string_view contents)
{
    const std::string path = folder().Path() + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Check(fd >= 0, "cannot create an input file");
    std::size_t done = 0;
    while (done < contents.size()) {
        const ssize_t put = ::write(fd, contents.data() + done, contents.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        Check(put > 0, "cannot write an input file");
        done += static_cast<std::size_t>(put);
    }
    ::close(fd);
    return path;
}

std::uint32_t TakeNumber(std::string_view& input, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        std::uint32_t byte = 0;
        if (!input.empty()) {
            byte = static_cast<unsigned char>(input.front());
            input.remove_prefix(1);
        }
        value |= byte << (8 * i);
    }
    return value;
}

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz: check failed: %s\n", what);
        std::abort();
    }
}

} // namespace skyglide::fuzz
