#pragma once

// What every fuzz target shares: the entry point libFuzzer calls, files that
// carry an input to readers that only take a file name, and the check that
// turns a broken promise of a reader into a crash the fuzzer keeps.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace skyglide::fuzz {

/// Replaces the file `name` by `contents` in a private folder, made on first
/// use under $TMPDIR (or /tmp) and removed when the process ends normally,
/// and returns the file's path.
std::string WriteInputFile(const std::string& name, std::string_view contents);

/// The input as text, NUL bytes included.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

/// Takes `count` bytes off the front of `input` as a little-endian number;
/// missing bytes read as 0.
std::uint32_t TakeNumber(std::string_view& input, int count);

/// Aborts with `what` on the standard error stream unless `condition` holds.
/// An abort is what libFuzzer records as a finding and what fails a replay.
void Check(bool condition, const char* what);

} // namespace skyglide::fuzz
