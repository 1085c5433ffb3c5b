// Deciding a result's outcome kind from its exit code and the run's facts.
#include "app/results/outcome_kind.h"

#include "app/console/exit_codes.h"

std::string OutcomeKind(const tagOutcomeFacts& r) {
    switch (r.exitCode) {
        case kExitSuccess:
            if (r.declined) return "declined";
            if (r.restartRequested) return "restartPending";
            if (r.playedNothing) return "listed";
            return "updated";
        case kExitNoCardOrImage:
            switch (r.end) {
                case RunEnd::kInterrupted:
                    return "interrupted";
                case RunEnd::kNoLibrary:
                    return "noLibrary";
                case RunEnd::kNoCard:
                    return "noCard";
                default:
                    return "listed";
            }
        case kExitRestartToDisable:
        case kExitRestartToEnable:
            // 3 and 4 are also card codes (TDO mismatch after all retries, illegal command): only
            // a restart still needed makes them a restart.
            return r.restartPending ? "restartPending" : "failed";
        case kExitAnotherRunActive:
            return "alreadyRunning";
        case kExitUsageError:
            return "usageError";
        case kExitUnanswered:
            return "unanswered";
        default:
            return "failed";
    }
}
