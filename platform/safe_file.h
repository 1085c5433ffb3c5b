// Files the elevated run writes: opened without following links, so a name planted by someone
// else can never redirect the write to another file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_result.h"

namespace platform {

enum class SafeOpenMode {
    kReplace,  // created when missing; emptied only once it passed the checks; no sharing
    kAppend,   // created when missing; writes go to the end; others may read
    kHold,     // an existing file, read only; others may read (and so start it) but not change it
};

// Owned by its opener; one thread at a time.
class SafeFile {
public:
    // Opens without following a link at the file's own name and refuses the file when it is a
    // reparse point or symbolic link, has more than one name (a hard link), is no regular file,
    // or when the final path of the open handle is not the final path of its directory followed
    // by its name. The error says why there is no file.
    [[nodiscard]] static FileResult<std::unique_ptr<SafeFile>> Open(const std::wstring& path,
                                                                    SafeOpenMode mode);
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    [[nodiscard]] FileStatus Write(const void* data, std::size_t size);
    // The whole content, read through the open handle from its start.
    [[nodiscard]] FileResult<std::vector<std::uint8_t>> ReadAll();

    struct Handle;

private:
    explicit SafeFile(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> handle_;
};

// The file holds exactly these bytes afterwards (kReplace).
[[nodiscard]] FileStatus WriteFileSafely(const std::wstring& path, const void* data,
                                         std::size_t size);

// For files in a folder only administrators may change: an entry refused as a link, reparse point
// or second name is renamed aside (the name itself) and the write tried once more. A name whose
// handle merely resolved elsewhere is left alone and refused: that is how Wine shows a Unix link,
// and Wine renames and deletes through such a link, never the link itself.
[[nodiscard]] FileStatus ReplaceFileSafely(const std::wstring& path, const void* data,
                                           std::size_t size);

// Removes a file's name (a link itself, never its target). With laterIfBusy, a file that cannot go
// now (a program that is running) goes at the next restart. Done when the name is gone or will go;
// a name that was never there is no error.
[[nodiscard]] FileStatus RemoveFileName(const std::wstring& path, bool laterIfBusy = false);

// Appends narrow text to a file in text mode: every "\n" becomes CR LF in the file. The file is
// opened as SafeFile opens it: a link or a file with several names is refused. The error says why
// the file could not be opened or was refused (nothing is written then).
[[nodiscard]] FileStatus AppendTextFile(const std::wstring& path, const std::string& text);

// Renames a file's name (a link itself) to "<path>.refused-<n>" beside it.
[[nodiscard]] FileStatus MoveFileNameAside(const std::wstring& path);

}  // namespace platform
