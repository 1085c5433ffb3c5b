// The outcome of one run (or of a whole restart cycle) as fleet tools read it, and its JSON form.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/results/outcome_kind.h"

// 2: `outcome.kind` names what the run did in one word (app/outcome_kind.h), the lock's detail is
// `outcome.lock`, and a name that is not valid UTF-8 is kept escaped (`nameEscaped`).
inline constexpr int kRunResultFormatVersion = 2;

// Where the failing command of a card's play stopped; the TDO bytes only for a mismatch.
struct tagCardFailure {
    std::int32_t commandIndex = 0;
    std::uint32_t command = 0;
    std::uint32_t byteOffset = 0;
    std::string expected, captured, mask;  // hexadecimal, empty when not a TDO mismatch
    std::string reason;                    // the cause in words for results that are no player's
};

struct tagCardResult {
    std::uint32_t bus = 0, device = 0, function = 0;
    std::string versionBefore;
    std::optional<std::string> versionAfter;  // none: not programmed (listing, declined, unmapped)
    std::optional<std::int32_t> result;       // none: not programmed; 0 ok; else the error code
    std::optional<tagCardFailure> failure;
    std::optional<std::uint32_t> milliseconds;  // how long the card's play took
    // For a play without error: "verified", "not verified" (the version device answered neither
    // before nor after) or "failed" (result 9); none otherwise.
    std::optional<std::string> verification;
};

inline constexpr const char* kNotVerified = "not verified";

// One process of the cycle: a run that ends in a restart for disabling is followed by the resumed
// run, and both are listed in the result the resumed run writes.
struct tagRunSegment {
    std::string startTime, endTime;
    std::int32_t exitCode = 0;
    bool restartRequested = false;
};

// A cycle a lost run left, which a later run repaired: named by its id and start.
struct tagCycleName {
    std::string runId, startTime;
};

struct tagRunResult {
    std::string runId;
    std::string utilityVersion;
    std::string startTime, endTime;  // UTC, ISO 8601 with a Z
    std::string kind;                // "inventory" (no image named) or "update"
    // Options only: the image by name and digest.
    bool quiet = false, beep = true, noReboot = false;
    std::optional<std::string> imageName;
    std::optional<std::string> imageSha256;
    std::optional<std::uint64_t> imageBytes;
    bool host64Bit = false;
    std::int32_t exitCode = 0;
    std::string exitMeaning;
    bool declined = false;
    bool unanswered = false;      // a prompt found the end of its input
    bool malformedImage = false;  // refused before any card was touched
    bool enableFailed = false;    // the display driver stayed off after the update
    RunEnd end = RunEnd::kRan;
    // A start the run lock refused: "busy" (another run held it), "squatted", "unavailable".
    std::optional<std::string> lock;
    // A display-driver cycle a listing found and left as it was: its phase and what comes next.
    std::optional<std::string> pendingPhase, pendingNext;
    bool restartRequested = false;       // this run asked the machine to restart
    std::string restartReason;           // "disable", "enable" or empty
    bool restartPending = false;         // a restart is still needed (under --noreboot)
    std::optional<std::string> runOnce;  // what runs at the next logon
    bool resumed = false;                // the result covers a restart for disabling
    // The lost cycle this run found and repaired.
    std::optional<tagCycleName> repairedCycle;
    std::vector<tagRunSegment> segments;
    std::vector<tagCardResult> cards;
};

nlohmann::json RunResultToJson(const tagRunResult& result);

// The result's `outcome.kind` (app/results/outcome_kind.h), from its exit code and facts.
std::string OutcomeKind(const tagRunResult& result);
// The reverse, for the state carried across a restart; throws nlohmann::json::exception on a
// document that is not one of ours.
tagRunResult RunResultFromJson(const nlohmann::json& document);

// What the result's exit code means, in words: a card's failure when a card failed with it,
// otherwise the run's own reason.
std::string ExitCodeMeaning(const tagRunResult& result);

// UTC time of the system clock, ISO 8601 to the second ("2026-12-08T10:42:54Z").
std::string UtcTimestampNow();
std::string UtcTimestamp(std::int64_t secondsSinceEpoch);
