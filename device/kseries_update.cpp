// CKSeries::Update: the card's programming run on its worker thread.
#include "device/kseries.h"
#include "xsvf/jtag_port.h"
#include "xsvf/xsvf_player.h"

int CKSeries::Update(tagDeviceUpdate* record) {
    setJtagPin(JTAG_TMS, true, record);
    const std::int32_t result = playXsvf(record);
    record->updateResult.store(result, std::memory_order_relaxed);
    return result;
}
