// Init / OKCarte: the probe on each family, what it reads, and the flag.
#include "card_fixture.h"

namespace morvante::test {
namespace {

struct ProbeCase {
    const char* name;
    bool family_9x;
    std::initializer_list<std::uint8_t> status;
    std::uint8_t hi, lo;  // data bytes on the bus
    int expected;
    Log log;
};

const ProbeCase probe_cases[] = {
    {"NT card answers: start and wait only", false, {0x01, 0x00}, 0x80, 0x00, 1,
     {fake::out(Path::driver, 0x280, 0xFF), fake::in(Path::driver, 0x284, 0x01),
      fake::in(Path::driver, 0x284, 0x00)}},
    {"9x card answers: a full reading", true, {0x01, 0x00}, 0x80, 0x00, 1,
     conversion_log(Path::cpu, 0, 1, 0x00, 0x80, 0x00)},
    {"9x card answers with floating data", true, {0x00}, 0xFF, 0xFF, 1,
     conversion_log(Path::cpu, 0, 0, 0x00, 0xFF, 0xFF)},
    {"NT channel 1 busy does not matter", false, {0x02}, 0x80, 0x00, 1,
     {fake::out(Path::driver, 0x280, 0xFF), fake::in(Path::driver, 0x284, 0x02)}},
};

class Probe : public CardTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(Probe, FindsTheCardWithTheFamilysAccesses) {
    const ProbeCase& c = GetParam();
    probe_to(false);
    bus().set_family_9x(c.family_9x);
    bus().reads[0x284].assign(c.status.begin(), c.status.end());
    bus().script(0x280, {c.hi});
    bus().script(0x281, {c.lo});

    EXPECT_EQ(Init(), c.expected);
    EXPECT_EQ(OKCarte(), c.expected);
    EXPECT_EQ(bus().log, c.log);
}

INSTANTIATE_TEST_SUITE_P(Table, Probe, ::testing::ValuesIn(probe_cases),
                         row_name<::testing::TestParamInfo<ProbeCase>>);

class SilentCard : public CardTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SilentCard, IsNotFoundAfter100msAndClearsAnEarlierFind) {
    const bool family_9x = GetParam();
    probe_to(true);
    ASSERT_EQ(OKCarte(), 1);

    bus().set_family_9x(family_9x);  // nothing scripted: the bus floats at 0xFF
    EXPECT_EQ(Init(), 0);
    EXPECT_EQ(OKCarte(), 0);
    EXPECT_EQ(bus().count(Dir::in, 0x284), 100) << "1 ms per clock reading";
    EXPECT_EQ(bus().count(Dir::in, 0x280), 0);
    EXPECT_EQ(bus().count(Dir::in, 0x281), 0);
}

INSTANTIATE_TEST_SUITE_P(Families, SilentCard, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "9x" : "NT"; });

TEST_F(CardTest, ProbeAsksTheFamilyOnceItselfAndOnceForEachAccess) {
    probe_to(false);
    bus().script(0x284, {0x01, 0x01, 0x00});
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(bus().log.size(), 4u);
    EXPECT_EQ(bus().family_queries, 1 + 4);
}

TEST_F(CardTest, EveryInitOverwritesTheFlag) {
    probe_to(false);
    EXPECT_EQ(OKCarte(), 0);
    probe_to(true);
    EXPECT_EQ(OKCarte(), 1);
    probe_to(true);
    EXPECT_EQ(OKCarte(), 1);
    probe_to(false);
    EXPECT_EQ(OKCarte(), 0);
}

TEST_F(CardTest, OKCarteTouchesNothing) {
    probe_to(true);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(OKCarte(), 1);
    EXPECT_TRUE(bus().log.empty());
    EXPECT_EQ(bus().family_queries, 0);
    EXPECT_EQ(bus().clock_reads, 0);
}

TEST_F(CardTest, LaterTimeoutsInReadadDoNotClearTheFlag) {
    probe_to(true);
    EXPECT_TRUE(same_bits(readad(0), no_reading));  // bus floats: busy for ever
    EXPECT_EQ(OKCarte(), 1);
}

}  // namespace
}  // namespace morvante::test
