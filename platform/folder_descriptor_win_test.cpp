// The folder judgement over real security descriptors: each built from SDDL (entries Wine's SDDL
// parser lacks built by hand), mapped by the Windows primitives and judged by the policy.
#include <windows.h>
// After windows.h:
#include <gtest/gtest.h>
#include <sddl.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/folder_descriptor_win.h"
#include "text/text_encoding.h"

namespace {

using platform::AceKind;
using platform::FolderAction;

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using ScopedLocal = std::unique_ptr<void, LocalFreer>;

constexpr const wchar_t* kOperator = L"S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr const wchar_t* kInstaller =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

std::wstring Sddl(const std::wstring& text, const wchar_t* sid = kOperator) {
    std::wstring result = text;
    for (std::size_t at; (at = result.find(L"$U")) != std::wstring::npos;)
        result.replace(at, 2, sid);
    return result;
}

ScopedLocal FromSddl(const std::wstring& text) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        ADD_FAILURE() << "SDDL not parsed (error " << GetLastError() << "): " << WideToUtf8(text);
    return ScopedLocal(descriptor);
}

platform::tagFolderJudgement Judge(const void* descriptor) {
    platform::tagFolderLevel level;
    level.exists = true;
    level.isDirectory = true;
    platform::DescribeSecurityDescriptor(descriptor, level);
    return platform::JudgeFolderLevel(level, false);
}

platform::tagFolderJudgement JudgeSddl(const std::wstring& text) {
    ScopedLocal descriptor = FromSddl(text);
    return descriptor ? Judge(descriptor.get())
                      : platform::tagFolderJudgement{FolderAction::kRefuse, L"no descriptor"};
}

// The run's own descriptor with one more entry of `type` in front, laid out by hand: Wine's SDDL
// parser knows neither conditional ("XA") nor object ("OA") entries. The entry grants Everyone
// only reading, so nothing but its type can make it a fault.
struct tagBuiltDescriptor {
    std::vector<BYTE> acl;
    SECURITY_DESCRIPTOR descriptor{};
    ScopedLocal source;
};

std::unique_ptr<tagBuiltDescriptor> WithEntryOfType(BYTE type) {
    auto built = std::make_unique<tagBuiltDescriptor>();
    built->source = FromSddl(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    PACL own = nullptr;
    PSID owner = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    GetSecurityDescriptorDacl(built->source.get(), &present, &own, &defaulted);
    GetSecurityDescriptorOwner(built->source.get(), &owner, &defaulted);
    // Header, mask, then for an object entry its flags (no GUIDs), then Everyone's SID
    // (S-1-1-0: revision 1, one sub-authority, authority 1, sub-authority 0).
    std::vector<BYTE> entry = {type, 0, 0, 0, 0xa9, 0x00, 0x12, 0x00};
    if (type == ACCESS_ALLOWED_OBJECT_ACE_TYPE) entry.insert(entry.end(), {0, 0, 0, 0});
    entry.insert(entry.end(), {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0});
    entry[2] = static_cast<BYTE>(entry.size());
    built->acl.resize(1024);
    auto* acl = reinterpret_cast<PACL>(built->acl.data());
    EXPECT_TRUE(InitializeAcl(acl, static_cast<DWORD>(built->acl.size()), ACL_REVISION_DS));
    EXPECT_TRUE(
        AddAce(acl, ACL_REVISION_DS, MAXDWORD, entry.data(), static_cast<DWORD>(entry.size())));
    for (DWORD i = 0; i < own->AceCount; ++i) {
        void* ace = nullptr;
        GetAce(own, i, &ace);
        EXPECT_TRUE(
            AddAce(acl, ACL_REVISION_DS, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize));
    }
    InitializeSecurityDescriptor(&built->descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorOwner(&built->descriptor, owner, FALSE);
    SetSecurityDescriptorDacl(&built->descriptor, TRUE, acl, FALSE);
    return built;
}

}  // namespace

TEST(FolderDescriptor, TheRunsOwnDescriptorAndTrustedOwnersAreAccepted) {
    for (const std::wstring& text :
         {Sddl(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"),
          Sddl(L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"),
          Sddl(L"O:$UD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", kInstaller),
          // Users and the operator may read and list, however the rights are spelled.
          Sddl(L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)(A;OICI;GRGX;;;$U)")}) {
        const platform::tagFolderJudgement judged = JudgeSddl(text);
        EXPECT_EQ(judged.action, FolderAction::kKeep)
            << WideToUtf8(text) << ": " << WideToUtf8(judged.fault);
    }
}

TEST(FolderDescriptor, TheOperatorAsOwnerOrWriterIsRefused) {
    const struct {
        const wchar_t* sddl;
        const char* fault;
    } cases[] = {
        {L"O:$UD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", "it belongs to $U"},
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;$U)", "it lets $U write"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;GW;;;$U)", "it lets $U write"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;WO;;;$U)", "it lets $U write"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;FA;;;$U)",
         "it lets $U write in what is made inside it"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)", "it lets S-1-5-32-545 write"},
        {L"O:BA", "it has no DACL, so everyone may write"},
    };
    const std::string sid = WideToUtf8(kOperator);
    for (const auto& entry : cases) {
        const platform::tagFolderJudgement judged = JudgeSddl(Sddl(entry.sddl));
        std::string expected = entry.fault;
        if (expected.find("$U") != std::string::npos) expected.replace(expected.find("$U"), 2, sid);
        EXPECT_EQ(judged.action, FolderAction::kMoveAsideAndRecreate) << WideToUtf8(entry.sddl);
        EXPECT_EQ(WideToUtf8(judged.fault), expected) << WideToUtf8(entry.sddl);
    }
}

TEST(FolderDescriptor, DenyCallbackAndObjectEntriesAreFaults) {
    // The folder a user makes before the first elevated run: his own, full control for him, and
    // WRITE_OWNER denied to him, which the elevated run (the same SID) could not override.
    EXPECT_EQ(WideToUtf8(JudgeSddl(Sddl(L"O:$UD:P(A;OICI;FA;;;$U)(D;;WO;;;$U)")).fault),
              "it belongs to " + WideToUtf8(kOperator));
    // The same entries under a trusted owner are still no descriptor of the run's own.
    const platform::tagFolderJudgement denied =
        JudgeSddl(Sddl(L"O:BAD:P(D;;WO;;;$U)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"));
    EXPECT_EQ(denied.action, FolderAction::kMoveAsideAndRecreate);
    EXPECT_EQ(WideToUtf8(denied.fault), "its DACL holds a deny entry for " + WideToUtf8(kOperator));

    const struct {
        BYTE type;
        const char* fault;
    } built[] = {
        {ACCESS_ALLOWED_CALLBACK_ACE_TYPE,
         "its DACL holds a conditional (callback) entry for S-1-1-0"},
        {ACCESS_ALLOWED_OBJECT_ACE_TYPE, "its DACL holds an object entry"},
        {0x13, "its DACL holds an entry of an unknown type"},
    };
    for (const auto& entry : built) {
        const auto descriptor = WithEntryOfType(entry.type);
        const platform::tagFolderJudgement judged = Judge(&descriptor->descriptor);
        EXPECT_EQ(judged.action, FolderAction::kMoveAsideAndRecreate) << int(entry.type);
        EXPECT_EQ(WideToUtf8(judged.fault), entry.fault) << int(entry.type);
    }
}

namespace {

std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size ? size : 1);
    std::wstring text;
    LPWSTR sid = nullptr;
    if (GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}

}  // namespace

