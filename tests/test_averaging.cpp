// LitTension: refusal without a card, the single-precision running mean, and
// conversions that time out.
#include "card_fixture.h"

#include <climits>
#include <optional>
#include <vector>

namespace morvante::test {
namespace {

constexpr std::optional<int> timed_out;  // a conversion that never finishes

// A card that plays one scripted sample per conversion started on either
// channel: a code, or a busy bit that never clears.
class ScriptedCard {
public:
    explicit ScriptedCard(std::vector<std::optional<int>> samples) : samples_(std::move(samples)) {
        auto& bus = fake::platform();
        bus.on_write = [this](std::uint32_t port, std::uint8_t value) {
            if ((port == 0x280 || port == 0x282) && value == 0xFF)
                ++started_;
        };
        bus.on_read = [this](std::uint32_t port) -> std::optional<std::uint8_t> {
            const std::optional<int> sample =
                started_ >= 1 && started_ <= static_cast<int>(samples_.size()) ? samples_[started_ - 1]
                                                                               : timed_out;
            if (port == 0x284)
                return sample ? 0x00 : 0x03;
            if (!sample)
                return 0xFF;
            if (port == 0x280 || port == 0x282)
                return static_cast<std::uint8_t>(*sample >> 4);
            if (port == 0x281 || port == 0x283)
                return static_cast<std::uint8_t>((*sample & 0xF) << 4);
            return std::nullopt;
        };
    }
    int started() const { return started_; }

private:
    std::vector<std::optional<int>> samples_;
    int started_ = 0;
};

struct MeanCase {
    const char* name;
    std::vector<std::optional<int>> samples;  // one per conversion, count = size
    std::uint32_t expected_bits;
};

const MeanCase mean_cases[] = {
    // The running sum rounds to single after every addition, so seven equal
    // samples do not average back to the sample itself (-5.118749618530273).
    {"seven samples of code 1", {1, 1, 1, 1, 1, 1, 1}, 0xC0A3CCCBu /* -5.118749141693115 */},
    {"seven samples of code 2048", {2048, 2048, 2048, 2048, 2048, 2048, 2048}, 0x3AA3EB88u},
    {"three of ten time out: divided by 7",
     {1, timed_out, 1, 1, timed_out, 1, 1, 1, timed_out, 1}, 0xC0A3CCCBu},
    {"a single sample is itself", {3000}, 0x40187976u /* 2.382413387298584 */},
    {"one good sample among time-outs", {timed_out, 3000, timed_out}, 0x40187976u},
    {"codes across the range", {0, 4095, 1000, 3000, 2047, 2048, 17}, 0xBF426D25u},
    {"full scale", {4094, 4095, 4095}, 0x40A3DA74u /* 5.120416641235352 */},
};

class Mean : public CardTest, public ::testing::WithParamInterface<MeanCase> {};

TEST_P(Mean, IsTheSingleSumOfGoodSamplesOverTheirCount) {
    const MeanCase& c = GetParam();
    for (int channel : {0, 1}) {
        probe_to(true);
        ScriptedCard card(c.samples);
        const int count = static_cast<int>(c.samples.size());
        // Held as long double: an x87 result must come back already single.
        const long double mean = LitTension(channel, count);
        EXPECT_TRUE(same_bits(static_cast<float>(mean), reference::from_bits(c.expected_bits)))
            << "channel " << channel;
        EXPECT_EQ(mean, static_cast<long double>(reference::from_bits(c.expected_bits)));
        EXPECT_EQ(card.started(), count) << "every conversion is tried";
        EXPECT_EQ(OKCarte(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Mean, ::testing::ValuesIn(mean_cases),
                         row_name<::testing::TestParamInfo<MeanCase>>);

TEST_F(CardTest, EveryConversionTimingOutGivesNoReadingAndKeepsTheFlag) {
    probe_to(true);
    ScriptedCard card({timed_out, timed_out, timed_out});
    EXPECT_TRUE(same_bits(LitTension(0, 3), no_reading));
    EXPECT_EQ(card.started(), 3);
    EXPECT_EQ(bus().count(Dir::in, 0x284), 3 * 100) << "100 ms each at 1 ms per clock reading";
    EXPECT_EQ(bus().count(Dir::in, 0x280), 0);
    EXPECT_EQ(OKCarte(), 1);
}

TEST_F(CardTest, RefusesWithoutACardWhateverTheArguments) {
    probe_to(false);
    for (int channel : {0, 1, 2, -1})
        for (int count : {1, 10, 0, -5, INT_MAX}) {
            EXPECT_TRUE(same_bits(LitTension(channel, count), no_reading));
        }
    EXPECT_TRUE(bus().log.empty());
    EXPECT_EQ(bus().family_queries, 0);
    EXPECT_EQ(bus().clock_reads, 0);
}

TEST_F(CardTest, NoPositiveCountGivesNoReadingWithoutTouchingTheCard) {
    probe_to(true);
    for (int count : {0, -1, INT_MIN})
        EXPECT_TRUE(same_bits(LitTension(0, count), no_reading)) << "count " << count;
    EXPECT_TRUE(bus().log.empty());
}

TEST_F(CardTest, BadChannelWithACardGivesNoReadingWithoutTouchingTheBus) {
    probe_to(true);
    EXPECT_TRUE(same_bits(LitTension(2, 5), no_reading));
    EXPECT_TRUE(bus().log.empty());
}

}  // namespace
}  // namespace morvante::test
