// Code to volts, bit for bit: every code against an integer-only model of
// IEEE double arithmetic, so the check holds on the x87 as well as on SSE.
#include "card/conversion.h"
#include "card_fixture.h"

namespace morvante::test {
namespace {

TEST(Scaling, KnownCodesGiveTheirVolts) {
    const struct {
        int code;
        float volts;
    } table[] = {
        {0, -5.121250629425049f},   {1, -5.118749618530273f},
        {2047, -0.0012506106868386269f}, {2048, 0.0012506106868386269f},
        {4094, 5.118749618530273f}, {4095, 5.121250629425049f},
    };
    for (const auto& row : table) {
        EXPECT_TRUE(same_bits(card::code_to_volts(row.code), row.volts)) << "code " << row.code;
        EXPECT_TRUE(same_bits(reference::volts_for_code(row.code), row.volts)) << "code " << row.code;
    }
}

TEST(Scaling, EveryCodeMatchesIeeeDoubleRoundedToSingle) {
    int mismatches = 0;
    for (int code = 0; code <= 4095; ++code) {
        const float expected = reference::volts_for_code(code);
        // Held as long double, a value returned in an x87 register is seen
        // before any store rounds it: the result must already be single.
        const long double returned = card::code_to_volts(code);
        if (returned != static_cast<long double>(expected) ||
            !same_bits(static_cast<float>(returned), expected)) {
            if (++mismatches <= 10)
                ADD_FAILURE() << "code " << code << ": "
                              << same_bits(static_cast<float>(returned), expected).message();
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Scaling, IsSymmetricAboutMidScale) {
    for (int code = 0; code <= 2047; ++code)
        EXPECT_EQ(reference::bits(card::code_to_volts(code)),
                  reference::bits(-card::code_to_volts(4095 - code)))
            << "code " << code;
}

TEST(Scaling, NoReadingIsExactInSinglePrecision) {
    EXPECT_EQ(reference::bits(no_reading), 0x501502F9u);
    EXPECT_EQ(static_cast<double>(no_reading), 1e10);
}

}  // namespace
}  // namespace morvante::test
