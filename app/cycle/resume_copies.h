// What a resumed run starts from: copies of the program and the image in the working folder, the
// image's SHA-256 in the utility's key, and the run-once command line that names them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/safe_file.h"

class CCmdLine;

inline constexpr const wchar_t* kImageHashValueName = L"ImageSha256";
inline constexpr const wchar_t* kImageCopyName = L"resume.xsvf";

struct tagResumeCopies {
    std::wstring program;  // absolute paths inside the working folder
    std::wstring image;
};

// Copies the image bytes this run read and checked into the folder beside the program copy the
// run took at its start (`program`; empty when there is none), and records the image's SHA-256
// (REG_SZ, 64 hex digits) under the utility's key. The failing call when the copy could not be
// written.
[[nodiscard]] platform::FileResult<tagResumeCopies> StoreResumeCopies(const std::wstring& folder,
                                                                      const std::wstring& program,
                                                                      const std::uint8_t* image,
                                                                      std::size_t size);

// The command that resumes the update at the next logon: the program's copy and the image's copy
// by their absolute paths in double quotes, and the options the operator gave in the parser's
// short spellings (however they were spelt). The one place that composes it.
std::wstring ResumeCommandLine(const tagResumeCopies& copies, const CCmdLine& options);

enum class ResumeImageCheck {
    kNotACopy,  // the image is not the working folder's copy: an ordinary run
    kMatches,   // the copy, with the recorded hash
    kDiffers,   // the copy, but not what was recorded (or nothing was recorded)
};

// A run started on the folder's image copy is a resumed run; its image must be what the restart
// recorded. `recorded` and `found` receive the two hashes.
ResumeImageCheck CheckResumeImage(const std::wstring& folder, const std::wstring& fileName,
                                  const std::uint8_t* image, std::size_t size,
                                  std::wstring& recorded, std::wstring& found);

// True when the running program is the folder's program copy, which only the logon entries start
// (the resume, and the repair): this start is a logon entry's run, the one that may finish or undo
// a cycle without an image.
bool RunsFromWorkingFolderCopy(const std::wstring& folder);

// True while a resume is recorded (the image's hash is stored).
bool ResumeRecorded();

// The image copy and its recorded hash go. The program copy stays: the repair entry names it
// until the run ends (RemoveProgramCopyAndHash).
void RemoveResumeCopies(const std::wstring& folder);
