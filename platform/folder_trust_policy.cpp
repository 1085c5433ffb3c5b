// The working folder's trust judgement and the steps it drives, the same for every system.
#include "platform/folder_trust_policy.h"

#include <utility>

#include "text/text_encoding.h"

namespace platform {

namespace {

bool Trusted(const tagTrustee& trustee) { return trustee.kind != TrusteeKind::kOther; }

const wchar_t* EntryName(AceKind kind) {
    switch (kind) {
        case AceKind::kAllow:
            return L"an allow entry";
        case AceKind::kDeny:
            return L"a deny entry";
        case AceKind::kCallback:
            return L"a conditional (callback) entry";
        case AceKind::kObject:
            return L"an object entry";
        case AceKind::kUnknown:
            break;
    }
    return L"an entry of an unknown type";
}

}  // namespace

TrusteeKind TrusteeKindOfSid(const std::wstring& sidText) {
    if (sidText == L"S-1-5-18") return TrusteeKind::kSystem;
    if (sidText == L"S-1-5-32-544") return TrusteeKind::kAdministrators;
    if (sidText == L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464")
        return TrusteeKind::kTrustedInstaller;
    return TrusteeKind::kOther;
}

std::wstring FolderLevelFault(const tagFolderLevel& level) {
    if (!level.exists) return L"it is not there";
    if (!level.unreadable.empty()) return level.unreadable;
    if (level.isLink) return L"it is a link (a symbolic link or reparse point)";
    if (!level.isDirectory) return L"it is a file, not a folder";
    if (!level.leadsTo.empty()) return L"it leads to " + level.leadsTo;
    if (!level.descriptorStored) return {};
    if (!Trusted(level.owner)) return L"it belongs to " + level.owner.name;
    if (!level.hasDacl) return L"it has no DACL, so everyone may write";
    for (const tagFolderAce& ace : level.aces) {
        if (ace.kind != AceKind::kAllow)
            return std::wstring(L"its DACL holds ") + EntryName(ace.kind) +
                   (ace.trustee.name.empty() ? L"" : L" for " + ace.trustee.name);
        if (ace.writes && !Trusted(ace.trustee))
            return L"it lets " + ace.trustee.name + L" write" +
                   (ace.inheritOnly ? L" in what is made inside it" : L"");
    }
    return {};
}

tagFolderJudgement JudgeFolderLevel(const tagFolderLevel& level, bool madeByThisRun) {
    tagFolderJudgement judgement;
    judgement.fault = FolderLevelFault(level);
    if (!judgement.fault.empty())
        judgement.action =
            madeByThisRun ? FolderAction::kRefuse : FolderAction::kMoveAsideAndRecreate;
    return judgement;
}

tagFolderJudgement JudgeDescriptorRewrite(const std::string& failedCall, std::uint32_t code) {
    return {FolderAction::kMoveAsideAndRecreate,
            L"its security descriptor cannot be written again (" + Utf8ToWide(failedCall) +
                L", error " + std::to_wstring(code) + L")"};
}

WorkingFolderError NoWorkingFolder(FileError error, const tagWorkingFolder& sofar) {
    WorkingFolderError failed;
    static_cast<FileError&>(failed) = std::move(error);
    failed.events = sofar.events;
    return failed;
}

ovn::Result<void, WorkingFolderError> PrepareFolderLevel(IFolderPrimitives& system,
                                                         const std::wstring& path,
                                                         const std::wstring& expectedFinal,
                                                         tagWorkingFolder& folder) {
    std::wstring inTheWay;
    std::wstring inTheWayFault;
    const auto fail = [&](FileError error) {
        WorkingFolderError failed = NoWorkingFolder(std::move(error), folder);
        failed.inTheWay = inTheWay;
        failed.inTheWayFault = inTheWayFault;
        return failed;
    };
    const tagFolderLevel found = system.Examine(path, expectedFinal);
    if (found.exists) {
        tagFolderJudgement judgement = JudgeFolderLevel(found, false);
        if (judgement.action == FolderAction::kKeep) {
            const FileStatus rewritten = system.Rewrite(path);
            if (rewritten) return {};
            judgement = JudgeDescriptorRewrite(rewritten.error().call, rewritten.error().code);
        }
        const FileResult<std::wstring> aside = system.MoveAside(path);
        if (!aside) {
            inTheWay = path;
            inTheWayFault = judgement.fault;
            folder.events.push_back(L"The working folder " + path + L" is not safe (" +
                                    judgement.fault + L") and cannot be moved aside.");
            return fail(aside.error());
        }
        folder.events.push_back(L"The working folder " + path + L" was not safe (" +
                                judgement.fault + L"); it was moved aside to " + *aside + L".");
    }
    if (FileStatus created = system.Create(path); !created) return fail(created.error());
    const tagFolderJudgement made = JudgeFolderLevel(system.Examine(path, expectedFinal), true);
    if (made.action == FolderAction::kKeep) return {};
    folder.events.push_back(L"The working folder " + path + L" just created is not safe (" +
                            made.fault + L").");
    return fail(FileFailure("the folder just created is not safe", 0));
}

}  // namespace platform
