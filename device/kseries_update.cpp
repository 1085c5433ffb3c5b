// CKSeries::Update: the card's programming run on its worker thread.
#include "device/kseries.h"
#include "xsvf/jtag_port.h"
#include "xsvf/play_stop.h"
#include "xsvf/xsvf_player.h"

int CKSeries::Update(tagDeviceUpdate* record) {
    // Counted in before the first register write, so that a stop waits for this play's end.
    CPlayStop::Use use(record->stop);
    if (use.StopRequested()) {
        record->failure = tagXsvfFailure{};
        record->failure.code = XSVF_STOPPED;
    } else {
        setJtagPin(JTAG_TMS, true, record);
        record->failure = playXsvf(*record, *record, record->percentDone, record->stop);
    }
    const std::int32_t result = record->failure.code;
    // The run's thread does not come back to a stopped card: the pins are given back here.
    if (result == XSVF_STOPPED) closeJtagPort(record, 0);
    // The last write of the play, with release: see tagUpdateProgress.
    record->updateResult.store(result, std::memory_order_release);
    return result;
}
