// Collects what a run did, card by card, and leaves it as the JSON result and as log lines.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/results/run_result.h"

class CCmdLine;
struct tagCardSlot;
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
    // A run that holds the run lock, at its start: the previous last-run.json goes to its dated
    // copy's name (said in the log when that fails), and from here on an interruption or an
    // escaping failure writes this run's result as known so far (app/result_takeover.h).
    void StartRecording();
    // The image the run read (`read` false: it could not be). A run started on the folder's resume
    // copy with the recorded hash is the resume entry's, and it alone continues the carried cycle;
    // any other run that finds one repaired it and names it.
    void ImageLoaded(const std::uint8_t* image, std::int32_t size, bool read);
    void ImageRefused() { result_.malformedImage = true; }
    void CardListed(const tagPciInfo& pci, const std::wstring& version);
    void Declined() { result_.declined = true; }
    // A prompt found the end of its input: nobody was there to answer.
    void Unanswered() { result_.unanswered = true; }
    // How far the run got when it ends before or without its listing (no library, no card).
    void Ended(RunEnd end) { result_.end = end; }
    void EnableFailed() { result_.enableFailed = true; }
    // A listing leaves the cycle of another run alone: its carried state is neither taken nor
    // dropped.
    void LeaveCarriedCycle() { leaveCarriedCycle_ = true; }
    // The pending cycle a listing found: its phase's name and what comes next.
    void CyclePending(const std::string& phase, const std::string& next);
    // After the programming step: each card's result, failure detail, version after and time.
    void CardsProgrammed(std::span<const tagCardSlot> cards);

    // restartForDisable: the run ended by asking for the restart that disables the driver.
    // restartPending: a restart is still needed and was not made (--noreboot, a refused restart):
    // it tells exit codes 3 and 4 from the card codes 3 and 4. Writing the result never throws: a
    // failure goes to the log.
    void Finish(std::int32_t exitCode, bool restartRequested, bool restartForDisable,
                bool restartPending);

    // A start that ends before the run: an option error (12), or a start the run lock refused
    // (11, `lock` "busy", "squatted" or "unavailable"). With `lastRun` (the start holds the lock)
    // the previous last-run.json is set aside and this result becomes it; otherwise only the
    // dated copy is written, so last-run.json and the carried cycle stay the running run's.
    void FinishStart(std::int32_t exitCode, RunEnd end, const char* lock, bool lastRun);

    const tagRunResult& Result() const { return result_; }

private:
    void LogCardLines() const;
    // The result so far, for a takeover (only once StartRecording armed it).
    void Publish() const;
    void WriteResult(bool restartForDisable);
    // The cycle-in-progress file: continued by the resume entry's run, named as repaired by any
    // other; one that is not of its format is dropped with a log line.
    void TakeUpCarriedCycle();

    tagRunResult result_;
    std::wstring folder_;
    bool listed_ = false;
    bool resumeEntryRun_ = false;
    bool leaveCarriedCycle_ = false;
    bool recording_ = false;
};

// A fresh run id: 32 hexadecimal digits.
std::string NewRunId();
