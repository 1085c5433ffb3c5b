// Trace of what a card's JTAG port clocked: scans, waits and pacing, one text line per record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Where the finished lines go; called by the card's worker, so shared sinks lock inside.
class CTraceSink {
public:
    virtual ~CTraceSink() = default;
    virtual void WriteLine(std::string_view line) = 0;
};

// Follows the TAP controller through the rising TCK edges the port gives (with their TMS, TDI and
// the TDO level in front of each) and writes, prefixed with the card's place, the records a
// simulated chain writes for the same edges, so that a trace of a real card and one of a simulated
// card compare line for line:
//   IR 6 tdi=09 tdo=25 path=1 2 9 10 11 12 15
//   DR 32 tdi=00000000 tdo=0A740093 path=1 2 3 4 5 8
//   WAIT Run-Test/Idle 16
// Pacing is a line of its own beginning with PACE, which a comparison with a simulated run leaves
// out. Starts in Test-Logic-Reset, as a play assumes: every play begins with five TMS-high edges.
// One card, one thread.
class CPortTrace {
public:
    CPortTrace(std::string place, CTraceSink& sink);

    // One rising edge; tdo matters only in a Shift state (shifting()).
    void Edge(bool tms, bool tdi, bool tdo);
    // Whether the next edge shifts a bit (so its TDO level is wanted).
    bool Shifting() const { return state_ == kShiftDr || state_ == kShiftIr; }

    void Pace(std::uint32_t delayCount, std::uint32_t writesPerSecond);
    // Writes a wait still in progress; call when the play has ended.
    void Flush();

private:
    static constexpr std::uint8_t kReset = 0, kIdle = 1, kCaptureDr = 3, kShiftDr = 4,
                                  kUpdateDr = 8, kCaptureIr = 10, kShiftIr = 11, kUpdateIr = 15;
    struct Step {
        std::uint8_t state;
        std::uint64_t extraPulses;
    };
    struct Bits {
        std::vector<std::uint8_t> bytes;
        std::uint64_t count = 0;
        void Append(bool bit);
        std::string Hex() const;
    };

    void Enter(std::uint8_t from, std::uint8_t to);
    void EmitWait(std::uint8_t state);
    void Emit(const std::string& record);

    std::string place_;
    CTraceSink& sink_;
    std::uint8_t state_ = kReset;
    std::uint64_t waitPulses_ = 0;
    std::vector<Step> path_;
    bool inScan_ = false;
    bool scanIsIr_ = false;
    Bits tdi_, tdo_;
};

// The state a rising edge with this TMS level leads to (the standard's controller).
std::uint8_t NextTapStateOf(std::uint8_t state, bool tms);
