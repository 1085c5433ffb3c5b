// The working folder's trust judgement, written once for both editions: what each system's
// primitives found at one level of the folder, whether that level may stay, and what is done then.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "platform/safe_file.h"

namespace platform {

// The working folder as a run prepared it (platform/working_folder.h), level by level.
struct tagWorkingFolder {
    std::wstring path;                 // ends in the path separator
    std::vector<std::wstring> events;  // what was found wrong and done about it, for the log
};

// Why there is no working folder: the failed call, and what was found wrong and done before it.
struct WorkingFolderError : FileError {
    std::vector<std::wstring> events;
    // What stands where a level of the folder must be, may not stay and cannot be moved aside (a
    // file a user made and holds open): its path and why it may not stay. Empty otherwise.
    std::wstring inTheWay;
    std::wstring inTheWayFault;
};

using WorkingFolderResult = ovn::Result<tagWorkingFolder, WorkingFolderError>;

// The folder's path (ending in the separator), or empty when there is none.
inline std::wstring PathOf(const WorkingFolderResult& folder) {
    return folder ? folder->path : std::wstring();
}

// What was found wrong and done about it, with a folder or without.
inline const std::vector<std::wstring>& EventsOf(const WorkingFolderResult& folder) {
    return folder ? folder->events : folder.error().events;
}

// No folder, for the failed call (or check), with the events of the levels before it.
WorkingFolderError NoWorkingFolder(FileError error, const tagWorkingFolder& sofar);

// Who an owner or an ACE's trustee is, as far as the folder goes. Only SYSTEM, the Administrators
// group and TrustedInstaller may own the folder or write in it: the operator's own user is also
// the identity of every unelevated program he runs.
enum class TrusteeKind { kSystem, kAdministrators, kTrustedInstaller, kOther };

struct tagTrustee {
    TrusteeKind kind = TrusteeKind::kOther;
    std::wstring name;  // as the log names it: a SID's text, a user id
};

// The kind of a SID in its text form ("S-1-5-18").
TrusteeKind TrusteeKindOfSid(const std::wstring& sidText);

// The kinds of DACL entries. The folder's own descriptor holds plain allow entries only; any other
// kind was put there by someone else and may withhold from the run what it needs to keep control.
enum class AceKind { kAllow, kDeny, kCallback, kObject, kUnknown };

struct tagFolderAce {
    AceKind kind = AceKind::kAllow;
    tagTrustee trustee;
    bool writes = false;       // the mask holds a right to write, delete or change the descriptor
    bool inheritOnly = false;  // applies to what is made inside only, which is the run's files
};

// What the primitives found at one level of the folder.
struct tagFolderLevel {
    bool exists = false;
    std::wstring unreadable;  // why it could not be examined; empty when it could
    bool isDirectory = false;
    bool isLink = false;   // a reparse point or symbolic link
    std::wstring leadsTo;  // where an open handle really leads, when that is not the path expected
    // False where the system keeps no security descriptors and reports made-up ones (Wine): the
    // owner and the entries below then say nothing and are not judged.
    bool descriptorStored = true;
    tagTrustee owner;
    bool hasDacl = true;  // a null DACL lets everyone do everything
    std::vector<tagFolderAce> aces;
};

// Why the level cannot stay, for the log ("it belongs to S-1-5-21-…"); empty when it may.
std::wstring FolderLevelFault(const tagFolderLevel& level);

enum class FolderAction { kKeep, kMoveAsideAndRecreate, kRefuse };

struct tagFolderJudgement {
    FolderAction action = FolderAction::kKeep;
    std::wstring fault;
};

// A level found in place stays or is moved aside and made afresh; a level this run has just made
// stays or is refused, since making it again would give the same.
tagFolderJudgement JudgeFolderLevel(const tagFolderLevel& level, bool madeByThisRun);

// A kept level whose descriptor could not be written again (`failedCall`, `code`): someone took
// from the run a right it needs to keep the level its own, so it is moved aside.
tagFolderJudgement JudgeDescriptorRewrite(const std::string& failedCall, std::uint32_t code);

// Each system's steps on one level, which the judgement drives.
class IFolderPrimitives {
public:
    virtual ~IFolderPrimitives() = default;
    virtual tagFolderLevel Examine(const std::wstring& path, const std::wstring& expectedFinal) = 0;
    // Writes the folder's own descriptor (the host edition: its mode) on a level that stays.
    [[nodiscard]] virtual FileStatus Rewrite(const std::wstring& path) = 0;
    // Renames the level to a new name beside it; that name.
    [[nodiscard]] virtual FileResult<std::wstring> MoveAside(const std::wstring& path) = 0;
    [[nodiscard]] virtual FileStatus Create(const std::wstring& path) = 0;
};

// One level of the working folder, judged and kept, rewritten, moved aside or made as the
// judgement says; what was done goes to folder.events. When the level cannot be had, the error
// (with, when something that may not stay could not be moved, its path in inTheWay); its events
// are those of the folder so far.
[[nodiscard]] ovn::Result<void, WorkingFolderError> PrepareFolderLevel(
    IFolderPrimitives& system, const std::wstring& path, const std::wstring& expectedFinal,
    tagWorkingFolder& folder);

}  // namespace platform
