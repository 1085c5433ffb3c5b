// The per-card summary: position as listed, both versions, and advice that fits the failure.
#include "app/run/card_summary.h"

#include <gtest/gtest.h>

namespace {

tagCardResult Card(std::uint32_t bus, const char* before, std::optional<std::string> after,
                   std::optional<std::int32_t> result) {
    tagCardResult card;
    card.bus = bus;
    card.versionBefore = before;
    card.versionAfter = std::move(after);
    card.result = result;
    return card;
}

TEST(CardSummary, NamesThePositionBothVersionsAndTheOutcome) {
    tagCardResult ok = Card(3, "1.2.7", "1.4.2", 0);
    ok.function = 1;
    EXPECT_EQ(CardSummaryLine(ok),
              L"   Result for PCIe Bus: 0x0301   FPGA version: 1.2.7 -> 1.4.2   ok\n");

    tagCardResult silent = Card(4, "0.0.000", "0.0.000", 0);
    silent.verification = kNotVerified;
    EXPECT_NE(CardSummaryLine(silent).find(L"0.0.000 -> 0.0.000   ok, not verified"),
              std::wstring::npos)
        << CardSummaryLine(silent);

    EXPECT_NE(CardSummaryLine(Card(5, "1.3.0", std::nullopt, std::nullopt))
                  .find(L"1.3.0 -> unchanged   not programmed\n"),
              std::wstring::npos);
}

TEST(CardSummary, EachFailureSaysWhatItIsAndWhatToDoNext) {
    const struct {
        std::int32_t code;
        std::optional<std::string> after;
        const wchar_t* expected;
    } cases[] = {
        {2, "1.3.0",
         L"failed with error code 2, TDO mismatch: check that the image is for this "
         L"card, then run the update again\n"},
        {3, "1.3.0", L"error code 3, TDO mismatch: check that the image is for this card"},
        {7, std::nullopt,
         L"0x0400   FPGA version: 0.0.000 -> unchanged   failed with error code 7, "
         L"not programmed, its register window is not mapped"},
        {9, "255.255.255",
         L"-> 255.255.255   failed with error code 9, the FPGA reads as erased "
         L"after the play: run the update again before restarting"},
        {9, "0.0.000", L"error code 9, version unreadable after the play: run the update again"},
    };
    for (const auto& c : cases) {
        const std::wstring line =
            CardSummaryLine(Card(4, c.code == 7 ? "0.0.000" : "1.3.0", c.after, c.code));
        EXPECT_NE(line.find(c.expected), std::wstring::npos) << c.code << ": " << line.c_str();
        for (wchar_t ch : line) EXPECT_LT(static_cast<unsigned>(ch), 128u) << c.code;
        EXPECT_EQ(line.find(L'\n'), line.size() - 1) << c.code;
    }
}

}  // namespace
