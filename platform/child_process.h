// Child processes of the run and the one anonymous pipe that receives their output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"

namespace platform {

// The code ExitCode fails with while the child runs (Windows' STILL_ACTIVE, in both editions).
constexpr std::uint32_t kChildStillActive = 259;

// The run's output pipe. Children write into its write end; the utility reads the other end, never
// waiting for data. Both ends live as long as the object; only the owner reads.
class ChildOutputPipe {
public:
    ChildOutputPipe();
    ~ChildOutputPipe();
    ChildOutputPipe(const ChildOutputPipe&) = delete;
    ChildOutputPipe& operator=(const ChildOutputPipe&) = delete;

    // Whether the pipe was made; the error names the call that failed and the system's code.
    [[nodiscard]] ovn::Status Valid() const;

    // Copies at most maxBytes of what is in the pipe now into buffer; returns the count (0 when
    // nothing is there). Never blocks.
    std::size_t ReadAvailable(void* buffer, std::size_t maxBytes);
    // Reads and drops everything in the pipe now, so that no writer blocks on a full pipe.
    void Discard();

    struct Ends;
    Ends& ends() { return *ends_; }

private:
    std::unique_ptr<Ends> ends_;
    ovn::Error error_;
};

// A started child. Destroying it closes the handles; a child still running goes on by itself.
class ChildProcess {
public:
    // Starts the command line with standard output and error into the pipe, the utility's own
    // standard input, inherited handles, the utility's environment and directory. The program is
    // found at the start of the command line by the platform's rule for unquoted paths. The
    // error names the call that failed and the system's error code.
    [[nodiscard]] static ovn::Result<std::unique_ptr<ChildProcess>> Start(
        const std::wstring& commandLine, ChildOutputPipe& pipe);

    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits at most milliseconds for the end; true once the child has ended, false when the time
    // passed first. Fails when the child cannot be waited for.
    [[nodiscard]] ovn::Result<bool> WaitMilliseconds(std::uint32_t milliseconds);
    [[nodiscard]] ovn::Result<bool> HasEnded() { return WaitMilliseconds(0); }
    // The exit code once the child has ended; fails with kChildStillActive while it runs, and with
    // the system's error when the code cannot be had.
    [[nodiscard]] ovn::Result<std::uint32_t> ExitCode();
    // Ends the child at once and waits for its end (for tests and test doubles); fails when it
    // cannot be ended.
    [[nodiscard]] ovn::Status Terminate();

    struct Handles;

private:
    explicit ChildProcess(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> handles_;
};

}  // namespace platform
