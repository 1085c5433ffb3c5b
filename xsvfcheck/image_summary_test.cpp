// The image summary against what a play really does: the simulated chain's pulses and trace, the
// validator's verdict on every corpus image, and the counts of small written images.
#include "xsvfcheck/image_summary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "testing/xsvf_writer/xsvf_writer.h"
#include "testing/xsvf_writer/xsvf_writer_samples.h"
#include "xsvfcheck/simulated_play.h"

namespace {

namespace fs = std::filesystem;

XsvfBytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return XsvfBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

tagImageSummary Summarize(const XsvfBytes& image) {
    return summarizeXsvf(image.data(), static_cast<std::uint32_t>(image.size()));
}

TEST(ImageSummary, SampleMatchesTheSimulatedPlay) {
    const XsvfBytes sample = ReadFile(fs::path(OVN_SAMPLES_DIR) / "k740_demo.xsvf");
    ASSERT_FALSE(sample.empty());
    const tagImageSummary s = Summarize(sample);
    ASSERT_EQ(s.validation.code, 0) << s.validation.reason;
    ASSERT_EQ(s.idcodes.size(), 1u);
    EXPECT_EQ(s.idcodes[0].value, 0x0A740093u);
    EXPECT_EQ(s.idcodes[0].mask, 0x0FFFFFFFu);
    EXPECT_GT(s.commandCounts[XSDRB], 0u);

    const tagSimulatedPlay play = playOnSimulatedCard(sample, 0x1A740093);
    EXPECT_EQ(play.failure.code, 0) << "failed command " << play.failure.commandIndex;
    EXPECT_EQ(play.risingEdges, s.tckPulses);
    const std::size_t lines =
        static_cast<std::size_t>(std::count(play.trace.begin(), play.trace.end(), '\n'));
    EXPECT_EQ(lines, play.records);
    EXPECT_EQ(play.trace.rfind("03:00.0 ", 0), 0u) << play.trace.substr(0, 200);
    EXPECT_NE(play.trace.find("03:00.0 DR 32 tdi=00000000 tdo=1A740093 path="), std::string::npos)
        << play.trace.substr(0, 400);
}

// Every image the simulated FPGA plays to the end clocks exactly the pulses the summary counts.
TEST(ImageSummary, PulsesEqualTheChainsOnEveryImageThatPlays) {
    std::vector<tagXsvfSample> images = XsvfWriterSamples();
    for (const auto& entry : fs::directory_iterator(OVN_XSVF_CORPUS_DIR)) {
        images.push_back({entry.path().filename().string(), ReadFile(entry.path())});
    }
    int played = 0;
    for (const tagXsvfSample& image : images) {
        const tagImageSummary s = Summarize(image.bytes);
        if (s.validation.code != 0 || s.tckPulses > 200000) continue;
        const tagSimulatedPlay play = playOnSimulatedCard(image.bytes, 0x0A740093);
        if (play.failure.code != 0) continue;
        ++played;
        EXPECT_EQ(play.risingEdges, s.tckPulses) << image.name;
    }
    EXPECT_GE(played, 10);
}

// The verdict is the validator's, and the counts stop before the faulty command.
TEST(ImageSummary, MalformedImagesCountOnlyWhatPrecedesTheFault) {
    for (const auto& entry : fs::directory_iterator(OVN_XSVF_CORPUS_DIR)) {
        const XsvfBytes bytes = ReadFile(entry.path());
        const tagImageSummary s = Summarize(bytes);
        const tagXsvfValidation v =
            validateXsvf(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(s.validation.code, v.code) << name;
        EXPECT_EQ(s.validation.byteOffset, v.byteOffset) << name;
        if (v.code == 0) continue;
        std::uint64_t counted = 0;
        for (std::uint32_t count : s.commandCounts) counted += count;
        EXPECT_EQ(counted, static_cast<std::uint64_t>(v.commandIndex)) << name;
    }
}

TEST(ImageSummary, CountsScansBitsWaitsAndIdcodes) {
    const XsvfBytes image = XsvfWriter()
                                .State(1)
                                .Sir(6, 0x09)
                                .SdrSize(32)
                                .TdoMask(0xFFFFFFFF)
                                .SdrTdo(0, 0x12345678)
                                .SdrTdo(0, 0x12345678)  // the same IDCODE is listed once
                                .RunTest(1000)
                                .Sir(6, 0x0B)
                                .RunTest(0)
                                .SdrSize(64)
                                .SdrTdo(0, 0x9ABCDEF0)  // no IDCODE: another instruction
                                .Wait(1, 1, 500)
                                .Complete()
                                .Bytes();
    const tagImageSummary s = Summarize(image);
    ASSERT_EQ(s.validation.code, 0) << s.validation.reason;
    EXPECT_EQ(s.irScans, 2u);
    EXPECT_EQ(s.drScans, 3u);
    EXPECT_EQ(s.irBits, 12u);
    EXPECT_EQ(s.drBits, 128u);
    EXPECT_EQ(s.largestVectorBits, 64u);
    EXPECT_EQ(s.runTestMicroseconds, 1500u);
    EXPECT_EQ(s.commandCounts[XSDRTDO], 3u);
    EXPECT_EQ(s.commandCounts[XCOMPLETE], 1u);
    ASSERT_EQ(s.idcodes.size(), 1u);
    EXPECT_EQ(s.idcodes[0].value, 0x12345678u);
    EXPECT_EQ(s.idcodes[0].mask, 0xFFFFFFFFu);
    EXPECT_EQ(s.idcodes[0].commandIndex, 4);
    EXPECT_EQ(s.Seconds(s.GpioWrites()), 1.0);
}

}  // namespace
