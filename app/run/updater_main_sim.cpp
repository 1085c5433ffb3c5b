// Entry point of the host edition: its argument vector is already UTF-8 bytes.
#include "app/run/update_run.h"
#include "sim/late_writes.h"
#include "xsvf/play_stop.h"

int main(int argc, char** argv) {
    // A simulated machine that holds the cards' register writes lets them go once the plays have
    // been asked to stop, as a console window closed at that moment would.
    sim::SetWriteStallRelease([] { return ProcessPlayStop().Requested(); });
    return RunUpdate(argc, argv);
}
