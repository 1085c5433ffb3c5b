// The run's record: filled as the run goes, merged with a carried cycle, written at the end.
#include "app/run/run_recorder.h"

#include <random>

#include "app/console/console_log.h"
#include "app/console/exit_codes.h"
#include "app/console/run_messages.h"
#include "app/cycle/reboot_resume.h"
#include "app/cycle/resume_copies.h"
#include "app/cycle/sha256.h"
#include "app/programming/card_verification.h"
#include "app/programming/programming.h"
#include "app/results/result_takeover.h"
#include "app/results/run_result_store.h"
#include "device/cmdline.h"
#include "hwaccess/pci_scan.h"
#include "platform/environment.h"
#include "platform/process_identity.h"
#include "platform/registry.h"
#include "text/text_encoding.h"

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

tagCardFailure FailureOf(std::int32_t result, const tagDeviceUpdate& record,
                         const tagCardOutcome& outcome) {
    tagCardFailure failure;
    const tagXsvfFailure& f = record.failure;
    if (result == kUnmappedCardResult) {
        failure.commandIndex = -1;
        failure.reason = "not programmed: the register window is not mapped";
        return failure;
    }
    if (result == kUnverifiedCardResult) {
        failure.commandIndex = -1;
        failure.reason =
            "the FPGA version reads " + WideToUtf8(outcome.versionAfter) + " (" +
            WideToUtf8(VersionProblemWord(JudgeVersionAfterProgramming(outcome.versionAfter))) +
            ") after a play without error";
        return failure;
    }
    failure.commandIndex = f.commandIndex;
    failure.command = f.command;
    failure.byteOffset = f.byteOffset;
    if (f.code == 2 || f.code == 3) {
        failure.expected = Hex(f.expected);
        failure.captured = Hex(f.captured);
        failure.mask = Hex(f.mask);
    }
    return failure;
}

std::string VerificationWord(CardVerification verification) {
    switch (verification) {
        case CardVerification::kNotVerified:
            return kNotVerified;
        case CardVerification::kFailed:
            return "failed";
        default:
            return "verified";
    }
}

std::wstring CardResultText(const tagCardResult& card) {
    if (!card.result) return L"not programmed";
    if (*card.result == 0)
        return card.verification == kNotVerified ? Utf8ToWide(kNotVerified) : L"ok";
    std::wstring text = L"error code " + std::to_wstring(*card.result);
    if (!card.failure) return text;
    const tagCardFailure& f = *card.failure;
    if (!f.reason.empty()) return text + L": " + Utf8ToWide(f.reason);
    wchar_t detail[96];
    std::swprintf(detail, 96, L": command %d (0x%02X) at byte offset %u",
                  static_cast<int>(f.commandIndex), static_cast<unsigned>(f.command),
                  static_cast<unsigned>(f.byteOffset));
    text += detail;
    if (!f.expected.empty() || !f.captured.empty())
        text += L"; TDO expected " + Utf8ToWide(f.expected.empty() ? "-" : f.expected) +
                L", captured " + Utf8ToWide(f.captured.empty() ? "-" : f.captured) + L", mask " +
                Utf8ToWide(f.mask.empty() ? "-" : f.mask);
    return text;
}

// Versions before come from the first run of a cycle: that is what the cards ran before it.
void MergeCarriedCycle(tagRunResult& result, const tagRunResult& carried) {
    result.runId = carried.runId;
    result.startTime = carried.startTime;
    result.resumed = true;
    result.repairedCycle = carried.repairedCycle;
    std::vector<tagRunSegment> segments = carried.segments;
    segments.insert(segments.end(), result.segments.begin(), result.segments.end());
    result.segments = segments;
    for (tagCardResult& card : result.cards) {
        for (const tagCardResult& earlier : carried.cards) {
            if (earlier.bus == card.bus && earlier.device == card.device &&
                earlier.function == card.function)
                card.versionBefore = earlier.versionBefore;
        }
    }
}

}  // namespace

std::string NewRunId() {
    std::random_device source;
    static const char digits[] = "0123456789abcdef";
    std::string id;
    for (int word = 0; word < 4; ++word) {
        std::uint32_t bits = source();
        for (int i = 0; i < 8; ++i, bits >>= 4) id += digits[bits & 15];
    }
    return id;
}

