// Copies for the resume, their hash, the run-once line that names them, and their removal.
#include "app/cycle/resume_copies.h"

#include <cwctype>

#include "app/cycle/reboot_resume.h"
#include "app/cycle/sha256.h"
#include "device/cmdline.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/registry.h"

namespace {

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

bool SamePathText(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    }
    return true;
}

}  // namespace

platform::FileResult<tagResumeCopies> StoreResumeCopies(const std::wstring& folder,
                                                        const std::wstring& program,
                                                        const std::uint8_t* image,
                                                        std::size_t size) {
    if (program.empty()) return platform::FileFailure("the program copy taken at the start", 0);
    tagResumeCopies copies;
    copies.image = folder + kImageCopyName;
    // A new whole file: a power cut leaves the old copy or this one, and nothing planted under the
    // name is kept.
    const platform::FileStatus written = platform::ReplaceFileAtomically(
        copies.image, std::string(reinterpret_cast<const char*>(image), size));
    if (!written) return written.error();
    copies.program = program;
    // A hash the registry refused makes CheckResumeImage find the copy differing, so an image
    // whose hash was not recorded is never taken for the resume's own.
    (void)platform::RegistrySetString(kUtilityKey, kImageHashValueName, Sha256Hex(image, size));
    return copies;
}

std::wstring ResumeCommandLine(const tagResumeCopies& copies, const CCmdLine& options) {
    std::wstring line = Quoted(copies.program);
    if (options.quiet) line += L" -q";
    if (!options.beep) line += L" -b";
    if (options.noReboot) line += L" -n";
    if (options.calibrate != -1) line += L" -c " + std::to_wstring(options.calibrate);
    if (options.verbose != 0) line += L" -v " + std::to_wstring(options.verbose);
    return line + L" -f " + Quoted(copies.image);
}

ResumeImageCheck CheckResumeImage(const std::wstring& folder, const std::wstring& fileName,
                                  const std::uint8_t* image, std::size_t size,
                                  std::wstring& recorded, std::wstring& found) {
    if (folder.empty() || !SamePathText(fileName, folder + kImageCopyName))
        return ResumeImageCheck::kNotACopy;
    // No readable hash is no recorded hash: the copy then differs.
    const auto hash = platform::RegistryGetString(kUtilityKey, kImageHashValueName);
    recorded = hash ? *hash : std::wstring();
    found = Sha256Hex(image, size);
    return !recorded.empty() && recorded == found ? ResumeImageCheck::kMatches
                                                  : ResumeImageCheck::kDiffers;
}

bool RunsFromWorkingFolderCopy(const std::wstring& folder) {
    if (folder.empty()) return false;
    const ovn::Result<std::wstring> module = platform::ModuleFileName();
    // A program whose own name cannot be read is not taken for the copy.
    if (!module) return false;
    const std::wstring& program = *module;
    const std::size_t separator = program.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return false;
    std::wstring directory = program.substr(0, separator + 1);
    std::wstring expected = folder;
    if (expected.back() != L'\\' && expected.back() != L'/') expected += directory.back();
    return SamePathText(directory, expected);
}

bool ResumeRecorded() { return platform::RegistryGetString(kUtilityKey, kImageHashValueName).ok(); }

void RemoveResumeCopies(const std::wstring& folder) {
    // Tidying up: a value already gone is the aim, and one left behind only makes a later resume
    // compare against a hash of an image that is no longer there.
    (void)platform::RegistryDeleteValue(kUtilityKey, kImageHashValueName);
    if (folder.empty()) return;
    // Without its hash in the registry a copy left behind is never started.
    (void)platform::RemoveFileName(folder + kImageCopyName);
}
