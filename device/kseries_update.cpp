// CKSeries::Update: the card's programming run on its worker thread.
#include "device/kseries.h"
#include "xsvf/jtag_port.h"
#include "xsvf/xsvf_player.h"

int CKSeries::Update(tagDeviceUpdate* record) {
    setJtagPin(JTAG_TMS, true, record);
    record->failure = playXsvf(*record, *record, record->percentDone);
    const std::int32_t result = record->failure.code;
    // The last write of the play, with release: see tagUpdateProgress.
    record->updateResult.store(result, std::memory_order_release);
    return result;
}
