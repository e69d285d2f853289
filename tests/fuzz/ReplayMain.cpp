// Runs a fuzz target's body over saved inputs without libFuzzer, so that the
// normal and the sanitizer builds replay the seeds and every finding kept as
// a regression input. Arguments are files or folders (read one level deep);
// a folder that holds nothing fails the run, so a moved corpus is noticed.

#include "FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> files;
        if (fs::is_directory(argv[i])) {
            for (const auto& entry : fs::directory_iterator(argv[i])) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
        } else {
            files.emplace_back(argv[i]);
        }
        if (files.empty()) {
            std::fprintf(stderr, "replay: %s: no inputs\n", argv[i]);
            return 1;
        }
        for (const auto& file : files) {
            if (!fs::is_regular_file(file)) {
                std::fprintf(stderr, "replay: %s: not a file\n", file.c_str());
                return 1;
            }
            // A buffer of the input's exact size, as under libFuzzer, so that
            // the address checker sees a read past its end.
            const std::string input = readFile(file);
            const auto exact = std::make_unique<std::uint8_t[]>(input.size());
            std::copy(input.begin(), input.end(), exact.get());
            LLVMFuzzerTestOneInput(exact.get(), input.size());
            ++replayed;
        }
    }
    std::printf("replay: %d inputs ran\n", replayed);
    return replayed > 0 ? 0 : 1;
}
