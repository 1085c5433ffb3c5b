// The working folder's trust judgement on described levels, and the steps it drives on a system
// whose primitives answer as scripted.
#include "platform/folder_trust_policy.h"

#include <gtest/gtest.h>

#include <deque>

#include "text/text_encoding.h"

namespace {

using platform::AceKind;
using platform::FolderAction;
using platform::tagFolderAce;
using platform::tagFolderLevel;
using platform::tagTrustee;
using platform::TrusteeKind;

const tagTrustee kSystem{TrusteeKind::kSystem, L"S-1-5-18"};
const tagTrustee kAdministrators{TrusteeKind::kAdministrators, L"S-1-5-32-544"};
const tagTrustee kInstaller{TrusteeKind::kTrustedInstaller, L"S-1-5-80-956008885"};
const tagTrustee kOperator{TrusteeKind::kOther, L"S-1-5-21-1-2-3-1001"};
const tagTrustee kUsers{TrusteeKind::kOther, L"S-1-5-32-545"};

// The folder as this program makes it.
tagFolderLevel OwnFolder() {
    tagFolderLevel level;
    level.exists = true;
    level.isDirectory = true;
    level.owner = kAdministrators;
    level.aces = {{AceKind::kAllow, kSystem, true, false},
                  {AceKind::kAllow, kAdministrators, true, false},
                  {AceKind::kAllow, kUsers, false, false}};
    return level;
}

std::string Fault(const tagFolderLevel& level) {
    return WideToUtf8(platform::FolderLevelFault(level));
}

}  // namespace

