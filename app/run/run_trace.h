// The run's JTAG trace: switched on by the utility's HKLM value Trace, one file per run in the
// working folder, the records of every card's port each prefixed with the card's place.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "xsvf/port_trace.h"

struct tagDeviceUpdate;
struct tagPciInfo;

// The value under the utility's key (kUtilityKey) that switches the trace on: a nonzero DWORD. The
// key is for administrators only, so no unelevated program can switch it.
inline constexpr const wchar_t* kTraceValueName = L"Trace";

bool TraceSwitchedOn();

// "trace-<run id>.txt".
std::wstring TraceFileName(const std::string& runId);

class CRunTrace : public CTraceSink {
public:
    // The trace of this run in the working folder, its file created under a temporary name; null
    // when there is no folder or the file cannot be created (the log says why).
    static std::unique_ptr<CRunTrace> Open(const std::wstring& workingFolder,
                                           const std::string& runId);
    ~CRunTrace() override;

    // Hands the card's port a recorder for its place; it writes a PACE line at once with the
    // port's pacing. Before the card's worker starts.
    void Attach(tagDeviceUpdate& record, const tagPciInfo& pci);
    // After every worker has been joined: takes the recorders off the ports, writes the waits
    // still open and renames the file into place; the log names it, or why it is missing. Without
    // it (a step left by an exception) the destructor takes the recorders off and the file goes.
    void Finish();

    void WriteLine(std::string_view line) override;

    const std::wstring& Path() const { return path_; }

private:
    CRunTrace(std::wstring path, std::unique_ptr<platform::AtomicFileStream> file);
    void WriteBuffered();  // lock_ held

    std::wstring path_;
    std::mutex lock_;  // the cards' workers write lines at once
    std::unique_ptr<platform::AtomicFileStream> file_;
    std::string buffer_;
    bool failed_ = false;
    platform::FileError error_;
    std::deque<CPortTrace> cards_;  // a deque: recorders the ports point at never move
    std::vector<tagDeviceUpdate*> ports_;
};
