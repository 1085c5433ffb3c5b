// What the update run owns for the length of the process, and its clean-up routine.
#pragma once

#include <cstdint>
#include <vector>

#include "xsvf/device_update.h"

class CKSeries;
class CPciScan;

struct tagRunResources {
    std::vector<CKSeries*> cards;        // one per card, scan order; null until created
    tagDeviceUpdate* records = nullptr;  // one block of cardCount records
    std::uint32_t cardCount = 0;
    std::uint8_t* image = nullptr;  // the whole XSVF file, read-only for the workers
    std::int32_t imageSize = 0;     // 0: no image loaded
};

tagRunResources& RunResources();
CPciScan& ProgramPciScan();

// Sets the console window to null, shows the cursor, empties the card list and frees what the run
// owns. From the console-control path the run's data is left alone: workers may still be reading it
// and the process ends at once anyway; the display is brought back first.
void CleanUpRun(bool fromConsoleControl);

// What brings the display back when the run is interrupted or stopped by a failure (the driver
// cycle's); called from any thread, at most once. Null: nothing to bring back.
void SetDisplayRecovery(void (*recover)());
void RecoverDisplay();