TEST(FolderTrustPolicy, OnlySystemAdministratorsAndTrustedInstallerAreKnownBySid) {
    EXPECT_EQ(platform::TrusteeKindOfSid(L"S-1-5-18"), TrusteeKind::kSystem);
    EXPECT_EQ(platform::TrusteeKindOfSid(L"S-1-5-32-544"), TrusteeKind::kAdministrators);
    EXPECT_EQ(platform::TrusteeKindOfSid(
                  L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"),
              TrusteeKind::kTrustedInstaller);
    // The elevated operator's own SID, Users, CREATOR OWNER and a near miss are nobody special.
    for (const wchar_t* other :
         {L"S-1-5-21-1-2-3-1001", L"S-1-5-32-545", L"S-1-3-0", L"S-1-5-32-5440", L"S-1-5-80-0"})
        EXPECT_EQ(platform::TrusteeKindOfSid(other), TrusteeKind::kOther) << WideToUtf8(other);
}

TEST(FolderTrustPolicy, TheOwnFolderAndTrustedOwnersStayWithUsersReading) {
    EXPECT_EQ(Fault(OwnFolder()), "");
    for (const tagTrustee& owner : {kSystem, kInstaller}) {
        tagFolderLevel level = OwnFolder();
        level.owner = owner;
        level.aces.push_back({AceKind::kAllow, owner, true, true});
        EXPECT_EQ(Fault(level), "") << WideToUtf8(owner.name);
    }
    EXPECT_EQ(platform::JudgeFolderLevel(OwnFolder(), false).action, FolderAction::kKeep);
    EXPECT_EQ(platform::JudgeFolderLevel(OwnFolder(), true).action, FolderAction::kKeep);
}

TEST(FolderTrustPolicy, TheOperatorIsNeitherATrustedOwnerNorATrustedWriter) {
    tagFolderLevel owned = OwnFolder();
    owned.owner = kOperator;
    EXPECT_EQ(Fault(owned), "it belongs to S-1-5-21-1-2-3-1001");
    tagFolderLevel writable = OwnFolder();
    writable.aces.push_back({AceKind::kAllow, kOperator, true, false});
    EXPECT_EQ(Fault(writable), "it lets S-1-5-21-1-2-3-1001 write");
    // Inherited only, the right still reaches every file the run makes in the folder.
    writable.aces.back().inheritOnly = true;
    EXPECT_EQ(Fault(writable), "it lets S-1-5-21-1-2-3-1001 write in what is made inside it");
    tagFolderLevel noDacl = OwnFolder();
    noDacl.hasDacl = false;
    EXPECT_NE(Fault(noDacl).find("no DACL"), std::string::npos);
}

TEST(FolderTrustPolicy, EveryEntryOtherThanAPlainAllowIsAFaultWhoeverItNames) {
    // The deny entry of the planted folder ("deny the operator WRITE_OWNER") names a trustee the
    // policy does not trust, but a deny for Administrators would keep the run out just the same.
    const struct {
        AceKind kind;
        const char* says;
    } cases[] = {{AceKind::kDeny, "a deny entry"},
                 {AceKind::kCallback, "a conditional (callback) entry"},
                 {AceKind::kObject, "an object entry"},
                 {AceKind::kUnknown, "an entry of an unknown type"}};
    for (const auto& entry : cases) {
        tagFolderLevel level = OwnFolder();
        level.aces.insert(level.aces.begin(), {entry.kind, kAdministrators, false, false});
        const platform::tagFolderJudgement found = platform::JudgeFolderLevel(level, false);
        EXPECT_EQ(found.action, FolderAction::kMoveAsideAndRecreate) << entry.says;
        EXPECT_EQ(WideToUtf8(found.fault),
                  std::string("its DACL holds ") + entry.says + " for S-1-5-32-544");
        EXPECT_EQ(platform::JudgeFolderLevel(level, true).action, FolderAction::kRefuse);
    }
}

TEST(FolderTrustPolicy, ShapeFaultsComeBeforeTheDescriptorAndHoldWhereNoneIsStored) {
    tagFolderLevel level = OwnFolder();
    level.unreadable = L"it cannot be examined (error 5)";
    EXPECT_EQ(Fault(level), "it cannot be examined (error 5)");
    level = OwnFolder();
    level.isLink = true;
    EXPECT_NE(Fault(level).find("symbolic link"), std::string::npos);
    level = OwnFolder();
    level.isDirectory = false;
    EXPECT_EQ(Fault(level), "it is a file, not a folder");
    level = OwnFolder();
    level.leadsTo = L"C:\\evil";
    EXPECT_EQ(Fault(level), "it leads to C:\\evil");

    // Where no descriptor is stored (Wine) what is reported is made up: the user as owner with
    // full control. It is not judged, and a file or link in the way is still a fault.
    tagFolderLevel madeUp = OwnFolder();
    madeUp.descriptorStored = false;
    madeUp.owner = kOperator;
    madeUp.aces = {{AceKind::kAllow, kSystem, true, false},
                   {AceKind::kAllow, kOperator, true, false}};
    EXPECT_EQ(Fault(madeUp), "");
    madeUp.isDirectory = false;
    EXPECT_EQ(Fault(madeUp), "it is a file, not a folder");
    madeUp.descriptorStored = true;
    madeUp.isDirectory = true;
    EXPECT_EQ(Fault(madeUp), "it belongs to S-1-5-21-1-2-3-1001");
}

namespace {

// A system whose primitives answer as the test scripts them, and which records what was asked.
class CScriptedFolder final : public platform::IFolderPrimitives {
public:
    std::deque<tagFolderLevel> examined;  // what each Examine finds, in turn
    bool rewrites = true;
    bool moves = true;
    bool creates = true;
    std::vector<std::string> calls;

    tagFolderLevel Examine(const std::wstring&, const std::wstring&) override {
        calls.push_back("examine");
        tagFolderLevel level;
        if (!examined.empty()) {
            level = examined.front();
            examined.pop_front();
        }
        return level;
    }
    platform::FileStatus Rewrite(const std::wstring&) override {
        calls.push_back("rewrite");
        if (!rewrites) return platform::FileFailure("SetSecurityInfo", 5);
        return {};
    }
    platform::FileResult<std::wstring> MoveAside(const std::wstring& path) override {
        calls.push_back("move aside");
        if (moves) return path + L".untrusted-1";
        return platform::FileFailure("MoveFileExW", 32);
    }
    platform::FileStatus Create(const std::wstring&) override {
        calls.push_back("create");
        if (!creates) return platform::FileFailure("CreateDirectoryW", 5);
        return {};
    }
};

using Calls = std::vector<std::string>;

std::string Events(const std::vector<std::wstring>& events) {
    std::string all;
    for (const std::wstring& event : events) all += WideToUtf8(event) + "\n";
    return all;
}

}  // namespace

TEST(FolderTrustPolicy, AMissingLevelIsMadeAndAGoodOneKeptWithItsDescriptorWrittenAgain) {
    CScriptedFolder missing;
    missing.examined = {tagFolderLevel{}, OwnFolder()};
    platform::tagWorkingFolder result;
    EXPECT_TRUE(platform::PrepareFolderLevel(missing, L"P\\Orvane", L"P\\Orvane", result));
    EXPECT_EQ(missing.calls, (Calls{"examine", "create", "examine"}));
    EXPECT_TRUE(result.events.empty()) << Events(result.events);

    CScriptedFolder kept;
    kept.examined = {OwnFolder()};
    EXPECT_TRUE(platform::PrepareFolderLevel(kept, L"P\\Orvane", L"P\\Orvane", result));
    EXPECT_EQ(kept.calls, (Calls{"examine", "rewrite"}));
    EXPECT_TRUE(result.events.empty()) << Events(result.events);
}

TEST(FolderTrustPolicy, ALevelWhoseDescriptorCannotBeWrittenAgainIsMovedAsideAndMadeAfresh) {
    // Looks like the run's own, but someone denies the run the right to make it so again.
    CScriptedFolder system;
    system.examined = {OwnFolder(), OwnFolder()};
    system.rewrites = false;
    platform::tagWorkingFolder result;
    EXPECT_TRUE(platform::PrepareFolderLevel(system, L"P\\Orvane", L"P\\Orvane", result));
    EXPECT_EQ(system.calls, (Calls{"examine", "rewrite", "move aside", "create", "examine"}));
    ASSERT_EQ(result.events.size(), 1u);
    EXPECT_EQ(Events(result.events),
              "The working folder P\\Orvane was not safe (its security descriptor cannot be "
              "written again (SetSecurityInfo, error 5)); it was moved aside to "
              "P\\Orvane.untrusted-1.\n");
}

TEST(FolderTrustPolicy, SomethingInTheWayThatCannotBeMovedIsNamedAndNothingIsMade) {
    tagFolderLevel file;
    file.exists = true;
    CScriptedFolder system;
    system.examined = {file};
    system.moves = false;
    platform::tagWorkingFolder folder;
    const auto result = platform::PrepareFolderLevel(system, L"P\\Orvane", L"P\\Orvane", folder);
    ASSERT_FALSE(result);
    EXPECT_EQ(system.calls, (Calls{"examine", "move aside"}));
    const platform::WorkingFolderError& error = result.error();
    EXPECT_EQ(WideToUtf8(error.inTheWay), "P\\Orvane");
    EXPECT_EQ(WideToUtf8(error.inTheWayFault), "it is a file, not a folder");
    EXPECT_EQ(error.call, "MoveFileExW");
    EXPECT_EQ(error.code, 32u);
    EXPECT_NE(Events(error.events).find("cannot be moved aside"), std::string::npos)
        << Events(error.events);
}

TEST(FolderTrustPolicy, ALevelThisRunMadeThatFailsIsRefusedNotMovedAgain) {
    tagFolderLevel planted = OwnFolder();
    planted.owner = kOperator;
    CScriptedFolder system;
    // Someone swaps in his own folder between the creation and the check.
    system.examined = {tagFolderLevel{}, planted};
    platform::tagWorkingFolder folder;
    const auto result = platform::PrepareFolderLevel(system, L"P\\Orvane", L"P\\Orvane", folder);
    ASSERT_FALSE(result);
    EXPECT_EQ(system.calls, (Calls{"examine", "create", "examine"}));
    EXPECT_TRUE(result.error().inTheWay.empty());
    EXPECT_EQ(Events(result.error().events),
              "The working folder P\\Orvane just created is not safe (it belongs to "
              "S-1-5-21-1-2-3-1001).\n");

    CScriptedFolder cannotCreate;
    cannotCreate.creates = false;
    platform::tagWorkingFolder sofar;
    sofar.events = {L"an event of the level before"};
    const auto made = platform::PrepareFolderLevel(cannotCreate, L"P\\Orvane", L"P\\Orvane", sofar);
    ASSERT_FALSE(made);
    EXPECT_EQ(made.error().call, "CreateDirectoryW");
    EXPECT_EQ(Events(made.error().events), "an event of the level before\n")
        << "the error keeps what was done before it";
}
