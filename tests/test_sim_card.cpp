// The simulated card on its own, on a clock the test moves by hand.
#include "card/conversion.h"
#include "sim_card.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace morvante::sim {
namespace {

std::int64_t now_us = 0;
std::int64_t test_clock() { return now_us; }

class SimCardTest : public ::testing::Test {
protected:
    void SetUp() override { now_us = 1000; }
    SimCard card{test_clock};

    int code_on_bus(std::uint32_t data_port) {
        return (card.read(data_port) << 4) | (card.read(data_port + 1) >> 4);
    }
};

TEST(SimCardCode, IsTheInverseOfTheLibrarysScaleForEveryCode) {
    for (int code = 0; code <= 4095; ++code)
        ASSERT_EQ(SimCard::code_for(card::code_to_volts(code)), code) << "code " << code;
}

TEST(SimCardCode, RoundsToNearestAndClamps) {
    const struct {
        double volts;
        int code;
    } table[] = {
        {0.0, 2048},  // exactly between 2047 and 2048: rounds up
        {-0.0012, 2047},
        {0.0012, 2048},
        {-5.12125, 0},
        {5.12125, 4095},
        {-12.0, 0},
        {12.0, 4095},
        {std::numeric_limits<double>::infinity(), 4095},
        {-std::numeric_limits<double>::infinity(), 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& row : table)
        EXPECT_EQ(SimCard::code_for(row.volts), row.code) << row.volts << " V";
}

TEST_F(SimCardTest, ConversionIsBusyForItsTimeThenGivesTheCode) {
    card.set_input(0, 2.5);
    card.set_conversion_time_us(40);
    card.write(0x280, 0xFF);
    EXPECT_EQ(card.read(0x284), 0x01);
    now_us += 39;
    EXPECT_EQ(card.read(0x284), 0x01);
    EXPECT_EQ(code_on_bus(0x280), 0) << "no result latched yet";
    now_us += 1;
    EXPECT_EQ(card.read(0x284), 0x00);
    EXPECT_EQ(code_on_bus(0x280), SimCard::code_for(2.5));
    EXPECT_EQ(card.read(0x281) & 0x0F, 0) << "low nibble of the low byte is unused";
}

TEST_F(SimCardTest, ChannelsConvertIndependently) {
    card.set_input(0, -1.0);
    card.set_input(1, 4.0);
    card.write(0x282, 0xFF);
    EXPECT_EQ(card.read(0x284), 0x02);
    card.write(0x280, 0xFF);
    EXPECT_EQ(card.read(0x284), 0x03);
    now_us += SimCard::default_conversion_us;
    EXPECT_EQ(card.read(0x284), 0x00);
    EXPECT_EQ(code_on_bus(0x280), SimCard::code_for(-1.0));
    EXPECT_EQ(code_on_bus(0x282), SimCard::code_for(4.0));
}

TEST_F(SimCardTest, OnlyTheStartByteOnADataPortStartsAConversion) {
    for (auto [port, value] : {std::pair<std::uint32_t, std::uint8_t>{0x280, 0x00},
                               {0x280, 0xFE}, {0x281, 0xFF}, {0x283, 0xFF}, {0x284, 0xFF},
                               {0x27F, 0xFF}, {0x10280, 0xFF}}) {
        card.write(port, value);
        EXPECT_EQ(card.read(0x284), 0x00) << std::hex << port << " <- " << int(value);
    }
}

TEST_F(SimCardTest, AConversionTimeOfAgesStaysBusyInsteadOfWrappingAround) {
    card.set_conversion_time_us(std::numeric_limits<std::int64_t>::max());
    card.write(0x280, 0xFF);
    now_us += 1000000000000000;  // 31 years
    EXPECT_EQ(card.read(0x284), 0x01);
}

TEST_F(SimCardTest, PortsOutsideTheCardFloat) {
    for (std::uint32_t port : {0x27Fu, 0x285u, 0x0u, 0x10280u})
        EXPECT_EQ(card.read(port), 0xFF) << std::hex << port;
}

TEST_F(SimCardTest, FaultsPlayAsTheirNamesSay) {
    card.set_input(0, 1.0);

    card.set_behaviour(Behaviour::absent);
    card.write(0x280, 0xFF);
    now_us += 1000000;
    for (std::uint32_t port = 0x280; port <= 0x284; ++port)
        EXPECT_EQ(card.read(port), 0xFF) << "absent, port " << std::hex << port;

    card.set_behaviour(Behaviour::never_finishes);
    card.write(0x280, 0xFF);
    now_us += 1000000;
    EXPECT_EQ(card.read(0x284), 0x01);

    card.reset();
    card.set_input(0, 1.0);
    card.set_behaviour(Behaviour::status_reads_zero);
    card.write(0x280, 0xFF);
    EXPECT_EQ(card.read(0x284), 0x00) << "reads idle while still converting";
    EXPECT_EQ(code_on_bus(0x280), 0) << "so the data is the previous result";
    now_us += SimCard::default_conversion_us;
    EXPECT_EQ(code_on_bus(0x280), SimCard::code_for(1.0));
}

}  // namespace
}  // namespace morvante::sim