CRunRecorder::CRunRecorder() {
    result_.runId = NewRunId();
    result_.startTime = UtcTimestampNow();
    result_.utilityVersion = std::to_string(kVersion[0]) + "." + std::to_string(kVersion[1]) + "." +
                             std::to_string(kVersion[2]) + "." + std::to_string(kVersion[3]);
}

void CRunRecorder::Begin(const CCmdLine& options) {
    result_.quiet = options.quiet != 0;
    result_.beep = options.beep != 0;
    result_.noReboot = options.noReboot != 0;
    if (options.fileName) result_.imageName = options.fileName;
    result_.kind = options.fileName ? "update" : "inventory";
    // A system that does not tell its width is recorded as a 32-bit one.
    const auto wow64 = platform::RunningUnderWow64();
    result_.host64Bit = wow64 && *wow64;
}

void CRunRecorder::ImageLoaded(const std::uint8_t* image, std::int32_t size, bool read) {
    if (!read || size < 0 || (size > 0 && !image) || !result_.imageName) return;
    const auto bytes = static_cast<std::size_t>(size);
    result_.imageSha256 = WideToUtf8(Sha256Hex(image, bytes));
    result_.imageBytes = bytes;
    if (folder_.empty()) return;
    std::wstring recorded, found;
    resumeEntryRun_ =
        CheckResumeImage(folder_ + platform::PathSeparator(), Utf8ToWide(*result_.imageName), image,
                         bytes, recorded, found) == ResumeImageCheck::kMatches;
}

void CRunRecorder::CardListed(const tagPciInfo& pci, const std::wstring& version) {
    listed_ = true;
    tagCardResult card;
    card.bus = pci.busNumber;
    card.device = pci.deviceNumber;
    card.function = pci.functionNumber;
    card.versionBefore = WideToUtf8(version);
    result_.cards.push_back(card);
    Publish();
}

void CRunRecorder::CardsProgrammed(std::span<const tagCardSlot> cards) {
    for (std::size_t i = 0; i < result_.cards.size(); ++i) {
        tagCardResult& card = result_.cards[i];
        const tagDeviceUpdate& record = cards[i].record;
        const tagCardOutcome& outcome = cards[i].outcome;
        const std::int32_t code = record.updateResult.load();
        if (outcome.programmed) {
            card.versionAfter = WideToUtf8(outcome.versionAfter);
            card.milliseconds = outcome.milliseconds;
        }
        if (outcome.judged) card.verification = VerificationWord(outcome.verification);
        if (!outcome.programmed && code == 0) continue;
        card.result = code;
        if (code != 0) card.failure = FailureOf(code, record, outcome);
    }
    Publish();
}

void CRunRecorder::LogCardLines() const {
    for (std::size_t i = 0; i < result_.cards.size(); ++i) {
        const tagCardResult& card = result_.cards[i];
        LogOnlyLine(
            L"   Card %d at PCIe Bus 0x%02X%X%X: version before %hs, after %hs, %ls\n",
            static_cast<int>(i), card.bus, card.device, card.function, card.versionBefore.c_str(),
            card.versionAfter ? card.versionAfter->c_str() : "-", CardResultText(card).c_str());
    }
}

namespace {

// Writing the result never ends the run nor changes its exit code: what failed goes to the log.
void LogResultNotWritten(const std::wstring& folder, const platform::FileError& error) {
    LogOnlyLine(L"   The result file could not be written in %ls (%hs, error %u).\n",
                folder.c_str(), error.call.c_str(), static_cast<unsigned>(error.code));
}

void LogResultFailure(const char* what) noexcept {
    try {
        LogOnlyLine(L"   The result file could not be written: %hs.\n", what);
    } catch (...) {
        // Out of memory even for the line: the exit code alone tells.
    }
}

}  // namespace

