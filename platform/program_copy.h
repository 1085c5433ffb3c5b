// The running program's own file, held and checked at the start of the run, and its copy in the
// working folder that the logon entries start.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/safe_file.h"

namespace platform {

// Owned by the run for its whole length: on Windows the file stays open with read sharing only,
// so nobody can rename, replace or change it until the run ends.
class RunningProgramFile {
public:
    // Opens the file the running program was loaded from and reads it whole. Windows: opened by
    // the module's name with read sharing only, then its headers and read-only sections compared
    // with the image mapped in memory. Host edition: /proc/self/exe opened read-only, its device
    // and inode compared with those of the running program. The error says why the file cannot
    // be had or is not the running program.
    [[nodiscard]] static FileResult<std::unique_ptr<RunningProgramFile>> Open();
    ~RunningProgramFile();
    RunningProgramFile(const RunningProgramFile&) = delete;
    RunningProgramFile& operator=(const RunningProgramFile&) = delete;

    // The bytes read and checked at Open.
    const std::string& Bytes() const { return bytes_; }

    // Writes the checked bytes into `folder` under the program's file name through
    // ReplaceFileAtomically (the host edition: with the "resources" folder beside it, which the
    // program reads). When the program already runs from there it is its own copy and nothing is
    // written. The host edition, which cannot deny sharing, first checks again that the open file
    // is still the running program. The copy's path.
    [[nodiscard]] FileResult<std::wstring> CopyInto(const std::wstring& folder) const;

    struct Handle;

private:
    RunningProgramFile(std::wstring name, std::string bytes, std::unique_ptr<Handle> handle);
    std::wstring name_;  // the file's name at the start, without its folder
    std::string bytes_;
    std::unique_ptr<Handle> handle_;
};

// Removes the copy CopyInto made; a copy that is running is renamed and goes at the next restart,
// so a new copy under the same name survives that restart.
void RemoveProgramCopy(const std::wstring& folder);

}  // namespace platform
