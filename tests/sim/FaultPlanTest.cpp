#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "sim/FaultPlan.h"

namespace vemkard {
namespace {

// Draws a fixed mix of every fault and records what came out.
std::vector<int> Draw(FaultPlan& plan) {
    std::vector<int> seen;
    for (int i = 0; i < 200; ++i) {
        seen.push_back(plan.LoseReply());
        seen.push_back(plan.DuplicateReply());
        seen.push_back(plan.ReplyDelay());
        std::vector<std::uint8_t> frame(12, 0x11);
        seen.push_back(plan.Damage(frame));
        for (auto byte : frame) seen.push_back(byte);
        for (auto byte : plan.Noise()) seen.push_back(byte);
        for (auto piece : plan.Pieces(12)) seen.push_back(static_cast<int>(piece));
    }
    return seen;
}

FaultRates Everything(double rate) {
    FaultRates rates;
    rates.lose = rates.damage = rates.noise = rates.split = rates.duplicate = rates.delay = rate;
    rates.delayMs = 7;
    return rates;
}

TEST(FaultPlan, TheSameSeedGivesTheSameFaults) {
    FaultPlan first(Everything(0.3), 42);
    FaultPlan again(Everything(0.3), 42);
    FaultPlan other(Everything(0.3), 43);
    const auto drawn = Draw(first);
    EXPECT_EQ(drawn, Draw(again));
    EXPECT_NE(drawn, Draw(other));
}

TEST(FaultPlan, RateZeroNeverAndRateOneAlways) {
    FaultPlan never(Everything(0.0), 5);
    FaultPlan always(Everything(1.0), 5);
    for (int i = 0; i < 100; ++i) {
        EXPECT_FALSE(never.LoseReply());
        EXPECT_FALSE(never.DuplicateReply());
        EXPECT_EQ(never.ReplyDelay(), 0);
        EXPECT_TRUE(never.Noise().empty());
        EXPECT_EQ(never.Pieces(9), std::vector<std::size_t>{9});
        EXPECT_TRUE(always.LoseReply());
        EXPECT_TRUE(always.DuplicateReply());
        EXPECT_EQ(always.ReplyDelay(), 7);
        const auto noise = always.Noise();
        EXPECT_GE(noise.size(), 1u);
        EXPECT_LE(noise.size(), FaultPlan::kMaxNoiseBytes);
    }
}

TEST(FaultPlan, ModerateRateHitsRoughlyThatShare) {
    FaultRates rates;
    rates.lose = 0.2;
    FaultPlan plan(rates, 9);
    int lost = 0;
    for (int i = 0; i < 5000; ++i) lost += plan.LoseReply();
    EXPECT_GT(lost, 800);
    EXPECT_LT(lost, 1200);
}

TEST(FaultPlan, DamageChangesExactlyOneByte) {
    FaultRates rates;
    rates.damage = 1.0;
    FaultPlan plan(rates, 3);
    for (int i = 0; i < 300; ++i) {
        const std::vector<std::uint8_t> original(20, static_cast<std::uint8_t>(i));
        auto frame = original;
        ASSERT_TRUE(plan.Damage(frame));
        int changed = 0;
        for (std::size_t j = 0; j < frame.size(); ++j) changed += frame[j] != original[j];
        EXPECT_EQ(changed, 1);
    }
}

TEST(FaultPlan, LengthDamageFlipsOneBitThatMakesThePollLonger) {
    FaultRates rates;
    rates.damageLength = 1.0;
    FaultPlan plan(rates, 4);
    for (int i = 0; i < 100; ++i) {
        const std::vector<std::uint8_t> poll{0x5C, 0x59, 0x53, 0x57, 0x01, 0x00, 0x9F};
        auto frame = poll;
        ASSERT_TRUE(plan.DamageLength(frame));
        const int flipped = frame[4] ^ poll[4];
        EXPECT_EQ(flipped & (flipped - 1), 0) << "one bit";
        EXPECT_GT(frame[4], 1);
        EXPECT_TRUE(std::equal(poll.begin() + 5, poll.end(), frame.begin() + 5));
    }
    EXPECT_EQ(plan.Injected(), 100u);
}

TEST(FaultPlan, SplitPiecesAreSmallAndAddUpToTheFrame) {
    FaultRates rates;
    rates.split = 1.0;
    FaultPlan plan(rates, 11);
    for (std::size_t length : {1u, 7u, 42u, 261u}) {
        const auto pieces = plan.Pieces(length);
        EXPECT_EQ(std::accumulate(pieces.begin(), pieces.end(), std::size_t{0}), length);
        for (auto piece : pieces) {
            EXPECT_GE(piece, 1u);
            EXPECT_LE(piece, FaultPlan::kMaxPiece);
        }
        if (length > FaultPlan::kMaxPiece) {
            EXPECT_GT(pieces.size(), 1u);
        }
    }
    EXPECT_TRUE(plan.Pieces(0).empty());
}

TEST(FaultPlan, SilenceAfterNReplies) {
    FaultRates rates;
    EXPECT_FALSE(FaultPlan(rates).Silent(1000000));
    rates.silentAfter = 3;
    FaultPlan plan(rates);
    EXPECT_FALSE(plan.Silent(2));
    EXPECT_TRUE(plan.Silent(3));
    rates.silentAfter = 0;
    EXPECT_TRUE(FaultPlan(rates).Silent(0));
}

}  // namespace
}  // namespace vemkard
