// The run's process-wide resources and the clean-up routine shared with the console-control
// handler.
#include "app/run_resources.h"

#include <atomic>

#include "device/kseries.h"
#include "hwaccess/host_services.h"
#include "hwaccess/pci_scan.h"
#include "platform/console.h"

tagRunResources& RunResources() {
    static tagRunResources resources;
    return resources;
}

CPciScan& ProgramPciScan() {
    static CPciScan scanner;
    return scanner;
}

namespace {
std::atomic<void (*)()> displayRecovery{nullptr};
}

void SetDisplayRecovery(void (*recover)()) { displayRecovery = recover; }

void RecoverDisplay() {
    if (auto recover = displayRecovery.exchange(nullptr)) recover();
}

void CleanUpRun(bool fromConsoleControl) {
    consoleWindow.store(nullptr);
    platform::ConsoleShowCursor(true);
    if (fromConsoleControl) {
        RecoverDisplay();
        return;
    }

    CPciScan& scanner = ProgramPciScan();
    if (scanner.devices) scanner.devices->SetCount(0);

    tagRunResources& run = RunResources();
    delete[] run.image;
    run.image = nullptr;
    run.imageSize = 0;
    for (CKSeries*& card : run.cards) {
        delete card;
        card = nullptr;
    }
    run.cards.clear();
    delete[] run.records;
    run.records = nullptr;
}
