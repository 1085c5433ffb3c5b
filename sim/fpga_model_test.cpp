// The K740 FPGA model on its chain: identity, status, configuration by bitstream, CRC and format
// faults.
#include "sim/fpga_model.h"

#include <gtest/gtest.h>

#include "sim/chain_driver_testutil.h"
#include "sim/jtag_chain.h"

namespace sim {
namespace {

using testing::ChainDriver;
using testing::MakeBitstream;

class FpgaModelTest : public ::testing::Test {
protected:
    FpgaModelTest()
        : fpga_(0x0A740093, FpgaVersion{1, 2, 7, 0}.Word()), chain_(&fpga_), jtag_(chain_) {
        fpga_.OnStartup([this](std::uint32_t word) { started_.push_back(word); });
        jtag_.ResetToIdle();
    }

    // JPROGRAM, CFG_IN with the words, JSTART and the given number of idle clocks.
    void Configure(const std::vector<std::uint32_t>& words, unsigned startupClocks = 16) {
        jtag_.ScanIr(6, FpgaModel::kJprogram);
        jtag_.ScanIr(6, FpgaModel::kCfgIn);
        jtag_.ScanDrWords(words);
        jtag_.ScanIr(6, FpgaModel::kJstart);
        jtag_.Idle(startupClocks);
    }
    std::uint32_t Read32(std::uint8_t instruction) {
        jtag_.ScanIr(6, instruction);
        return static_cast<std::uint32_t>(jtag_.ScanDr(32, 0));
    }

    FpgaModel fpga_;
    JtagChain chain_;
    ChainDriver jtag_;
    std::vector<std::uint32_t> started_;
};

TEST_F(FpgaModelTest, ResetSelectsIdcodeAndCaptureIrShowsInitAndDone) {
    EXPECT_EQ(jtag_.ScanDr(32, 0), 0x0A740093u);
    EXPECT_EQ(jtag_.ScanIr(6, FpgaModel::kBypass), 0x25u);  // 01 | INIT << 2 | DONE << 5
    EXPECT_EQ(jtag_.ScanDr(8, 0xA5), 0x4Au);  // one bypass bit capturing 0, then the shifted bits
    EXPECT_EQ(Read32(FpgaModel::kUsercode), 0x01020700u);
    EXPECT_EQ(Read32(FpgaModel::kStatus), 0x01020703u);  // DONE, INIT, version bytes
}

TEST_F(FpgaModelTest, CorrectBitstreamConfiguresAndChangesTheVersion) {
    std::vector<std::uint32_t> data(300);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint32_t>(i * 2654435761u);
    Configure(MakeBitstream({1, 4, 2, 9}, data), 15);
    EXPECT_FALSE(fpga_.Done()) << "start-up needs 16 clocks in Run-Test/Idle";
    jtag_.Idle(1);
    EXPECT_TRUE(fpga_.Done());
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(started_[0], 0x01040209u);
    EXPECT_EQ(Read32(FpgaModel::kUsercode), 0x01040209u);
    EXPECT_EQ(Read32(FpgaModel::kStatus), 0x0104020Bu);  // DONE, INIT, sync seen
}

TEST_F(FpgaModelTest, JprogramClearsTheConfiguration) {
    jtag_.ScanIr(6, FpgaModel::kJprogram);
    EXPECT_EQ(jtag_.ScanIr(6, FpgaModel::kBypass), 0x05u);  // INIT without DONE
    EXPECT_EQ(Read32(FpgaModel::kUsercode), 0xFFFFFFFFu);
    EXPECT_EQ(Read32(FpgaModel::kStatus), 0x00000002u);
}

TEST_F(FpgaModelTest, CorruptedCrcIsReportedAndNothingStarts) {
    Configure(MakeBitstream({1, 4, 2, 0}, {1, 2, 3}, /*spoilCrc=*/true), 100);
    EXPECT_FALSE(fpga_.Done());
    EXPECT_TRUE(started_.empty());
    EXPECT_EQ(Read32(FpgaModel::kStatus), 0x0000000Cu);  // CRC error, sync seen, INIT low
}

TEST_F(FpgaModelTest, AnUnknownWordAfterSyncIsAFormatError) {
    Configure({0xAA995566u, 0x30000002u, 0x01040200u, 0x50000000u, 0}, 20);
    EXPECT_FALSE(fpga_.Done());
    EXPECT_TRUE(fpga_.Engine().CrcError());
}

TEST_F(FpgaModelTest, IncompleteBitstreamNeverStarts) {
    auto words = MakeBitstream({2, 0, 0, 0}, {7, 7, 7});
    words.pop_back();  // no CRC word
    Configure(words, 50);
    EXPECT_FALSE(fpga_.Done());
    EXPECT_FALSE(fpga_.Engine().CrcError());
    EXPECT_TRUE(fpga_.Engine().SyncSeen());
}

TEST_F(FpgaModelTest, BitstreamMaySpanSeveralCfgInScans) {
    auto words = MakeBitstream({3, 1, 4, 1}, {5, 9, 2, 6});
    jtag_.ScanIr(6, FpgaModel::kJprogram);
    jtag_.ScanIr(6, FpgaModel::kCfgIn);
    std::size_t half = words.size() / 2;
    jtag_.ScanDrWords({words.begin(), words.begin() + static_cast<long>(half)});
    jtag_.ScanDrWords({words.begin() + static_cast<long>(half), words.end()});
    jtag_.ScanIr(6, FpgaModel::kJstart);
    jtag_.Idle(16);
    EXPECT_TRUE(fpga_.Done());
    EXPECT_EQ(fpga_.RunningVersion(), 0x03010401u);
}

}  // namespace
}  // namespace sim
