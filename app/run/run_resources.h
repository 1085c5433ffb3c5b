// What the update run owns for its cards and image, and the clean-up shared with the
// console-control handler.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "device/kseries.h"
#include "xsvf/device_update.h"

class CDisplayDriverCycle;
class CHostServices;

struct tagRunResources {
    std::vector<std::unique_ptr<CKSeries>> cards;  // one per card, scan order; null until created
    std::unique_ptr<tagDeviceUpdate[]> records;    // cardCount records
    std::uint32_t cardCount = 0;
    std::unique_ptr<std::uint8_t[]> image;  // the whole XSVF file, read-only for the workers
    std::int32_t imageSize = 0;             // 0: no image loaded

    // The cards as the programming step takes them (the run keeps owning them).
    std::vector<CKSeries*> CardPointers() const;
    void ClearImage();
    // Frees the image, the cards and their records.
    void Release();
};

// Sets the host's console window to null (host null: the run has none yet) and shows the cursor;
// from the console-control path the cards' plays are stopped and waited for (StopCardPlays), then
// the display is brought back. It frees nothing: from the console-control path workers may still
// be reading the run's data and the process ends at once anyway, and the run frees its own.
void CleanUpRun(CHostServices* host, bool fromConsoleControl);

// The driver cycle that brings the display back when the run is interrupted or stopped by a
// failure; RecoverDisplay calls it from any thread, at most once. Null: nothing to bring back.
void SetDisplayRecovery(CDisplayDriverCycle* cycle);
void RecoverDisplay();

// How long the console-control path waits for the plays to stop, on the process clock: a player
// looks at the stop before every command, so this is only reached by a command that never ends.
inline constexpr std::uint32_t kPlayStopLimitMilliseconds = 10000;
// The display driver must not take the card back while a worker still drives its JTAG pins: the
// plays are asked to stop, and this returns once no card's registers are in use (or at the limit,
// said in the log).
void StopCardPlays();
