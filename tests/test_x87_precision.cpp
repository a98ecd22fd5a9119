// The x87 precision-control field is the host's: Linux starts processes at
// 64-bit mantissas, the Windows C runtimes at 53. The results must be the same
// bits under both.
#include "card/conversion.h"
#include "card_fixture.h"

#include <cstdint>

namespace morvante::test {
namespace {

#if defined(__i386__) && !defined(__SSE2_MATH__)

std::uint16_t control_word() {
    std::uint16_t cw;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    return cw;
}

void set_control_word(std::uint16_t cw) {
    __asm__ __volatile__("fldcw %0" : : "m"(cw));
}

constexpr std::uint16_t precision_field = 0x0300;
constexpr std::uint16_t precision_53 = 0x0200;
constexpr std::uint16_t precision_64 = 0x0300;

class X87Precision : public CardTest, public ::testing::WithParamInterface<std::uint16_t> {
protected:
    void SetUp() override {
        CardTest::SetUp();
        saved_ = control_word();
        set_control_word(static_cast<std::uint16_t>((saved_ & ~precision_field) | GetParam()));
    }
    void TearDown() override { set_control_word(saved_); }

private:
    std::uint16_t saved_ = 0;
};

TEST_P(X87Precision, ScalingAndAveragingGiveTheSameBits) {
    int mismatches = 0;
    for (int code = 0; code <= 4095; ++code)
        mismatches += !same_bits(card::code_to_volts(code), reference::volts_for_code(code));
    EXPECT_EQ(mismatches, 0);

    probe_to(true);
    bus().script(0x284, {0x00});
    bus().script(0x280, {0x00});
    bus().script(0x281, {0x10});  // code 1, seven times
    EXPECT_EQ(reference::bits(LitTension(0, 7)), 0xC0A3CCCBu);

    bus().reset();
    bus().clock_script = {0, 0, 50, 100};  // busy until the pass at 100 ms
    bus().script(0x284, {0x01, 0x01, 0x00});
    EXPECT_TRUE(same_bits(readad(0), no_reading));
}

INSTANTIATE_TEST_SUITE_P(Modes, X87Precision, ::testing::Values(precision_53, precision_64),
                         [](const auto& info) {
                             return info.param == precision_53 ? "double_53bit" : "extended_64bit";
                         });

#else

TEST(X87Precision, NotAnX87Build) {
    GTEST_SKIP() << "floating point runs on SSE here";
}

#endif

}  // namespace
}  // namespace morvante::test
