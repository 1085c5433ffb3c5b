// Collects what a run did, card by card, and leaves it as the JSON result and as log lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/run_result.h"

class CCmdLine;
struct tagCardOutcome;
struct tagDeviceUpdate;
struct tagPciInfo;

// Owned by the update run, main thread only. The run tells it what happened in the order it
// happens; Finish writes the result (when the run reached the card listing) and the per-card lines.
class CRunRecorder {
public:
    CRunRecorder();

    void Begin(const CCmdLine& options);
    // The run's admin-only working folder, which receives the result files; empty: none are
    // written. Before ImageLoaded.
    void UseFolder(const std::wstring& folder);
    // The image the run read (`read` false: it could not be). A run started on the folder's resume
    // copy with the recorded hash is the resume entry's, and it alone continues the carried cycle;
    // any other run that finds one repaired it and names it.
    void ImageLoaded(const std::uint8_t* image, std::int32_t size, bool read);
    void ImageRefused() { result_.malformedImage = true; }
    void CardListed(const tagPciInfo& pci, const std::wstring& version);
    void Declined() { result_.declined = true; }
    void EnableFailed() { result_.enableFailed = true; }
    // A listing leaves the cycle of another run alone: its carried state is neither taken nor
    // dropped.
    void LeaveCarriedCycle() { leaveCarriedCycle_ = true; }
    // The pending cycle a listing found: its phase's name and what comes next.
    void CyclePending(const std::string& phase, const std::string& next);
    // After the programming step: each card's result, failure detail, version after and time.
    void CardsProgrammed(const tagDeviceUpdate* records, const tagCardOutcome* outcomes);

    // restartForDisable: the run ended by asking for the restart that disables the driver.
    // restartPending: a restart is still needed and was not made (--noreboot).
    void Finish(std::int32_t exitCode, bool restartRequested, bool restartForDisable,
                bool restartPending);

    // A start the run lock refused (outcome kind "busy", "lockSquatted", "lockUnavailable"): only
    // its dated copy is written, so last-run.json and the carried cycle stay the running run's.
    void FinishRefused(std::int32_t exitCode, const char* outcomeKind);

    const tagRunResult& Result() const { return result_; }

private:
    void LogCardLines() const;
    // The cycle-in-progress file: continued by the resume entry's run, named as repaired by any
    // other; one that is not of its format is dropped with a log line.
    void TakeUpCarriedCycle();

    tagRunResult result_;
    std::wstring folder_;
    bool listed_ = false;
    bool resumeEntryRun_ = false;
    bool leaveCarriedCycle_ = false;
};

// A fresh run id: 32 hexadecimal digits.
std::string NewRunId();
