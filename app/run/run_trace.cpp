// The run's trace file: the switch, the file's name and place, and the lines of all cards.
#include "app/run/run_trace.h"

#include <cstdio>

#include "app/console/console_log.h"
#include "app/cycle/reboot_resume.h"
#include "hwaccess/pci_scan.h"
#include "platform/registry.h"
#include "text/text_encoding.h"
#include "xsvf/device_update.h"

namespace {

// Lines are collected and written in parts this large, so a scan does not cost a write call.
constexpr std::size_t kWriteSize = 1 << 16;

std::string PlaceOf(const tagPciInfo& pci) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X:%02X.%u", static_cast<unsigned>(pci.busNumber & 0xFF),
                  static_cast<unsigned>(pci.deviceNumber & 0x1F),
                  static_cast<unsigned>(pci.functionNumber & 7));
    return text;
}

// The first failure is the one the log names.
void KeepFailure(const platform::FileStatus& written, bool& failed, platform::FileError& error) {
    if (written) return;
    failed = true;
    error = written.error();
}

}  // namespace

bool TraceSwitchedOn() {
    // A missing or unreadable switch is off.
    const auto trace = platform::RegistryGetDword(kUtilityKey, kTraceValueName);
    return trace && *trace != 0;
}

std::wstring TraceFileName(const std::string& runId) {
    return L"trace-" + Utf8ToWide(runId) + L".txt";
}

CRunTrace::CRunTrace(std::wstring path, std::unique_ptr<platform::AtomicFileStream> file)
    : path_(std::move(path)), file_(std::move(file)) {}

CRunTrace::~CRunTrace() {
    for (tagDeviceUpdate* port : ports_) port->trace = nullptr;
}

std::unique_ptr<CRunTrace> CRunTrace::Open(const std::wstring& workingFolder,
                                           const std::string& runId) {
    if (workingFolder.empty()) {
        LogOnly(L"   The JTAG trace is switched on but not written: there is no working folder.\n");
        return nullptr;
    }
    const std::wstring path = workingFolder + TraceFileName(runId);
    auto file = platform::AtomicFileStream::Create(path);
    if (!file) {
        LogOnly(L"   The JTAG trace %ls is not written (%ls, error %u).\n", path.c_str(),
                Utf8ToWide(file.error().call).c_str(), file.error().code);
        return nullptr;
    }
    return std::unique_ptr<CRunTrace>(new CRunTrace(path, std::move(file).value()));
}

void CRunTrace::Attach(tagDeviceUpdate& record, const tagPciInfo& pci) {
    cards_.emplace_back(PlaceOf(pci), *this);
    cards_.back().Pace(record.delayCount, record.writesPerSecond);
    record.trace = &cards_.back();
    ports_.push_back(&record);
}

void CRunTrace::WriteLine(std::string_view line) {
    std::lock_guard<std::mutex> hold(lock_);
    buffer_.append(line);
    buffer_ += '\n';
    if (buffer_.size() >= kWriteSize) WriteBuffered();
}

void CRunTrace::WriteBuffered() {
    if (!failed_) KeepFailure(file_->Write(buffer_.data(), buffer_.size()), failed_, error_);
    buffer_.clear();
}

void CRunTrace::Finish() {
    for (tagDeviceUpdate* port : ports_) port->trace = nullptr;
    ports_.clear();
    for (CPortTrace& card : cards_) card.Flush();
    std::lock_guard<std::mutex> hold(lock_);
    WriteBuffered();
    if (!failed_) KeepFailure(file_->Commit(), failed_, error_);
    if (failed_) {
        LogOnly(L"   The JTAG trace %ls is not written (%ls, error %u).\n", path_.c_str(),
                Utf8ToWide(error_.call).c_str(), error_.code);
    } else {
        LogOnly(L"   The JTAG trace is in %ls.\n", path_.c_str());
    }
}