TEST(FolderDescriptor, AFolderPlantedAsTheUsersOwnIsRefusedAndWineIsToldByItsExportAlone) {
    // What a user makes in ProgramData before the first elevated run: his own folder, full control
    // for him and WRITE_OWNER denied to him, read back through a handle as the run reads it.
    const std::wstring user = CurrentUserSid();
    ASSERT_FALSE(user.empty());
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring path =
        std::wstring(temp) + L"ovn-planted-" + std::to_wstring(GetCurrentProcessId());
    ScopedLocal planted = FromSddl(Sddl(L"O:$UD:P(A;OICI;FA;;;$U)(D;;WO;;;$U)", user.c_str()));
    ASSERT_TRUE(planted);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, planted.get(), FALSE};
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), &attributes)) << GetLastError();
    HANDLE folder =
        CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE) << GetLastError();
    platform::tagFolderLevel level;
    level.exists = true;
    level.isDirectory = true;
    const ovn::Status read = platform::ReadFolderSecurity(folder, level);
    CloseHandle(folder);
    RemoveDirectoryW(path.c_str());
    ASSERT_TRUE(read) << read.error().call << " error " << read.error().code;
    std::string seen = "read back: owner " + WideToUtf8(level.owner.name) + ", entries";
    for (const platform::tagFolderAce& ace : level.aces)
        seen +=
            " " + std::to_string(static_cast<int>(ace.kind)) + ":" + WideToUtf8(ace.trustee.name);
    std::printf("%s\n", seen.c_str());

    // The owner is the user where descriptors are stored; where they are not (Wine), the made-up
    // descriptor names the user as owner as well: judged as it reads, the folder is refused
    // either way, so nothing that reads the owner could tell Wine apart without trusting the user.
    platform::tagFolderLevel asRead = level;
    asRead.descriptorStored = true;
    EXPECT_EQ(platform::JudgeFolderLevel(asRead, false).action, FolderAction::kMoveAsideAndRecreate)
        << seen;
    EXPECT_EQ(WideToUtf8(platform::FolderLevelFault(asRead)), "it belongs to " + WideToUtf8(user))
        << seen;
    // Only Wine's export marks the descriptor as not stored.
    EXPECT_EQ(level.descriptorStored, !platform::RunningUnderWine());
    EXPECT_EQ(platform::RunningUnderWine(),
              GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr);
}
