// The per-card update record, composed of its parts: the card's port, the image cursor, the
// progress the run watches, and the failure detail of the play.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

class CPlayStop;
class CPortTrace;

// The card's GPIO JTAG port: where its registers are, what its output pins hold and how register
// writes are paced. Used by one thread at a time: the run's thread opens and calibrates it, the
// card's worker plays through it, the run's thread closes it after joining the worker.
struct tagJtagPort {
    std::uint32_t pciHandle = 0;  // device handle for configuration access
    std::uint32_t regHandle = 0;  // mapping handle of the register aperture
    std::uint32_t gpioOut =
        0;  // cached GPIO output word; TMS/TDI collect here until the next TCK op
    std::int32_t verifyWrites = 0;
    std::uint32_t delayCount = 40;      // busy-wait iterations after each register write
    std::uint32_t writesPerSecond = 0;  // the fastest rate calibration measured; 0: not measured
    // Records what the port clocks (xsvf/port_trace.h); null: nothing is recorded, and the shifts
    // run the loop without it.
    CPortTrace* trace = nullptr;
    // The stop that long shifts and run-test waits look at as they go (set by the play); null:
    // they run to their end. shiftCut says one was left unfinished because of it.
    const CPlayStop* shiftStop = nullptr;
    bool shiftCut = false;
};

// Where a play is in the image. The image is shared by every card's play and written by none.
struct tagImageCursor {
    std::span<const std::uint8_t> image;
    std::uint32_t offset = 0;  // bytes consumed

    std::uint32_t BytesLeft() const {
        return offset < image.size() ? static_cast<std::uint32_t>(image.size()) - offset : 0;
    }
};

// What the run's thread watches while the card's worker plays. The order is the same for every
// user of the record:
// - percentDone is a display value: relaxed loads and stores; nothing else is read on its strength.
// - updateResult is the worker's last write: it is stored with release, after the failure detail
//   and every other write of the play; a thread that reads it while the worker may still run loads
//   it with acquire before it reads anything else of the record. After the worker has been joined
//   the join orders everything, so plain (sequentially consistent) loads and stores are fine.
struct tagUpdateProgress {
    std::atomic<std::uint32_t> percentDone{0};
    std::atomic<std::int32_t> updateResult{0};
};

// Where and why a play failed, as the player returns it, for the log.
struct tagXsvfFailure {
    std::int32_t commandIndex = -1;  // 0-based index of the failing command in the image
    std::uint8_t command = 0;        // its code
    std::int32_t code = 0;           // the error code (0: the play reached XCOMPLETE)
    std::uint32_t byteOffset = 0;    // offset of its command byte in the image
    std::vector<std::uint8_t> expected, captured, mask;  // TDO mismatches only
};

// One per card, owned by the update run: the parts above under the field names the run and the
// card use. Functions that need only one part take only that part.
struct tagDeviceUpdate : tagJtagPort, tagImageCursor, tagUpdateProgress {
    tagXsvfFailure failure;     // the play's failure, stored by the card's Update for the run's log
    CPlayStop* stop = nullptr;  // the stop the play obeys; null: none
};

// Percentage of an image of size bytes after consumed bytes, in 64 bits so that images above
// 42,949,672 bytes show true progress; exactly 100 only at the end.
inline std::uint32_t imagePercent(std::uint64_t consumed, std::uint64_t size) {
    if (size == 0 || consumed >= size) return 100;
    return static_cast<std::uint32_t>(consumed * 100 / size);
}

// Moves the cursor count bytes on (never past the end) and publishes the percentage.
inline void advanceImage(tagImageCursor& cursor, std::uint32_t count,
                         std::atomic<std::uint32_t>& percentDone) {
    cursor.offset += count < cursor.BytesLeft() ? count : cursor.BytesLeft();
    percentDone.store(imagePercent(cursor.offset, cursor.image.size()), std::memory_order_relaxed);
}
