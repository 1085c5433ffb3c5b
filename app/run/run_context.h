// Everything one update run owns, handed down its steps: the host services, the options, the
// scanner and its cards, their update records, the image, the run's record and the driver cycle
// with its journal.
#pragma once

#include <functional>

#include "app/cycle/cycle_journal.h"
#include "app/cycle/display_driver_cycle.h"
#include "app/host/host_services.h"
#include "app/run/run_recorder.h"
#include "app/run/run_resources.h"
#include "device/cmdline.h"
#include "hwaccess/pci_scan.h"

class CRunContext {
public:
    // The host services come first: `start` prepares them and returns what the run took at its
    // start, the journal as the run found it (a cut-off run left the original power value there),
    // the working folder and the program copy.
    explicit CRunContext(const std::function<tagRunStart(CHostServices& host)>& start)
        : driverCycle(start(host), host) {}
    CRunContext(const CRunContext&) = delete;
    CRunContext& operator=(const CRunContext&) = delete;

    // Frees the image, the cards and their records and empties the scanner's card list (its
    // mappings are the library's to end with the process).
    void Release();

    // In this order: the host services are prepared and the driver cycle takes the start before
    // anything else of the run is made (the record's start time among them), and the
    // console-control handler may reach the host services until the context ends.
    CHostServices host;
    CDisplayDriverCycle driverCycle;
    CCmdLine options;
    CRunRecorder recorder;
    CPciScan scanner;
    tagRunResources run;
};
