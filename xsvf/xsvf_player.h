// XSVF interpreter: plays one image into the JTAG chain of one card.
#pragma once

#include <atomic>
#include <cstdint>

#include "xsvf/bit_vector.h"
#include "xsvf/device_update.h"
#include "xsvf/xsvf_decode.h"

// State of one play; owned by playXsvf on the card's worker thread and discarded when it returns.
struct tagXsvfContext {
    std::uint8_t complete = 0;
    std::int32_t commandCount = 0;
    std::int32_t error = 0;
    std::uint8_t tapState = 0;
    std::uint8_t endIR = 1;
    std::uint8_t endDR = 1;
    std::uint8_t maxRepeat = 0;
    std::int32_t runTestTime = 0;
    tagXsvfLengths lengths;  // kept by the decoder
    tagBitVector tdi;
    tagBitVector tdoExpected;
    tagBitVector tdoCaptured;
    tagBitVector tdoMask;
    tagBitVector addressMask;
    tagBitVector dataMask;
    tagBitVector nextData;

    // Diagnostics: the current command (its code and offset also when it could not be decoded),
    // its index, and whether its compare used tdoMask.
    tagXsvfCommand current;
    std::int32_t commandIndex = 0;
    bool comparedUnderMask = false;
};

class CPlayStop;

// Plays the image from the cursor through the port, publishing the share of the image consumed in
// percentDone. Returns the failure; its code is 0 when XCOMPLETE was reached, XSVF_STOPPED when
// the stop was requested before (it is looked at before every command, and every 512 bytes of a
// vector and 4096 pulses of a run-test wait inside one: such a command is left unfinished).
tagXsvfFailure playXsvf(tagJtagPort& port, tagImageCursor& cursor,
                        std::atomic<std::uint32_t>& percentDone, const CPlayStop* stop = nullptr);

// The record's play: returns the error code (0 = XCOMPLETE reached) and keeps the returned failure
// in record->failure for the run's log.
std::int32_t playXsvf(tagDeviceUpdate* record);

// Decodes and executes the command at the cursor; returns the context's error field. The vectors
// must point at buffers of BIT_VECTOR_CAPACITY bytes.
std::int32_t stepXsvf(tagXsvfContext& context, tagJtagPort& port, tagImageCursor& cursor,
                      std::atomic<std::uint32_t>& percentDone);
