// The port's trace against the simulated chain's own: the same play gives the same lines.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "hwaccess/driver_access.h"
#include "sim/sim_machine.h"
#include "testing/xsvf_writer/make_demo_xsvf.h"
#include "testing/xsvf_writer/xsvf_writer.h"
#include "xsvf/jtag_port.h"
#include "xsvf/jtag_port_open.h"
#include "xsvf/port_trace.h"
#include "xsvf/xsvf_player.h"

namespace {

class LinesSink : public CTraceSink {
public:
    void WriteLine(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

class PortTraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver_access::ResetForTesting();
        sim::MachineOptions options;
        options.keepTrace = true;
        sim::InstallMachine(sim::DefaultMachineConfig(), options);
        ASSERT_TRUE(OpenDriverAccess());
        card = &sim::CurrentMachine().Card(0);
        const auto& c = card->Config();
        port.pciHandle = (std::uint32_t{c.bus} << 8) | (std::uint32_t{c.device} << 3) | c.function;
        port.regHandle = memMap64(card->ApertureAddress(), 0x10000);
        ASSERT_NE(port.regHandle, 0u);
        ::testing::internal::CaptureStdout();
        openJtagPort(&port);
        ::testing::internal::GetCapturedStdout();
    }
    void TearDown() override {
        driver_access::ResetForTesting();
        sim::ForgetMachine();
    }

    // Plays as the card's update does, with the trace attached, and returns the play's code.
    std::int32_t Play(const XsvfBytes& image) {
        buffer = image;
        port.delayCount = 0;
        port.image = {buffer.data(), static_cast<std::uint32_t>(buffer.size())};
        port.offset = 0;
        port.gpioOut |= GPIO_TMS_MASK;
        trace.Pace(port.delayCount, port.writesPerSecond);
        port.trace = &trace;
        const std::int32_t code = playXsvf(&port);
        port.trace = nullptr;
        trace.Flush();
        return code;
    }

    // The chain's records as the simulator's trace file has them, and the port's without PACE.
    std::vector<std::string> ChainLines() {
        card->Chain().FlushTrace();
        std::vector<std::string> lines;
        for (const auto& record : card->Chain().Records())
            lines.push_back(card->Place() + " " + record.Text());
        return lines;
    }
    std::vector<std::string> PortLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : sink.lines)
            if (line.find(" PACE ") == std::string::npos) lines.push_back(line);
        return lines;
    }

    sim::SimCard* card = nullptr;
    tagDeviceUpdate port;
    XsvfBytes buffer;
    LinesSink sink;
    CPortTrace trace{"03:00.0", sink};
};

TEST_F(PortTraceTest, TheDemoImageGivesTheChainsTraceLineForLine) {
    ASSERT_EQ(Play(MakeK740DemoXsvf()), 0) << "failed command " << port.failure.commandIndex;
    ASSERT_EQ(card->Version().minor, 4);
    const std::vector<std::string> chain = ChainLines();
    ASSERT_GT(chain.size(), 10u);
    EXPECT_EQ(PortLines(), chain);
    ASSERT_FALSE(sink.lines.empty());
    EXPECT_EQ(sink.lines[0],
              "03:00.0 PACE delay=0 writesPerSecond=" + std::to_string(port.writesPerSecond));
    EXPECT_GT(port.writesPerSecond, 0u) << "calibration measured no write rate";
}

// Pause states entered and held, waits in Pause and in Test-Logic-Reset, scans that stay in Shift
// across commands, uncaptured scans (their TDO is read for the trace only), a compare that fails
// and takes the Pause-DR detour with its retries, a reset in the middle of the image.
TEST_F(PortTraceTest, EveryWalkAndWaitOfThePlayerIsTracedAsTheChainSawIt) {
    XsvfWriter w;
    w.Repeat(2).RunTest(3).EndIr(1).EndDr(1);
    w.Sir(6, 0x09).SdrSize(32).SdrTdo(0, 0x0A740093);  // IDCODE, ending in the Pause states
    w.Wait(6, 6, 4).State(1).Wait(1, 1, 7);
    w.EndIr(0).EndDr(0).Sir2(6, 0x3F).SdrSize(12);
    w.SdrB(XsvfVector(12, 0xABC)).SdrC(XsvfVector(12, 0x123)).SdrE(XsvfVector(12, 0x456));
    w.State(0).Wait(0, 1, 3).State(6).State(6).State(1);
    w.Sir(6, 0x09).SdrSize(32).TdoMask(0xFFFFFFFF).SdrTdo(0, 0x12345678);  // wrong: retried
    const std::int32_t code = Play(w.Complete().Bytes());
    EXPECT_EQ(code, 3) << "the last compare should fail after its retries";
    const std::vector<std::string> chain = ChainLines();
    ASSERT_GT(chain.size(), 15u);
    EXPECT_EQ(PortLines(), chain);
}

}  // namespace
