// readad: the conversion protocol on the port bus, the busy masks, the
// time-out, and channels that do not exist.
#include "card_fixture.h"

#include <climits>

namespace morvante::test {
namespace {

// ---- Data bytes to volts, with the exact access sequence ----------------------

struct BytesCase {
    const char* name;
    std::uint8_t hi, lo;
    float volts;
};

const BytesCase bytes_cases[] = {
    {"full scale", 0xFF, 0xF0, 5.121250629425049f},
    {"full scale, low nibble ignored", 0xFF, 0xFF, 5.121250629425049f},
    {"one below full scale", 0xFF, 0xE0, 5.118749618530273f},
    {"zero scale", 0x00, 0x00, -5.121250629425049f},
    {"zero scale, low nibble ignored", 0x00, 0x0F, -5.121250629425049f},
    {"code 1", 0x00, 0x10, -5.118749618530273f},
    {"just below mid scale", 0x7F, 0xF0, -0.0012506106868386269f},
    {"just above mid scale", 0x80, 0x00, 0.0012506106868386269f},
};

struct ChannelFamily {
    int channel;
    bool family_9x;
};

using BytesParam = std::tuple<BytesCase, ChannelFamily>;

class ConversionBytes : public CardTest, public ::testing::WithParamInterface<BytesParam> {};

std::string bytes_name(const ::testing::TestParamInfo<BytesParam>& info) {
    const BytesCase& c = std::get<0>(info.param);
    const ChannelFamily& where = std::get<1>(info.param);
    return test_name(std::string(c.name) + "_ch" + std::to_string(where.channel) +
                     (where.family_9x ? "_9x" : "_NT"));
}

TEST_P(ConversionBytes, ScalesTheCodeAndReadsHighByteThenLow) {
    const auto& [c, where] = GetParam();
    const Path path = where.family_9x ? Path::cpu : Path::driver;
    const std::uint32_t data = where.channel == 0 ? 0x280 : 0x282;
    bus().set_family_9x(where.family_9x);
    bus().script(0x284, {static_cast<std::uint8_t>(where.channel == 0 ? 0x01 : 0x02), 0x00});
    bus().script(data, {c.hi});
    bus().script(data + 1, {c.lo});

    EXPECT_TRUE(same_bits(readad(where.channel), c.volts));
    EXPECT_EQ(bus().log, conversion_log(path, where.channel, 1, 0x00, c.hi, c.lo));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConversionBytes,
    ::testing::Combine(::testing::ValuesIn(bytes_cases),
                       ::testing::Values(ChannelFamily{0, false}, ChannelFamily{1, false},
                                         ChannelFamily{0, true}, ChannelFamily{1, true})),
    bytes_name);

// ---- Busy masks: each channel watches its own bit only ------------------------

struct MaskCase {
    const char* name;
    int channel;
    std::initializer_list<std::uint8_t> status;
    int status_reads;  // until the channel's bit is seen clear
};

const MaskCase mask_cases[] = {
    {"ch0 idle at the first read", 0, {0x00}, 1},
    {"ch0 ignores channel 1 busy", 0, {0x02}, 1},
    {"ch0 ignores the other bits", 0, {0xFE}, 1},
    {"ch0 waits for bit 0", 0, {0x01, 0x03, 0xFF, 0xFE}, 4},
    {"ch1 ignores channel 0 busy", 1, {0x01}, 1},
    {"ch1 ignores the other bits", 1, {0xFD}, 1},
    {"ch1 waits for bit 1", 1, {0x02, 0x03, 0xFF, 0xFD}, 4},
};

class BusyMask : public CardTest, public ::testing::WithParamInterface<MaskCase> {};

TEST_P(BusyMask, PollsUntilTheChannelsBitClears) {
    const MaskCase& c = GetParam();
    bus().reads[0x284].assign(c.status.begin(), c.status.end());
    bus().script(0x280, {0x80});
    bus().script(0x282, {0x80});
    bus().script(0x281, {0x00});
    bus().script(0x283, {0x00});

    EXPECT_TRUE(same_bits(readad(c.channel), 0.0012506106868386269f));
    EXPECT_EQ(bus().count(Dir::in, 0x284), c.status_reads);
    const std::uint32_t data = c.channel == 0 ? 0x280 : 0x282;
    EXPECT_EQ(bus().count(Dir::in, data), 1);
    EXPECT_EQ(bus().count(Dir::in, data + 1), 1);
}

INSTANTIATE_TEST_SUITE_P(Table, BusyMask, ::testing::ValuesIn(mask_cases),
                         row_name<::testing::TestParamInfo<MaskCase>>);

// ---- The 0.1 s time-out on a scripted clock -----------------------------------

struct TimeoutCase {
    const char* name;
    std::initializer_list<std::int32_t> clock;  // first reading is taken right after the start
    std::int32_t then_step;                      // ms per reading once the script runs out
    std::initializer_list<std::uint8_t> status;
    bool finishes;
    int status_reads;
};

constexpr std::int32_t near_2_31 = 0x7FFFFFF0;  // count wraps to negative mid-wait
constexpr std::int32_t near_2_32 = -16;         // 0xFFFFFFF0: count wraps through zero

const TimeoutCase timeout_cases[] = {
    {"clears at 99 ms", {0, 0, 50, 99}, 1, {0x01, 0x01, 0x00}, true, 3},
    {"clears on the pass that reaches 100 ms", {0, 0, 50, 100}, 1, {0x01, 0x01, 0x00}, false, 3},
    {"idle but first pass already at 100 ms", {0, 100}, 1, {0x00}, false, 1},
    {"never clears, 1 ms per reading", {0}, 1, {0x01}, false, 100},
    {"never clears, clock wraps past 2^31", {near_2_31}, 7, {0x01}, false, 15},
    {"never clears, clock wraps past 2^32", {near_2_32}, 7, {0x01}, false, 15},
    {"clears after the clock wrapped past 2^31", {near_2_31, near_2_31 + 10, INT32_MIN + 40}, 1, {0x01, 0x00}, true, 2},
    {"a coarse 16 ms clock", {0}, 16, {0x01}, false, 7},
};

class Timeout : public CardTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(Timeout, GivesUpAfterExactly100msAndThenReadsNoData) {
    const TimeoutCase& c = GetParam();
    bus().clock_script.assign(c.clock.begin(), c.clock.end());
    bus().clock_step = c.then_step;
    bus().reads[0x284].assign(c.status.begin(), c.status.end());
    bus().script(0x280, {0x80});
    bus().script(0x281, {0x00});

