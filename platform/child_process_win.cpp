// Child processes of the Windows edition: CreateProcessW with the pipe's inheritable write end.
#include <windows.h>

#include <vector>

#include "base/win_handles_win.h"
#include "platform/child_process.h"

namespace platform {

struct ChildOutputPipe::Ends {
    ovn::ScopedKernelHandle read;
    ovn::ScopedKernelHandle write;
};

ChildOutputPipe::ChildOutputPipe() : ends_(std::make_unique<Ends>()) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inheritable, 0)) {
        error_ = ovn::CallError("CreatePipe", GetLastError());
        return;
    }
    ends_->read.reset(read);
    ends_->write.reset(write);
    // Children must not hold the reading end, or the pipe never reports their end of output.
    if (!SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0)) {
        error_ = ovn::CallError("SetHandleInformation", GetLastError());
        ends_->read.reset();
        ends_->write.reset();
    }
}

ChildOutputPipe::~ChildOutputPipe() = default;

ovn::Status ChildOutputPipe::Valid() const {
    if (ends_->read.valid()) return ovn::Ok();
    return error_;
}

std::size_t ChildOutputPipe::ReadAvailable(void* buffer, std::size_t maxBytes) {
    if (!Valid().ok() || maxBytes == 0) return 0;
    DWORD available = 0;
    // A blocking read would wait for ever once the children are gone: this end's twin stays open.
    if (!PeekNamedPipe(ends_->read.get(), nullptr, 0, nullptr, &available, nullptr)) return 0;
    if (available == 0) return 0;
    DWORD want = available < maxBytes ? available : static_cast<DWORD>(maxBytes);
    DWORD got = 0;
    if (!ReadFile(ends_->read.get(), buffer, want, &got, nullptr)) return 0;
    return got;
}

void ChildOutputPipe::Discard() {
    char scratch[4096];
    while (ReadAvailable(scratch, sizeof scratch) > 0) {
    }
}

struct ChildProcess::Handles {
    ovn::ScopedKernelHandle process;
    ovn::ScopedKernelHandle thread;
};

ChildProcess::ChildProcess(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
ChildProcess::~ChildProcess() = default;

ovn::Result<std::unique_ptr<ChildProcess>> ChildProcess::Start(const std::wstring& commandLine,
                                                               ChildOutputPipe& pipe) {
    if (!pipe.Valid().ok()) return ovn::CallError("CreateProcessW (no pipe)", ERROR_INVALID_HANDLE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = pipe.ends().write.get();
    startup.hStdError = pipe.ends().write.get();
    PROCESS_INFORMATION info{};
    // CreateProcessW may write into the command line.
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return ovn::CallError("CreateProcessW", GetLastError());
    }
    auto handles = std::make_unique<Handles>();
    handles->process.reset(info.hProcess);
    handles->thread.reset(info.hThread);
    return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(handles)));
}

ovn::Result<bool> ChildProcess::WaitMilliseconds(std::uint32_t milliseconds) {
    const DWORD waited = WaitForSingleObject(handles_->process.get(), milliseconds);
    if (waited == WAIT_FAILED) return ovn::CallError("WaitForSingleObject", GetLastError());
    return waited == WAIT_OBJECT_0;
}

ovn::Result<std::uint32_t> ChildProcess::ExitCode() {
    DWORD code = 0;
    if (!GetExitCodeProcess(handles_->process.get(), &code))
        return ovn::CallError("GetExitCodeProcess", GetLastError());
    // A child may itself end with the code STILL_ACTIVE: only its end tells the two apart.
    if (code == STILL_ACTIVE) {
        const auto ended = HasEnded();
        if (!ended) return ended.error();
        if (!*ended) return ovn::CallError("GetExitCodeProcess", kChildStillActive);
    }
    return static_cast<std::uint32_t>(code);
}

ovn::Status ChildProcess::Terminate() {
    ovn::Status terminated = ovn::Ok();
    if (!TerminateProcess(handles_->process.get(), 1))
        terminated = ovn::CallError("TerminateProcess", GetLastError());
    // Also when it was refused: a child that is ending already ends by itself.
    WaitForSingleObject(handles_->process.get(), INFINITE);
    return terminated;
}

}  // namespace platform
