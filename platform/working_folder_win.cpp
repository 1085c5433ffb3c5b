// The admin-only working folder of the Windows edition: the primitives the trust policy judges and
// drives (platform/folder_trust_policy.h), the folder's descriptor, and the program's copy.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include "base/win_handles_win.h"
#include "platform/environment.h"
#include "platform/final_path_win.h"
#include "platform/folder_descriptor_win.h"
#include "platform/folder_trust_policy.h"
#include "platform/known_folders.h"
#include "platform/working_folder.h"
#include "text/text_encoding.h"

namespace platform {

namespace {

// SYSTEM and Administrators full control, Users read and execute, for the folder and all below
// it; protected, so nothing a parent grants comes in.
constexpr const wchar_t* kFolderDescriptor =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

using ovn::ScopedKernelHandle;
struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using ScopedLocal = std::unique_ptr<void, LocalFreer>;

// Never through a reparse point: the handle is the level itself, whatever it is.
ScopedKernelHandle OpenLevel(const std::wstring& path, DWORD access) {
    return ScopedKernelHandle(CreateFileW(
        path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

FileResult<ScopedLocal> FolderDescriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderDescriptor, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return FileFailure("ConvertStringSecurityDescriptorToSecurityDescriptorW", GetLastError());
    return ScopedLocal(descriptor);
}

class CWindowsFolder final : public IFolderPrimitives {
public:
    tagFolderLevel Examine(const std::wstring& path, const std::wstring& expectedFinal) override {
        tagFolderLevel level;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return level;
            level.exists = true;
            level.unreadable = L"it cannot be examined (error " + std::to_wstring(error) + L")";
            return level;
        }
        level.exists = true;
        level.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        level.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (!level.isDirectory || level.isLink) return level;
        ScopedKernelHandle folder = OpenLevel(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
        if (!folder) {
            level.unreadable =
                L"it cannot be opened (error " + std::to_wstring(GetLastError()) + L")";
            return level;
        }
        // A folder whose real place cannot be told is not taken for the one expected.
        const ovn::Result<std::wstring> final = FinalPath(folder.get());
        if (!final) {
            level.unreadable = L"where it leads cannot be told (error " +
                               std::to_wstring(final.error().code) + L")";
            return level;
        }
        if (!SamePath(*final, expectedFinal)) level.leadsTo = *final;
        if (const ovn::Status read = ReadFolderSecurity(folder.get(), level); !read) {
            level.unreadable = L"its security descriptor cannot be read (error " +
                               std::to_wstring(read.error().code) + L")";
        }
        return level;
    }

    // The kept level's owner and DACL written again, so nothing given to anyone since remains. By
    // name, as before the judgement: only administrators can change an admin-owned level, and
    // under Wine SetSecurityInfo on a handle made a Unix link inside the folder pass the checks of
    // the files written there (measured with the trust test "temp_folder").
    FileStatus Rewrite(const std::wstring& path) override {
        FileResult<ScopedLocal> made = FolderDescriptor();
        if (!made) return made.error();
        const ScopedLocal descriptor = std::move(made).value();
        PSID owner = nullptr;
        PACL dacl = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted);
        GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted);
        const DWORD written =
            SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                      PROTECTED_DACL_SECURITY_INFORMATION,
                                  owner, nullptr, dacl, nullptr);
        if (written == ERROR_SUCCESS) return {};
        return FileFailure("SetNamedSecurityInfoW", written);
    }

    FileResult<std::wstring> MoveAside(const std::wstring& path) override {
        const std::wstring aside = path + L".untrusted-" + std::to_wstring(GetTickCount()) + L"-" +
                                   std::to_wstring(GetCurrentProcessId());
        if (MoveFileExW(path.c_str(), aside.c_str(), 0)) return aside;
        return FileFailure("MoveFileExW", GetLastError());
    }

    FileStatus Create(const std::wstring& path) override {
        FileResult<ScopedLocal> made = FolderDescriptor();
        if (!made) return made.error();
        const ScopedLocal descriptor = std::move(made).value();
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        if (CreateDirectoryW(path.c_str(), &attributes)) return {};
        return FileFailure("CreateDirectoryW", GetLastError());
    }
};

}  // namespace

WorkingFolderResult PrepareWorkingFolder() {
    tagWorkingFolder folder;
    const auto base = ProgramDataFolder();
    if (!base) {
        return NoWorkingFolder(FileFailure("SHGetKnownFolderPath (FOLDERID_ProgramData)", 0),
                               folder);
    }
    ScopedKernelHandle baseHandle(CreateFileW(
        base->c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!baseHandle) {
        return NoWorkingFolder(FileFailure("CreateFileW (program data folder)", GetLastError()),
                               folder);
    }
    const ovn::Result<std::wstring> baseFinal = FinalPath(baseHandle.get());
    if (!baseFinal) {
        return NoWorkingFolder(
            FileFailure(baseFinal.error().call + " (program data folder)", baseFinal.error().code),
            folder);
    }
    std::wstring finalBase = *baseFinal;
    CWindowsFolder system;
    std::wstring path = *base;
    for (const wchar_t* level : {L"Orvane", L"OvnK740FpgaUpdater"}) {
        path += L'\\';
        path += level;
        finalBase += L'\\';
        finalBase += level;
        if (auto level = PrepareFolderLevel(system, path, finalBase, folder); !level) {
            return level.error();
        }
    }
    folder.path = path + L'\\';
    return folder;
}

}  // namespace platform
