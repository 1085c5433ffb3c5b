// The admin-only working folder of the Windows edition: created with an explicit descriptor,
// checked by owner, DACL and final path on every start, moved aside when it fails.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include "base/win_handles_win.h"
#include "platform/environment.h"
#include "platform/final_path_win.h"
#include "platform/known_folders.h"
#include "platform/text_encoding.h"
#include "platform/working_folder.h"

namespace platform {

namespace {

// SYSTEM and Administrators full control, Users read and execute, for the folder and all below
// it; protected, so nothing a parent grants comes in.
constexpr const wchar_t* kFolderDescriptor =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                     FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE |
                                     WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

using ovn::ScopedKernelHandle;
struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using ScopedLocal = std::unique_ptr<void, LocalFreer>;

ScopedKernelHandle OpenDirectory(const std::wstring& path, DWORD access) {
    return ScopedKernelHandle(CreateFileW(
        path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return L"?";
    std::wstring result(text);
    LocalFree(text);
    return result;
}

// Whom the folder may belong to and who may write in it: SYSTEM, Administrators, and the elevated
// user running the utility (Wine stores no descriptors and reports that user as owner).
class TrustedSids {
public:
    TrustedSids() {
        for (WELL_KNOWN_SID_TYPE type :
             {WinLocalSystemSid, WinBuiltinAdministratorsSid, WinCreatorOwnerSid}) {
            std::vector<std::uint8_t> sid(SECURITY_MAX_SID_SIZE);
            DWORD size = static_cast<DWORD>(sid.size());
            if (CreateWellKnownSid(type, nullptr, sid.data(), &size)) sids_.push_back(sid);
        }
        HANDLE raw = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return;
        ScopedKernelHandle token(raw);
        TOKEN_ELEVATION elevation{};
        DWORD size = 0;
        if (!GetTokenInformation(raw, TokenElevation, &elevation, sizeof elevation, &size) ||
            !elevation.TokenIsElevated)
            return;
        GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
        std::vector<std::uint8_t> user(size);
        if (size == 0 || !GetTokenInformation(raw, TokenUser, user.data(), size, &size)) return;
        PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
        sids_.emplace_back(static_cast<std::uint8_t*>(sid),
                           static_cast<std::uint8_t*>(sid) + GetLengthSid(sid));
    }
    bool Contains(PSID sid) const {
        for (const auto& trusted : sids_)
            if (EqualSid(sid, const_cast<std::uint8_t*>(trusted.data()))) return true;
        return false;
    }

private:
    std::vector<std::vector<std::uint8_t>> sids_;
};

// Empty when the folder is acceptable; otherwise what is wrong with it.
std::wstring Fault(const std::wstring& path, const std::wstring& expectedFinal,
                   const TrustedSids& trusted) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return L"it cannot be examined";
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return L"it is no folder";
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return L"it is a reparse point";
    ScopedKernelHandle folder = OpenDirectory(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
    if (!folder) return L"it cannot be opened (error " + std::to_wstring(GetLastError()) + L")";
    const std::wstring final = FinalPath(folder.get());
    if (!SamePath(final, expectedFinal)) return L"it leads to " + final;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // By name, as Wine answers it; the handle above has just shown the name to be no link.
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return L"its security descriptor cannot be read";
    ScopedLocal keep(descriptor);
    if (owner == nullptr || !trusted.Contains(owner))
        return L"it belongs to " + (owner ? SidText(owner) : std::wstring(L"nobody"));
    if (dacl == nullptr) return L"it has no DACL, so everyone may write";
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) continue;
        const auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kWriteRights) != 0 && !trusted.Contains(sid))
            return L"it lets " + SidText(sid) + L" write";
    }
    return {};
}

bool Create(const std::wstring& path, FileError& error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderDescriptor, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        error = FileFailure("ConvertStringSecurityDescriptorToSecurityDescriptorW", GetLastError());
        return false;
    }
    ScopedLocal keep(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    if (CreateDirectoryW(path.c_str(), &attributes)) return true;
    error = FileFailure("CreateDirectoryW", GetLastError());
    return false;
}

// An accepted folder gets the descriptor again, so an owner that is the user himself (which the
// check must admit under Wine) loses the rights he may have given himself.
void Reapply(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderDescriptor, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return;
    ScopedLocal keep(descriptor);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                              PROTECTED_DACL_SECURITY_INFORMATION,
                          owner, nullptr, dacl, nullptr);
}

bool PrepareLevel(const std::wstring& path, const std::wstring& expectedFinal,
                  const TrustedSids& trusted, tagWorkingFolder& result) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        const std::wstring fault = Fault(path, expectedFinal, trusted);
        if (fault.empty()) {
            Reapply(path);
            return true;
        }
        const std::wstring aside = path + L".untrusted-" + std::to_wstring(GetTickCount()) + L"-" +
                                   std::to_wstring(GetCurrentProcessId());
        if (!MoveFileExW(path.c_str(), aside.c_str(), 0)) {
            result.error = FileFailure("MoveFileExW", GetLastError());
            result.events.push_back(L"The working folder " + path + L" is not safe (" + fault +
                                    L") and cannot be moved aside.");
            return false;
        }
        result.events.push_back(L"The working folder " + path + L" was not safe (" + fault +
                                L"); it was moved aside to " + aside + L".");
    }
    if (!Create(path, result.error)) return false;
    const std::wstring fault = Fault(path, expectedFinal, trusted);
    if (fault.empty()) return true;
    result.error = FileFailure("the folder just created is not safe", 0);
    result.events.push_back(L"The working folder " + path + L" just created is not safe (" + fault +
                            L").");
    return false;
}

}  // namespace

tagWorkingFolder PrepareWorkingFolder() {
    tagWorkingFolder result;
    const auto base = ProgramDataFolder();
    if (!base) {
        result.error = FileFailure("SHGetKnownFolderPath (FOLDERID_ProgramData)", 0);
        return result;
    }
    ScopedKernelHandle baseHandle(CreateFileW(
        base->c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring finalBase = baseHandle ? FinalPath(baseHandle.get()) : std::wstring();
    if (finalBase.empty()) {
        result.error = FileFailure("CreateFileW (program data folder)", GetLastError());
        return result;
    }
    const TrustedSids trusted;
    std::wstring path = *base;
    for (const wchar_t* level : {L"Orvane", L"OvnK740FpgaUpdater"}) {
        path += L'\\';
        path += level;
        finalBase += L'\\';
        finalBase += level;
        if (!PrepareLevel(path, finalBase, trusted, result)) return result;
    }
    result.path = path + L'\\';
    return result;
}

}  // namespace platform
