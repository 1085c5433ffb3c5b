// The run's holdings: freeing them keeps the order the clean-up has always used.
#include "app/run/run_resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

// A card that notes when it is deleted and reads every slot's record then: a record destroyed
// before the last card object has freed its failure bytes, a use after free the sanitizer reports.
class CReleaseWitness : public CKSeries {
public:
    CReleaseWitness(int index, std::vector<int>& order, const std::vector<tagCardSlot>& slots)
        : index_(index), order_(order), slots_(slots) {}
    ~CReleaseWitness() override {
        order_.push_back(index_);
        for (const tagCardSlot& slot : slots_) {
            for (std::uint8_t byte : slot.record.failure.expected) seenBytes_ += byte;
        }
    }
    static inline std::uint32_t seenBytes_ = 0;

private:
    int index_;
    std::vector<int>& order_;
    const std::vector<tagCardSlot>& slots_;
};

TEST(RunResources, ReleaseDeletesTheCardsInIndexOrderBeforeAnyRecord) {
    tagRunResources run;
    run.MakeCardSlots(4);
    std::vector<int> order;
    for (int i = 0; i < 4; ++i) {
        run.cards[static_cast<std::size_t>(i)].record.failure.expected = {7};
        // A card that could not be created leaves its slot empty.
        if (i == 1) continue;
        run.cards[static_cast<std::size_t>(i)].card =
            std::make_unique<CReleaseWitness>(i, order, run.cards);
    }
    CReleaseWitness::seenBytes_ = 0;
    run.Release();
    EXPECT_EQ(order, (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(CReleaseWitness::seenBytes_, 3u * 4u * 7u);
    EXPECT_TRUE(run.cards.empty());
}

}  // namespace
