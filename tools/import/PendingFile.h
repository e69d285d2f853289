#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace skyglide {

/// A file written under a temporary name beside its target and renamed over
/// the target by Commit(), so that the target is either the old file or the
/// complete new one, never a part. Without Commit() the temporary file is
/// removed. Failures throw TImportError "cannot write <target>: <reason>".
class TPendingFile
{
public:
    explicit TPendingFile(std::string target);
    ~TPendingFile();
    TPendingFile(const TPendingFile&) = delete;
    TPendingFile& operator=(const TPendingFile&) = delete;

    void WriteAt(std::uint64_t offset, const void* bytes, std::size_t count);
    /// Flushes the file to disk and renames it over the target.
    void Commit();

private:
    [[noreturn]] void fail(int error);

    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
};

/// Writes `bytes` to `fileName` through a TPendingFile.
void WriteFileAtomically(const std::string& fileName, const std::string& bytes);

} // namespace skyglide