    const float volts = readad(0);

    if (c.finishes) {
        EXPECT_TRUE(same_bits(volts, 0.0012506106868386269f));
        EXPECT_EQ(bus().count(Dir::in, 0x280), 1);
    } else {
        EXPECT_TRUE(same_bits(volts, no_reading));
        EXPECT_EQ(bus().count(Dir::in, 0x280), 0);
        EXPECT_EQ(bus().count(Dir::in, 0x281), 0);
    }
    EXPECT_EQ(bus().count(Dir::in, 0x284), c.status_reads);
    EXPECT_EQ(bus().clock_reads, c.status_reads + 1) << "one reading at the start, one per pass";
}

INSTANTIATE_TEST_SUITE_P(Table, Timeout, ::testing::ValuesIn(timeout_cases),
                         row_name<::testing::TestParamInfo<TimeoutCase>>);

// The poll compares whole milliseconds with 100; the defined test is
// elapsed ms x 0.001 < 0.1 in double precision. They agree on every count.
TEST(TimeoutArithmetic, WholeMillisecondsBelow100AreExactlyThoseBelowATenthOfASecond) {
    auto defined = [](std::int32_t ms) {
        volatile double seconds = static_cast<double>(ms) * 0.001;  // rounded to double, as defined
        return seconds < 0.1;
    };
    for (std::int32_t ms = -(1 << 20); ms <= (1 << 20); ++ms)
        ASSERT_EQ(defined(ms), ms < 100) << ms << " ms";
    for (std::int32_t ms : {INT32_MIN, INT32_MIN + 1, INT32_MAX - 1, INT32_MAX})
        EXPECT_EQ(defined(ms), ms < 100) << ms << " ms";
}

// ---- Channels that do not exist -------------------------------------------------

TEST_F(CardTest, ChannelOtherThan0Or1GivesNoReadingAndTouchesNothing) {
    for (int channel : {-1, 2, 3, 0x100, INT_MAX, INT_MIN}) {
        bus().reset();
        EXPECT_TRUE(same_bits(readad(channel), no_reading)) << "channel " << channel;
        EXPECT_TRUE(bus().log.empty()) << "channel " << channel;
        EXPECT_EQ(bus().family_queries, 0) << "channel " << channel;
        EXPECT_EQ(bus().clock_reads, 0) << "channel " << channel;
    }
}

// ---- Independence from the probe, and a status port that lies ---------------

TEST_F(CardTest, ReadsWhateverTheLastProbeFound) {
    for (bool present : {false, true}) {
        probe_to(present);
        bus().script(0x284, {0x00});
        bus().script(0x280, {0xFF});
        bus().script(0x281, {0xF0});
        EXPECT_TRUE(same_bits(readad(0), 5.121250629425049f)) << "after a probe that found " << present;
    }
}

TEST_F(CardTest, StatusThatReadsZeroIsTakenAtItsWordAndFloatingDataIsScaled) {
    // Nothing tells a missing status bit from a fast card: the floating data
    // ports (0xFF) come back as full scale.
    bus().script(0x284, {0x00});
    EXPECT_TRUE(same_bits(readad(1), 5.121250629425049f));
    EXPECT_EQ(bus().log, conversion_log(Path::driver, 1, 0, 0x00, 0xFF, 0xFF));
}

}  // namespace
}  // namespace morvante::test
