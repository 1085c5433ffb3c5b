// CKSeries::Update: the card's programming run on its worker thread.
#include "device/kseries.h"
#include "xsvf/jtag_port.h"
#include "xsvf/xsvf_player.h"

int CKSeries::Update(tagDeviceUpdate* record) {
    setJtagPin(JTAG_TMS, true, record);
    const std::int32_t result = playXsvf(record);
    // Release: the failure diagnostics and every other write of the play are visible to whoever
    // sees the result.
    record->updateResult.store(result, std::memory_order_release);
    return result;
}