void CRunRecorder::Finish(std::int32_t exitCode, bool restartRequested, bool restartForDisable,
                          bool restartPending) {
    try {
        if (listed_) LogCardLines();
        result_.endTime = UtcTimestampNow();
        result_.exitCode = exitCode;
        result_.restartRequested = restartRequested;
        result_.restartReason = restartRequested ? (restartForDisable ? "disable" : "enable") : "";
        result_.restartPending = restartPending;
        // What the next logon runs: the import once it is registered, else the resume.
        for (const wchar_t* name : {kImportValueName, kResumeAgainValueName, kResumeValueName}) {
            if (auto runOnce = platform::RegistryGetString(kRunOnceKey, name)) {
                result_.runOnce = WideToUtf8(*runOnce);
                break;
            }
        }
        result_.segments.push_back(
            {result_.startTime, result_.endTime, exitCode, restartRequested});
    } catch (const std::exception& failure) {
        LogResultFailure(failure.what());
        return;
    }
    if (folder_.empty()) {
        LogOnlyLine(L"   No result file: the result folder cannot be used.\n");
        return;
    }
    WriteUnlessTakenOver([&] { WriteResult(restartRequested && restartForDisable); });
}

void CRunRecorder::WriteResult(bool carryCycle) {
    try {
        const std::wstring& folder = folder_;
        // A listing leaves another run's cycle alone: its state waits for that cycle's next run.
        if (!leaveCarriedCycle_) TakeUpCarriedCycle();
        result_.exitMeaning = ExitCodeMeaning(result_);
        if (carryCycle) {
            if (const platform::FileStatus saved = SaveCarriedRun(folder, result_); !saved) {
                LogOnlyLine(
                    L"   The cycle's state for the resumed run could not be written (%hs, error "
                    L"%u).\n",
                    saved.error().call.c_str(), static_cast<unsigned>(saved.error().code));
            }
        }
        if (const platform::FileStatus stored = StoreRunResult(folder, result_); !stored) {
            LogResultNotWritten(folder, stored.error());
            return;
        }
        LogOnlyLine(L"   Result written to %ls%lc%ls\n", folder.c_str(),
                    static_cast<wint_t>(platform::PathSeparator()), kLastRunFileName);
    } catch (const std::exception& failure) {
        LogResultFailure(failure.what());
    }
}

void CRunRecorder::TakeUpCarriedCycle() {
    std::string problem;
    const auto carried = TakeCarriedRun(folder_, &problem);
    if (!problem.empty()) {
        LogOnlyLine(L"   The carried cycle in %ls was dropped: %hs.\n", kCarriedRunFileName,
                    problem.c_str());
    }
    if (!carried) return;
    if (resumeEntryRun_) {
        MergeCarriedCycle(result_, *carried);
        return;
    }
    // Another start found what a lost cycle left: this run's result is its own and says which
    // cycle it took over from.
    result_.repairedCycle = tagCycleName{carried->runId, carried->startTime};
    LogOnlyLine(
        L"   This run repaired the cycle %hs started %hs, which ended without its result.\n",
        carried->runId.c_str(), carried->startTime.c_str());
}

void CRunRecorder::CyclePending(const std::string& phase, const std::string& next) {
    result_.pendingPhase = phase;
    result_.pendingNext = next;
}

void CRunRecorder::FinishStart(std::int32_t exitCode, RunEnd end, const char* lock, bool lastRun) {
    try {
        result_.endTime = UtcTimestampNow();
        result_.exitCode = exitCode;
        result_.end = end;
        if (lock) result_.lock = lock;
        result_.segments.push_back({result_.startTime, result_.endTime, exitCode, false});
        result_.exitMeaning = ExitCodeMeaning(result_);
        if (folder_.empty()) return;
        if (lastRun) {
            std::string problem;
            SetAsideLastRun(folder_, &problem);
            if (!problem.empty())
                LogOnlyLine(L"   The previous %ls: %hs.\n", kLastRunFileName, problem.c_str());
        }
        const platform::FileStatus stored =
            lastRun ? StoreRunResult(folder_, result_) : StoreRunCopy(folder_, result_);
        if (!stored) LogResultNotWritten(folder_, stored.error());
    } catch (const std::exception& failure) {
        LogResultFailure(failure.what());
    }
}

void CRunRecorder::StartRecording() {
    recording_ = true;
    if (!folder_.empty()) {
        std::string problem;
        SetAsideLastRun(folder_, &problem);
        if (!problem.empty())
            LogOnlyLine(L"   The previous %ls: %hs.\n", kLastRunFileName, problem.c_str());
    }
    Publish();
}

void CRunRecorder::Publish() const {
    if (recording_) PublishRunSoFar(result_, folder_);
}

void CRunRecorder::UseFolder(const std::wstring& folder) {
    folder_ = folder;
    if (!folder_.empty() && folder_.back() == platform::PathSeparator()) folder_.pop_back();
}
