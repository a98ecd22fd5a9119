// in_port / out_port: which path each family takes, what reaches it, and that
// the family is asked before every single access.
#include "card_fixture.h"

namespace morvante::test {
namespace {

struct PortCase {
    const char* name;
    bool family_9x;
    int port;
    int value;       // written by out_port
    Access expected_out;
    Access expected_in;  // in_port(port) against a bus that answers 0x5A
};

const PortCase port_cases[] = {
    // 9x: the CPU instruction, low 16 bits of the port, low byte of the value.
    {"9x card port", true, 0x280, 0xFF, {Path::cpu, Dir::out, 0x280, 0xFF}, {Path::cpu, Dir::in, 0x280, 0x5A}},
    {"9x port above 0xFFFF", true, 0x12345, 0x1A5, {Path::cpu, Dir::out, 0x2345, 0xA5}, {Path::cpu, Dir::in, 0x2345, 0x5A}},
    {"9x negative port", true, -1, -1, {Path::cpu, Dir::out, 0xFFFF, 0xFF}, {Path::cpu, Dir::in, 0xFFFF, 0x5A}},
    // NT: the driver gets the full 32-bit port number; still only the low byte.
    {"NT card port", false, 0x284, 0x00, {Path::driver, Dir::out, 0x284, 0x00}, {Path::driver, Dir::in, 0x284, 0x5A}},
    {"NT port above 0xFFFF", false, 0x12345, 0x1A5, {Path::driver, Dir::out, 0x12345, 0xA5}, {Path::driver, Dir::in, 0x12345, 0x5A}},
    {"NT negative port", false, -1, 0x7FFFFF00, {Path::driver, Dir::out, 0xFFFFFFFFu, 0x00}, {Path::driver, Dir::in, 0xFFFFFFFFu, 0x5A}},
};

class PortAccess : public CardTest, public ::testing::WithParamInterface<PortCase> {};

TEST_P(PortAccess, TakesTheFamilysPathWithTheRightPortAndByte) {
    const PortCase& c = GetParam();
    bus().set_family_9x(c.family_9x);
    bus().on_read = [](std::uint32_t) { return std::optional<std::uint8_t>(0x5A); };

    out_port(c.port, c.value);
    const unsigned char read = in_port(c.port);

    EXPECT_EQ(read, 0x5A);
    EXPECT_EQ(bus().log, (Log{c.expected_out, c.expected_in}));
    EXPECT_EQ(bus().family_queries, 2);
}

INSTANTIATE_TEST_SUITE_P(Table, PortAccess, ::testing::ValuesIn(port_cases),
                         row_name<::testing::TestParamInfo<PortCase>>);

TEST_F(CardTest, FamilyIsAskedBeforeEveryAccessAndNeverCached) {
    // Flip the family between calls: each access must follow the current one.
    for (int i = 0; i < 6; ++i) {
        bus().set_family_9x(i % 2 == 0);
        if (i % 3 == 0)
            out_port(0x300, i);
        else
            in_port(0x300);
    }
    ASSERT_EQ(bus().log.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(bus().log[i].path, i % 2 == 0 ? Path::cpu : Path::driver) << "access " << i;
    EXPECT_EQ(bus().family_queries, 6);
}

TEST_F(CardTest, ReadsTheFullByteRangeUnsigned) {
    bus().set_family_9x(false);
    bus().script(0x280, {0x00, 0x7F, 0x80, 0xFF});
    EXPECT_EQ(in_port(0x280), 0x00);
    EXPECT_EQ(in_port(0x280), 0x7F);
    EXPECT_EQ(in_port(0x280), 0x80);
    EXPECT_EQ(in_port(0x280), 0xFF);
}

}  // namespace
}  // namespace morvante::test
