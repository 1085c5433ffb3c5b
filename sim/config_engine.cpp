// Word-by-word state machine of the configuration engine.
#include "sim/config_engine.h"

namespace sim {

void ConfigEngine::Reset() { *this = ConfigEngine(); }

void ConfigEngine::TakeWord(std::uint32_t word) {
    ++wordsTaken_;
    switch (phase_) {
        case Phase::Sync:
            if (word == kSyncWord) phase_ = Phase::Command;
            return;
        case Phase::Command:
            phase_ = word == kVersionCommand ? Phase::Version : Phase::Error;
            return;
        case Phase::Version:
            version_ = word;
            crc_.Reset();
            crc_.UpdateWord(word);
            phase_ = Phase::Length;
            return;
        case Phase::Length:
            if ((word & 0xF0000000u) != kDataCommand) {
                phase_ = Phase::Error;
                return;
            }
            dataLeft_ = word & 0x0FFFFFFFu;
            phase_ = dataLeft_ ? Phase::Data : Phase::Crc;
            return;
        case Phase::Data:
            crc_.UpdateWord(word);
            if (--dataLeft_ == 0) phase_ = Phase::Crc;
            return;
        case Phase::Crc:
            phase_ = word == crc_.Value() ? Phase::Complete : Phase::Error;
            return;
        case Phase::Complete:
        case Phase::Error:
            return;
    }
}

}  // namespace sim
