// The Windows clock's arithmetic: floor(counts x 1000 / frequency) without a
// division, exact for every count a machine reaches in years, whatever the
// host did to the x87 control word. Runs natively and in the 32-bit x87 suite.
#include "platform/counter_ms.h"
#include "table_names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace morvante::platform {
namespace {

using test::row_name;

// floor(counts x 1000 / frequency) mod 2^32, by long division of the 96-bit
// product, one bit at a time: slow and plainly right.
std::uint32_t exact_ms(std::uint64_t counts, std::uint64_t frequency) {
    const std::uint64_t low = (counts & 0xFFFFFFFFu) * 1000u;
    const std::uint64_t high = (counts >> 32) * 1000u + (low >> 32);
    std::uint32_t words[3] = {static_cast<std::uint32_t>(high >> 32), static_cast<std::uint32_t>(high),
                              static_cast<std::uint32_t>(low)};
    std::uint64_t remainder = 0, quotient = 0;
    for (int bit = 95; bit >= 0; --bit) {
        const int carry = remainder >> 63;
        remainder = remainder << 1 | ((words[2 - bit / 32] >> (bit % 32)) & 1);
        quotient <<= 1;
        if (carry || remainder >= frequency) {
            remainder -= frequency;
            quotient |= 1;
        }
    }
    return static_cast<std::uint32_t>(quotient);
}

// The first count at which `ms` milliseconds have passed.
std::uint64_t first_count_of(std::uint64_t ms, std::uint64_t frequency) {
    std::uint64_t lo = 0, hi = std::uint64_t{1} << 62;
    while (lo < hi) {  // the least count whose exact value reaches ms (mod 2^32 is enough below 2^32 ms)
        const std::uint64_t mid = lo + (hi - lo) / 2;
        const std::uint64_t whole = (mid / frequency) * 1000 + (mid % frequency) * 1000 / frequency;
        if (whole >= ms) hi = mid; else lo = mid + 1;
    }
    return lo;
}

struct FrequencyCase {
    const char* name;
    std::uint64_t frequency;
};

const FrequencyCase frequency_cases[] = {
    {"slowest usable 1 kHz", 1000},
    {"PIT 1.193182 MHz, Windows 95", 1193182},
    {"ACPI PM timer 3.579545 MHz", 3579545},
    {"10 MHz, Windows 10", 10000000},
    {"HPET 14.31818 MHz", 14318180},
    {"just below 2^31", 2147483647},
    {"2^31, the wide check", 2147483648u},
    {"TSC 2.4 GHz", 2400000000u},
    {"TSC 5 GHz, above 2^32", 5000000001u},
};

class CounterMs : public ::testing::TestWithParam<FrequencyCase> {};

TEST_P(CounterMs, IsTheExactFloorAtEveryMillisecondEdgeAndAnywhereElse) {
    const std::uint64_t f = GetParam().frequency;
    CounterScale scale;
    ASSERT_TRUE(make_counter_scale(f, scale));
    std::mt19937_64 rng(f);
    int checked = 0;
    auto check = [&](std::uint64_t counts) {
        ASSERT_EQ(counter_ms(static_cast<std::int64_t>(counts), scale), exact_ms(counts, f)) << counts << " counts";
        ++checked;
    };
    // Either side of millisecond edges, small and large: 1 ms, 49.7 days (2^32 ms), years.
    for (std::uint64_t ms : {1ull, 2ull, 999ull, 1000ull, 86400000ull, 4294967295ull, 4294967296ull,
                             31557600000ull, 315576000000ull})
        for (std::uint64_t edge = first_count_of(ms, f), c = edge - 2; c <= edge + 2; ++c)
            check(c);
    // Anywhere, up to 2^62 counts.
    for (int i = 0; i < 3000; ++i)
        check(rng() >> (2 + rng() % 60));
    check(0);
    check((std::uint64_t{1} << 62) - 1);
    EXPECT_GT(checked, 3000);
}

INSTANTIATE_TEST_SUITE_P(Table, CounterMs, ::testing::ValuesIn(frequency_cases),
                         row_name<::testing::TestParamInfo<FrequencyCase>>);

TEST(CounterMsScale, RefusesCountersThatCannotServe) {
    CounterScale scale;
    EXPECT_FALSE(make_counter_scale(0, scale));
    EXPECT_FALSE(make_counter_scale(999, scale)) << "coarser than a millisecond";
    EXPECT_FALSE(make_counter_scale(std::uint64_t{1} << 53, scale));
    EXPECT_TRUE(make_counter_scale(1000, scale));
}

TEST(CounterMsScale, ACounterBehindItsOriginCountsAsZero) {
    CounterScale scale;
    ASSERT_TRUE(make_counter_scale(3579545, scale));
    EXPECT_EQ(counter_ms(-1, scale), 0u);
    EXPECT_EQ(counter_ms(INT64_MIN, scale), 0u);
}

#if defined(__i386__) || defined(__x86_64__)

std::uint16_t control_word() {
    std::uint16_t cw;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    return cw;
}

void set_control_word(std::uint16_t cw) { __asm__ __volatile__("fldcw %0" : : "m"(cw)); }

// Whatever precision and rounding the host set (24-bit precision and
// rounding up, as some graphics libraries leave it), the same result, and the
// host's control word back as it was.
TEST(CounterMsHost, SameResultUnderAnyHostControlWordWhichItRestores) {
    const std::uint16_t saved = control_word();
    CounterScale scale;
    ASSERT_TRUE(make_counter_scale(3579545, scale));
    const std::uint64_t counts[] = {3579545, 3579544, 1234567890123ull, first_count_of(4294967296ull, 3579545)};
    for (std::uint16_t precision : {0x0000, 0x0200, 0x0300})    // 24, 53, 64-bit mantissa
        for (std::uint16_t rounding : {0x0000, 0x0400, 0x0800, 0x0C00}) {  // nearest, down, up, to zero
            const std::uint16_t host = static_cast<std::uint16_t>((saved & ~0x0F00) | precision | rounding);
            set_control_word(host);
            CounterScale made;
            make_counter_scale(3579545, made);
            for (std::uint64_t c : counts) {
                const std::uint32_t ms = counter_ms(static_cast<std::int64_t>(c), made);
                EXPECT_EQ(control_word(), host);
                set_control_word(saved);
                EXPECT_EQ(ms, exact_ms(c, 3579545)) << std::hex << "control word 0x" << host << std::dec << ", " << c;
                set_control_word(host);
            }
            set_control_word(saved);
        }
}

#endif

}  // namespace
}  // namespace morvante::platform
