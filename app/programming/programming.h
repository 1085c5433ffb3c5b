// Programs every card at once, one worker per card, with one progress line for all.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/console/exit_codes.h"
#include "app/programming/card_verification.h"
#include "device/kseries.h"
#include "hwaccess/pci_scan.h"
#include "xsvf/device_update.h"

class CCardWorkers;
class CPlayStop;

// What the programming step found out about one card beyond its updateResult.
struct tagCardOutcome {
    bool programmed = false;    // a worker played the image on it
    std::wstring versionAfter;  // read again after the settling pause; empty when not programmed
    std::uint32_t milliseconds = 0;  // from the start of the workers to the end of its play
    bool judged = false;             // its play ended without error, so its version was judged
    CardVerification verification = CardVerification::kVerified;
};

// One card of the run, from its listing to its clean-up: everything the run knows of it sits
// together, so no step can pair one card's record with another card's object. Neither copied nor
// moved: a worker holds the address of its record for the whole play.
struct tagCardSlot {
    tagPciInfo pci{};                // the scan's entry, copied: bus position and register window
    std::unique_ptr<CKSeries> card;  // null until created; the run's thread deletes it
    // Its worker plays on it with the card; the run's thread reads only its atomics meanwhile.
    tagDeviceUpdate record;
    // The version the run's result gives it before the play; none: taken as one that answered.
    std::optional<std::wstring> versionBefore;
    tagCardOutcome outcome;  // written by the programming step once every worker has been joined
};

// How the progress line waits between refreshes: at most the period, and no longer once every
// worker has returned. Benchmarks and tests may put another wait in.
using tagProgressWait = std::function<void(CCardWorkers& workers, std::uint32_t milliseconds)>;

struct tagProgrammingJob {
    std::span<tagCardSlot> cards;  // in index order; each one's card created
    bool beep;
    tagProgressWait progressWait = nullptr;  // empty: wait on the workers' completion
    // The stop the records' plays obey; this thread counts itself in too, from the start of the
    // workers to the end of its own register use. Null: the step cannot be stopped.
    CPlayStop* stop = nullptr;
};

// Runs the programming step and returns the exit code it decides: 0, or the result of the last card
// (in index order) that failed. A record whose updateResult is already nonzero is not programmed
// and is reported with that result. After the settling pause every programmed card's version is
// read again; a successful play whose version is erased, or unreadable where the listing could
// read it, fails the card with kUnverifiedCardResult (VerifyCardAfterPlay). Returns when every
// worker has ended. When the stop is requested, returns XSVF_STOPPED as soon as no card's
// registers are in use any more, without the settling pause, the versions or the report: the run
// is being ended.
std::int32_t ProgramAllCards(const tagProgrammingJob& job);

// The workers and the progress line alone, up to "\b \n\n": returns when every worker has been
// joined, with which cards were started (and their play times in their outcomes).
std::vector<bool> PlayAllCards(const tagProgrammingJob& job);

// How often the progress line refreshes: the main thread sleeps on the workers' completion
// meanwhile, so the cores are left to the cards.
inline constexpr std::uint32_t kProgressRefreshMilliseconds = 250;
