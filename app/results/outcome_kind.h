// The one word a result gives for what its run did (`outcome.kind`), decided from the exit code
// and the facts the run recorded, so that the word and the code can never say different things.
#pragma once

#include <cstdint>
#include <string>

// What a run reached besides its exit code, for the kinds that share a code (1, 4).
enum class RunEnd {
    kRan,          // the run went as far as its options asked
    kUsageError,   // an option error ended it before anything was done
    kLockRefused,  // another run held the run lock (or the lock was squatted or unavailable)
    kNoLibrary,    // the driver-access library, or its driver, could not be had
    kNoCard,       // the scan found no card
    kInterrupted,  // Ctrl+C or a closed console window
};

// The facts of a run that its kind is decided from (a result's, app/results/run_result.h).
struct tagOutcomeFacts {
    std::int32_t exitCode = 0;
    bool declined = false;
    bool restartRequested = false;  // the run asked the machine to restart
    bool playedNothing = false;     // a listing, or an empty image
    RunEnd end = RunEnd::kRan;
    bool restartPending = false;  // a restart is still needed (under --noreboot)
};

// "updated", "listed", "declined", "unanswered", "usageError", "alreadyRunning", "noCard",
// "noLibrary", "interrupted", "restartPending" or "failed". The exit code decides first; the
// facts only tell apart the kinds one code stands for: 0 (updated, listed, declined, a restart
// the run asked for), 1 (listed, noCard, noLibrary, interrupted), 3 and 4 (a restart still needed
// under --noreboot or refused, or a card's code: TDO mismatch after all retries, illegal command).
std::string OutcomeKind(const tagOutcomeFacts& facts);
