// Files of the elevated run: each write a new whole file renamed over the name, reads that follow
// no link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/safe_file.h"

namespace platform {

// Writes the bytes into a new file beside `path` ("<name>.tmp<pid>", created exclusively, never
// through a link, with its descriptor given at creation: Windows SYSTEM and Administrators full
// control, Users read and execute, nothing inherited; the host edition mode 0644, owned by the
// running user), flushes it and renames it onto `path` (Windows: MoveFileExW, replacing,
// write-through; the host edition: rename and a flush of the directory). Whatever had the name
// before (a file of someone else, a link, a second name of another file) loses the name and is not
// touched; a directory there is moved aside first. A reader, and a power cut, see the old or the
// new whole file, never a part. A leftover temporary name of this process is removed (the name,
// never a link's target) before the write. The error names the failing call.
[[nodiscard]] FileStatus ReplaceFileAtomically(const std::wstring& path, const std::string& bytes);

// The same for a program the run starts: the host edition's file may be executed (mode 0755).
[[nodiscard]] FileStatus ReplaceProgramAtomically(const std::wstring& path,
                                                  const std::vector<std::uint8_t>& bytes);
[[nodiscard]] inline FileStatus ReplaceProgramAtomically(const std::wstring& path,
                                                         const std::string& bytes) {
    return ReplaceProgramAtomically(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

// A file too large to build in memory, written as ReplaceFileAtomically writes one: parts go into
// "<name>.tmp<pid>" (created exclusively, never through a link, with the same descriptor), and
// Commit flushes it and renames it onto the name. Dropped without Commit, the temporary name is
// removed. One thread at a time.
class AtomicFileStream {
public:
    [[nodiscard]] static FileResult<std::unique_ptr<AtomicFileStream>> Create(
        const std::wstring& path);
    ~AtomicFileStream();
    AtomicFileStream(const AtomicFileStream&) = delete;
    AtomicFileStream& operator=(const AtomicFileStream&) = delete;

    [[nodiscard]] FileStatus Write(const void* data, std::size_t size);
    // After a failed Write or Commit the temporary name is gone and the name keeps what it had.
    [[nodiscard]] FileStatus Commit();

    struct Handle;

private:
    AtomicFileStream(std::wstring path, std::unique_ptr<Handle> handle);
    std::wstring path_;
    std::unique_ptr<Handle> handle_;
};

// The whole content of a plain file of at most maxBytes bytes. The error says why there is none:
// missing or unreadable, larger (tooLarge), or refused as a link, reparse point, second name or no
// plain file.
[[nodiscard]] FileResult<std::string> ReadFileSafely(const std::wstring& path,
                                                     std::size_t maxBytes);

// Whether the path names a link (symbolic link, junction or other reparse point); a missing name is
// none. The error when the name's attributes cannot be read.
[[nodiscard]] FileResult<bool> IsLinkOrReparsePoint(const std::wstring& path);

// Names (without the directory) of the plain files in a directory; empty when it cannot be read.
std::vector<std::wstring> PlainFileNames(const std::wstring& directory);

}  // namespace platform
