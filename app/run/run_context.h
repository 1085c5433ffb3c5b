// Everything one update run owns, handed down its steps: the options, the scanner and its cards,
// their update records, the image, the run's record and the driver cycle with its journal.
#pragma once

#include "app/cycle/cycle_journal.h"
#include "app/cycle/display_driver_cycle.h"
#include "app/run/run_recorder.h"
#include "app/run/run_resources.h"
#include "device/cmdline.h"
#include "hwaccess/pci_scan.h"

class CRunContext {
public:
    // What the run took at its start: the journal as the run found it (a cut-off run left the
    // original power value there), the working folder and the program copy.
    explicit CRunContext(const tagRunStart& start) : driverCycle(start) {}
    CRunContext(const CRunContext&) = delete;
    CRunContext& operator=(const CRunContext&) = delete;

    // Frees the image, the cards and their records and empties the scanner's card list (its
    // mappings are the library's to end with the process).
    void Release();

    CCmdLine options;
    CRunRecorder recorder;
    CDisplayDriverCycle driverCycle;
    CPciScan scanner;
    tagRunResources run;
};
