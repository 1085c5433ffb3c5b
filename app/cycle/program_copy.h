// The run's copy of its own program in the working folder: taken at the very start from the
// checked running program, and the only program a run-once entry of the utility starts.
#pragma once

#include <memory>
#include <string>

#include "platform/program_copy.h"
#include "platform/safe_file.h"

inline constexpr const wchar_t* kProgramHashValueName = L"ProgramSha256";

class CProgramCopy {
public:
    CProgramCopy();
    ~CProgramCopy();
    CProgramCopy(const CProgramCopy&) = delete;
    CProgramCopy& operator=(const CProgramCopy&) = delete;

    // Opens the running program's file (held until this object goes), checks it is the running
    // program and writes it into `folder`; its SHA-256 goes under the utility's key. Nothing with
    // an empty folder; a failure is kept for Report.
    void Take(const std::wstring& folder);
    // Says in the log (and on the console) why no copy could be taken; once logging is set up.
    void Report() const;

    // The copy's absolute path; empty when there is none.
    const std::wstring& Path() const { return path_; }
    // Lets the program's file go (the run no longer names the copy in any entry): a run started
    // from the copy holds it without delete sharing, so it could not be renamed aside before.
    // Intact() is false from here on.
    void Release() { program_.reset(); }
    // True when the file at Path() (read back without following a link) holds, now, exactly the
    // bytes checked at the start, whose SHA-256 is recorded.
    bool Intact() const;

private:
    std::unique_ptr<platform::RunningProgramFile> program_;
    std::wstring path_;
    std::wstring sha256_;
    bool attempted_ = false;
    platform::FileError error_;
};

// Writes a run-once entry that starts the program copy, but only when the copy is intact at this
// moment; otherwise nothing is written and the log says why. True when it was written.
bool RegisterProgramEntry(const CProgramCopy& copy, const wchar_t* valueName,
                          const std::wstring& commandLine);

// The repair entry's command: the copy, quoted, with -q and no image.
std::wstring RepairCommandLine(const std::wstring& copyPath);

// The copy and its recorded hash go (a running copy at the next restart).
void RemoveProgramCopyAndHash(const std::wstring& folder);
