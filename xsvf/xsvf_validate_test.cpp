// Tests of image validation, and of its agreement with the player on every corpus image.
#include "xsvf/xsvf_validate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "testing/xsvf_writer/xsvf_writer.h"
#include "testing/xsvf_writer/xsvf_writer_samples.h"
#include "xsvf/fake_gpio_testutil.h"
#include "xsvf/xsvf_player.h"

namespace {

tagXsvfValidation Validate(const XsvfBytes& image) {
    auto copy = std::make_unique<std::uint8_t[]>(image.size());
    std::copy(image.begin(), image.end(), copy.get());
    return validateXsvf(copy.get(), static_cast<std::uint32_t>(image.size()));
}

TEST(Validation, AcceptsWellFormedImages) {
    auto v =
        Validate(XsvfWriter().State(1).Sir(6, 0x09).SdrSize(32).SdrTdo(0, 1).Complete().Bytes());
    EXPECT_EQ(v.code, 0);
    EXPECT_EQ(v.commandCount, 5);
    EXPECT_TRUE(v.reason.empty());
    EXPECT_TRUE(describeXsvfFault(v).empty());
}

TEST(Validation, ReportsTheFirstFaultWithIndexAndOffset) {
    auto v = Validate(XsvfWriter().State(1).Raw({0x1B}).Complete().Bytes());
    EXPECT_EQ(v.code, 4);
    EXPECT_EQ(v.commandIndex, 1);
    EXPECT_EQ(v.command, 0x1B);
    EXPECT_EQ(v.byteOffset, 2u);
    EXPECT_EQ(v.reason, "illegal command 0x1B");
    EXPECT_EQ(describeXsvfFault(v),
              "illegal command 0x1B (command 1 at byte offset 2, error code 4)");

    v = Validate(XsvfWriter().SdrSize(32).Raw({0x09, 0, 0, 0, 0, 0}).Bytes());
    EXPECT_EQ(v.code, 4);
    EXPECT_EQ(v.commandIndex, 1);
    EXPECT_EQ(v.byteOffset, 5u);
    EXPECT_EQ(v.reason, "image ends inside XSDRTDO");

    v = Validate(XsvfWriter().State(1).Bytes());
    EXPECT_EQ(v.code, 4);
    EXPECT_EQ(v.commandIndex, 1);
    EXPECT_EQ(v.byteOffset, 2u);
    EXPECT_EQ(v.reason, "image ends before XCOMPLETE");
}

TEST(Validation, StateAndSizeFaults) {
    EXPECT_EQ(Validate(XsvfWriter().EndDr(2).Complete().Bytes()).reason, "XENDDR argument 2");
    EXPECT_EQ(Validate(XsvfWriter().EndIr(9).Complete().Bytes()).code, 5);
    auto v = Validate(XsvfWriter().State(1).State(14).Complete().Bytes());
    EXPECT_EQ(v.code, 5);
    EXPECT_EQ(v.reason, "XSTATE 14 cannot be entered from state 1");
    EXPECT_EQ(Validate(XsvfWriter().State(16).Complete().Bytes()).code, 5);
    EXPECT_EQ(Validate(XsvfWriter().SdrSize(16000001).Complete().Bytes()).code, 6);
    EXPECT_EQ(Validate(XsvfWriter().SdrSize(0x80000000).Complete().Bytes()).code, 6);
}

TEST(Validation, TracksTheTapStateThroughScansAndWaits) {
    // After a DR scan ending in Pause-DR, Exit2-DR can be entered.
    EXPECT_EQ(Validate(XsvfWriter().EndDr(1).SdrSize(8).Sdr(0x1).State(7).Complete().Bytes()).code,
              0);
    // A run-test wait after the scan ends it in Run-Test/Idle instead.
    EXPECT_EQ(
        Validate(XsvfWriter().EndDr(1).RunTest(5).SdrSize(8).Sdr(0x1).State(7).Complete().Bytes())
            .code,
        5);
    // XSDRB stays in Shift-DR; XWAIT moves only to reachable states.
    EXPECT_EQ(Validate(XsvfWriter().SdrSize(8).SdrB({1}).State(7).Complete().Bytes()).code, 5);
    EXPECT_EQ(Validate(XsvfWriter().State(6).Wait(6, 7, 1).State(7).Complete().Bytes()).code, 0);
    EXPECT_EQ(Validate(XsvfWriter().State(1).Wait(7, 1, 1).State(14).Complete().Bytes()).code, 5);
}

TEST(Validation, WorstCaseCountsRetriesAndWaits) {
    auto v = Validate(XsvfWriter().Wait(1, 1, 0xFFFFFFFF).Complete().Bytes());
    EXPECT_GE(v.worstCaseTckPulses, 0xFFFFFFFFull);
    auto small =
        Validate(XsvfWriter().Repeat(3).RunTest(1000).SdrSize(8).Sdr(0x1).Complete().Bytes());
    EXPECT_GE(small.worstCaseTckPulses, 1250u + 1562u + 1952u + 1952u + 4u * 8u);
    EXPECT_LT(small.worstCaseTckPulses, 1250u + 1562u + 1952u + 1952u + 4u * 8u + 200u);
}

// Plays the image on the fake card (TDO always 0) and checks that validation agrees: a clean
// validation exactly when the play reaches XCOMPLETE or stops at a TDO mismatch before any
// structural fault, and the same code and command for structurally bad images.
// Images that could clock longer than kPlayBudgetPulses are only validated, as in the fuzz target:
// the corpus holds images whose XWAIT alone lasts for hours.
constexpr std::uint64_t kPlayBudgetPulses = 20000;

void ExpectAgreement(const XsvfBytes& image, const std::string& name) {
    tagXsvfValidation v = Validate(image);
    if (v.worstCaseTckPulses > kPlayBudgetPulses) return;
    CFakeGpio::Install().logWrites = false;
    auto copy = std::make_unique<std::uint8_t[]>(image.size());
    std::copy(image.begin(), image.end(), copy.get());
    tagDeviceUpdate port;
    port.delayCount = 0;
    port.image = {copy.get(), static_cast<std::uint32_t>(image.size())};
    std::int32_t played = playXsvf(&port);
    CFakeGpio::Uninstall();
    if (played == 2 || played == 3) {
        EXPECT_TRUE(v.code == 0 || v.commandIndex > port.failure.commandIndex) << name;
        return;
    }
    EXPECT_EQ(v.code, played) << name;
    if (played != 0) {
        EXPECT_EQ(v.commandIndex, port.failure.commandIndex) << name;
        EXPECT_EQ(v.command, port.failure.command) << name;
        EXPECT_EQ(v.byteOffset, port.failure.byteOffset) << name;
    }
}

TEST(ValidationAgreement, WriterSamples) {
    for (const auto& sample : XsvfWriterSamples()) ExpectAgreement(sample.bytes, sample.name);
}

TEST(ValidationAgreement, EveryFuzzCorpusFile) {
    namespace fs = std::filesystem;
    fs::path dir = OVN_XSVF_CORPUS_DIR;
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    int files = 0;
    int played = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        XsvfBytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ExpectAgreement(bytes, entry.path().filename().string());
        ++files;
        if (Validate(bytes).worstCaseTckPulses <= kPlayBudgetPulses) ++played;
    }
    EXPECT_GE(files, 10);
    EXPECT_GE(played, 10);
}

}  // namespace
