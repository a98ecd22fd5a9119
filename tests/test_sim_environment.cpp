// The simulated card's bench from the environment: the grammar of each
// variable, what a bad value says, and the signals the card then converts.
#include "environment.h"
#include "sim_card.h"
#include "table_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

namespace morvante::sim {
namespace {

using test::row_name;
using Shape = Signal::Shape;

// ---- MORVANTE_SIM_CH0 / CH1 ---------------------------------------------------

struct SignalCase {
    const char* name;
    const char* text;
    bool good;
    Shape shape;
    double amplitude, hz, offset, sigma;
    const char* why;  // in the reason, for a bad value
};

const SignalCase signal_cases[] = {
    {"constant", "1.25", true, Shape::constant, 0, 0, 1.25, 0, ""},
    {"negative constant", "-3.3", true, Shape::constant, 0, 0, -3.3, 0, ""},
    {"constant in exponent form", "2e-3", true, Shape::constant, 0, 0, 0.002, 0, ""},
    {"constant beyond full scale", "12", true, Shape::constant, 0, 0, 12, 0, ""},
    {"sine", "sine:2:50", true, Shape::sine, 2, 50, 0, 0, ""},
    {"square with offset", "square:1:0.5:-1", true, Shape::square, 1, 0.5, -1, 0, ""},
    {"triangle", "triangle:4.5:1000", true, Shape::triangle, 4.5, 1000, 0, 0, ""},
    {"constant with noise", "1.25+noise:0.01", true, Shape::constant, 0, 0, 1.25, 0.01, ""},
    {"sine with offset and noise", "sine:1:10:0.5+noise:0.2", true, Shape::sine, 1, 10, 0.5, 0.2, ""},
    {"bogus", "bogus", false, Shape::constant, 0, 0, 0, 0, "not a signal"},
    {"empty", "", false, Shape::constant, 0, 0, 0, 0, "not a signal"},
    {"constant with unit", "1.25V", false, Shape::constant, 0, 0, 0, 0, "not a signal"},
    {"leading space", " 1.25", false, Shape::constant, 0, 0, 0, 0, "not a signal"},
    {"not finite", "inf", false, Shape::constant, 0, 0, 0, 0, "not a signal"},
    {"NaN", "nan", false, Shape::constant, 0, 0, 0, 0, "not a signal"},
    {"sine without frequency", "sine:2", false, Shape::sine, 0, 0, 0, 0, "AMPLITUDE:HZ"},
    {"sine with too many fields", "sine:2:50:0:1", false, Shape::sine, 0, 0, 0, 0, "AMPLITUDE:HZ"},
    {"capitalised shape", "Sine:2:50", false, Shape::sine, 0, 0, 0, 0, "not a signal"},
    {"negative amplitude", "sine:-2:50", false, Shape::sine, 0, 0, 0, 0, "AMPLITUDE"},
    {"zero frequency", "square:1:0", false, Shape::square, 0, 0, 0, 0, "HZ"},
    {"frequency not a number", "square:1:fast", false, Shape::square, 0, 0, 0, 0, "HZ"},
    {"offset not a number", "triangle:1:5:up", false, Shape::triangle, 0, 0, 0, 0, "OFFSET"},
    {"negative noise", "1+noise:-0.1", false, Shape::constant, 0, 0, 0, 0, "SIGMA"},
    {"noise without sigma", "1+noise:", false, Shape::constant, 0, 0, 0, 0, "SIGMA"},
    {"noise alone", "+noise:0.1", false, Shape::constant, 0, 0, 0, 0, "not a signal"},
    {"replay of a missing file", "replay:/nonexistent/rec.csv", false, Shape::replay, 0, 0, 0, 0, "cannot open"},
};

class SignalGrammar : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalGrammar, ParsesGoodValuesAndSaysWhatIsWrongWithBadOnes) {
    const SignalCase& c = GetParam();
    std::string why;
    const std::optional<Signal> s = parse_signal(c.text, 0, why);
    ASSERT_EQ(s.has_value(), c.good) << why;
    if (!c.good) {
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        return;
    }
    EXPECT_EQ(s->shape, c.shape);
    EXPECT_DOUBLE_EQ(s->amplitude, c.amplitude);
    EXPECT_DOUBLE_EQ(s->hz, c.hz);
    EXPECT_DOUBLE_EQ(s->offset, c.offset);
    EXPECT_DOUBLE_EQ(s->noise_sigma, c.sigma);
}

INSTANTIATE_TEST_SUITE_P(Table, SignalGrammar, ::testing::ValuesIn(signal_cases), row_name<::testing::TestParamInfo<SignalCase>>);

// ---- MORVANTE_SIM_CARD and MORVANTE_SIM_CONVERSION_US ----------------------------

struct CardCase {
    const char* name;
    const char* text;
    bool good;
    Behaviour behaviour;
    std::int64_t dies_after;
};

const CardCase card_cases[] = {
    {"working", "working", true, Behaviour::working, SimCard::never},
    {"absent", "absent", true, Behaviour::absent, SimCard::never},
    {"stuck", "stuck", true, Behaviour::never_finishes, SimCard::never},
    {"status zero", "status-zero", true, Behaviour::status_reads_zero, SimCard::never},
    {"dies after 25", "dies-after:25", true, Behaviour::working, 25},
    {"dies at once", "dies-after:0", true, Behaviour::working, 0},
    {"dies after nothing", "dies-after:", false, Behaviour::working, 0},
    {"dies after a negative count", "dies-after:-1", false, Behaviour::working, 0},
    {"dies after a fraction", "dies-after:2.5", false, Behaviour::working, 0},
    {"unknown", "broken", false, Behaviour::working, 0},
    {"capitalised", "Absent", false, Behaviour::working, 0},
};

class CardGrammar : public ::testing::TestWithParam<CardCase> {};

TEST_P(CardGrammar, ParsesTheBehaviours) {
    const CardCase& c = GetParam();
    std::string why;
    const auto setting = parse_card(c.text, why);
    ASSERT_EQ(setting.has_value(), c.good) << why;
    if (c.good) {
        EXPECT_EQ(setting->behaviour, c.behaviour);
        EXPECT_EQ(setting->dies_after, c.dies_after);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CardGrammar, ::testing::ValuesIn(card_cases), row_name<::testing::TestParamInfo<CardCase>>);

TEST(ConversionTimeGrammar, TakesWholeMicrosecondsUpToAMinute) {
    const std::map<std::string, std::optional<std::int64_t>> table = {
        {"0", 0}, {"25", 25}, {"60000000", 60000000}, {"60000001", std::nullopt}, {"-1", std::nullopt},
        {"2.5", std::nullopt}, {"", std::nullopt}, {"25us", std::nullopt}, {"99999999999999999999", std::nullopt},
    };
    for (const auto& [text, expected] : table) {
        std::string why;
        EXPECT_EQ(parse_conversion_us(text, why), expected) << "'" << text << "'";
    }
}

// ---- The environment as a whole -------------------------------------------------

std::map<std::string, std::string> environment;
const char* fake_getenv(const char* name) {
    const auto it = environment.find(name);
    return it == environment.end() ? nullptr : it->second.c_str();
}

std::int64_t now_us = 0;
std::int64_t test_clock() { return now_us; }

// One conversion on `channel`, read back in volts; NaN if it did not finish within a second.
double convert(SimCard& card, int channel) {
    const std::uint32_t port = channel == 0 ? 0x280 : 0x282;
    card.write(port, 0xFF);
    for (int i = 0; i < 1000 && (card.read(0x284) & (1 << channel)); ++i)
        now_us += 1000;
    if (card.read(0x284) & (1 << channel))
        return NAN;
    const int code = (card.read(port) << 4) | (card.read(port + 1) >> 4);
    return (code - 2047.5) * (5.12 / 2047);
}

class Environment : public ::testing::Test {
protected:
    void SetUp() override {
        environment.clear();
        now_us = 1000;
        card.reset();
        complaints = std::tmpfile();
    }
    void TearDown() override { std::fclose(complaints); }
    std::string complained() {
        std::string text;
        std::rewind(complaints);
        for (int ch; (ch = std::fgetc(complaints)) != EOF;)
            text += static_cast<char>(ch);
        return text;
    }
    SimCard card{test_clock};
    std::FILE* complaints = nullptr;
};

TEST_F(Environment, NothingSetIsTodaysBench) {
    apply_environment(card, fake_getenv, complaints);
    EXPECT_NEAR(convert(card, 0), 1.25, 0.00125);
    EXPECT_NEAR(convert(card, 1), -3.30, 0.00125);
    EXPECT_EQ(card.behaviour(), Behaviour::working);
    EXPECT_EQ(complained(), "");
}

TEST_F(Environment, ABadValueGetsOneLineNamingTheVariableAndKeepsTheDefault) {
    environment = {{"MORVANTE_SIM_CH0", "bogus"}, {"MORVANTE_SIM_CARD", "on fire"},
                   {"MORVANTE_SIM_CONVERSION_US", "soon"}, {"MORVANTE_SIM_CH1", "-1.5"}};
    apply_environment(card, fake_getenv, complaints);
    const std::string text = complained();
    EXPECT_NE(text.find("MORVANTE_SIM_CH0='bogus'"), std::string::npos) << text;
    EXPECT_NE(text.find("sine|square|triangle:AMPLITUDE:HZ[:OFFSET]"), std::string::npos) << text;
    EXPECT_NE(text.find("MORVANTE_SIM_CARD='on fire'"), std::string::npos) << text;
    EXPECT_NE(text.find("dies-after:N"), std::string::npos) << text;
    EXPECT_NE(text.find("MORVANTE_SIM_CONVERSION_US='soon'"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << "one line per bad variable:\n" << text;
    EXPECT_NEAR(convert(card, 0), 1.25, 0.00125) << "default kept";
    EXPECT_NEAR(convert(card, 1), -1.5, 0.00125) << "the good variable still counts";
}

TEST_F(Environment, ACardThatDiesAnswersNConversionsThenFloats) {
    environment = {{"MORVANTE_SIM_CARD", "dies-after:3"}};
    apply_environment(card, fake_getenv, complaints);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(convert(card, i % 2), i % 2 ? -3.3 : 1.25, 0.00125) << "conversion " << i + 1;
    EXPECT_TRUE(std::isnan(convert(card, 0))) << "the fourth conversion never finishes";
    for (std::uint32_t port = 0x280; port <= 0x284; ++port)
        EXPECT_EQ(card.read(port), 0xFF) << "a dead card leaves the bus floating";
}

TEST_F(Environment, ConversionTimeIsHowLongTheBusyBitStays) {
    environment = {{"MORVANTE_SIM_CONVERSION_US", "5000"}};
    apply_environment(card, fake_getenv, complaints);
    card.write(0x280, 0xFF);
    now_us += 4999;
    EXPECT_EQ(card.read(0x284), 0x01);
    now_us += 1;
    EXPECT_EQ(card.read(0x284), 0x00);
}

// ---- Signals in time -----------------------------------------------------------

struct WaveCase {
    const char* name;
    const char* text;
    double seconds;
    double volts;
};

const WaveCase wave_cases[] = {
    {"sine starts at its offset", "sine:2:50:0.5", 0.0, 0.5},
    {"sine peaks a quarter period in", "sine:2:50", 0.005, 2.0},
    {"sine troughs three quarters in", "sine:2:50", 0.015, -2.0},
    {"sine repeats each period", "sine:2:50", 1.005, 2.0},
    {"square high in the first half", "square:1:10:-1", 0.01, 0.0},
    {"square low in the second half", "square:1:10:-1", 0.06, -2.0},
    {"triangle rises from the offset", "triangle:4:1", 0.125, 2.0},
    {"triangle peaks a quarter in", "triangle:4:1", 0.25, 4.0},
    {"triangle troughs three quarters in", "triangle:4:1", 0.75, -4.0},
    {"triangle crosses at half", "triangle:4:1", 0.5, 0.0},
};

class Waveform : public ::testing::TestWithParam<WaveCase> {};

TEST_P(Waveform, HasItsValueAtItsTime) {
    const WaveCase& c = GetParam();
    std::string why;
    const auto s = parse_signal(c.text, 0, why);
    ASSERT_TRUE(s) << why;
    EXPECT_NEAR(s->at(c.seconds), c.volts, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Table, Waveform, ::testing::ValuesIn(wave_cases), row_name<::testing::TestParamInfo<WaveCase>>);

TEST_F(Environment, SignalTimeRunsFromTheCardsStart) {
    environment = {{"MORVANTE_SIM_CH0", "square:3:1"}};  // +3 V for half a second, then -3 V
    apply_environment(card, fake_getenv, complaints);
    EXPECT_NEAR(convert(card, 0), 3.0, 0.00125);
    now_us += 600000;
    EXPECT_NEAR(convert(card, 0), -3.0, 0.00125);
}

TEST_F(Environment, NoiseIsGaussianWithTheGivenSigma) {
    environment = {{"MORVANTE_SIM_CH1", "1+noise:0.05"}};
    apply_environment(card, fake_getenv, complaints);
    const int n = 4000;
    double sum = 0, squares = 0;
    int within_one_sigma = 0;
    for (int i = 0; i < n; ++i) {
        const double v = convert(card, 1);
        sum += v;
        squares += (v - 1) * (v - 1);
        within_one_sigma += std::fabs(v - 1) < 0.05;
    }
    EXPECT_NEAR(sum / n, 1.0, 0.005);
    EXPECT_NEAR(std::sqrt(squares / n), 0.05, 0.004);
    EXPECT_NEAR(within_one_sigma / double(n), 0.683, 0.04) << "a normal distribution's share";
}

// ---- Replay of an adcread recording ----------------------------------------------

std::string write_recording(const std::string& rows) {
    const std::string path = ::testing::TempDir() + "morvante_replay_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".csv";
    std::ofstream(path) << "# adcread 1.0.0\n# library: x\n# unit: V\ntime_utc,elapsed_s,ch0_V,ch1_V\n" << rows;
    return path;
}

TEST(Replay, PlaysTheChannelsOwnColumnAtTheRecordedTimesInALoop) {
    const std::string path = write_recording(
        "2026-01-01T00:00:00.000000Z,0.010000,1.0,-1.0\r\n"  // Windows line ends too
        "2026-01-01T00:00:00.100000Z,0.110000,2.0,-2.0\n"
        "2026-01-01T00:00:00.200000Z,0.210000,nan,-3.0\n");
    std::string why;
    const auto ch0 = parse_signal("replay:" + path, 0, why);
    const auto ch1 = parse_signal("replay:" + path, 1, why);
    ASSERT_TRUE(ch0 && ch1) << why;
    // Samples at 0, 0.1 and 0.2 s from the first; the loop is 0.3 s long.
    const struct {
        double seconds, ch0, ch1;
    } table[] = {
        {0.0, 1.0, -1.0}, {0.04, 1.0, -1.0}, {0.06, 2.0, -2.0}, {0.14, 2.0, -2.0}, {0.16, NAN, -3.0},
        {0.26, 1.0, -1.0}, {0.31, 1.0, -1.0}, {0.41, 2.0, -2.0}, {3.0, 1.0, -1.0},
    };
    for (const auto& row : table) {
        EXPECT_EQ(ch1->at(row.seconds), row.ch1) << row.seconds << " s";
        if (std::isnan(row.ch0))
            EXPECT_TRUE(std::isnan(ch0->at(row.seconds))) << row.seconds << " s";
        else
            EXPECT_EQ(ch0->at(row.seconds), row.ch0) << row.seconds << " s";
    }
}

TEST(Replay, AGapInTheRecordingIsAConversionThatNeverFinishes) {
    const std::string path = write_recording("t,0.0,nan,1.0\n");
    std::string why;
    const auto s = parse_signal("replay:" + path, 0, why);
    ASSERT_TRUE(s) << why;
    now_us = 0;
    SimCard card{test_clock};
    card.set_signal(0, *s);
    EXPECT_TRUE(std::isnan(convert(card, 0)));
}

TEST(Replay, RefusesFilesItCannotPlay) {
    const struct {
        const char* rows;
        int channel;
        const char* why;
    } table[] = {
        {"", 0, "holds no reading"},
        {"t,0.0,1.0\n", 0, "line 5 is not a reading"},
        {"t,0.0,1.0,abc\n", 1, "line 5 is not a reading"},
        {"t,1.0,1.0,1.0\nt,0.5,1.0,1.0\n", 0, "line 6 is not a reading"},
    };
    for (const auto& row : table) {
        std::string why;
        EXPECT_FALSE(parse_signal("replay:" + write_recording(row.rows), row.channel, why));
        EXPECT_NE(why.find(row.why), std::string::npos) << why;
    }
    std::string why;
    const std::string only_ch0 = ::testing::TempDir() + "morvante_replay_ch0_only.csv";
    std::ofstream(only_ch0) << "time_utc,elapsed_s,ch0_V\nt,0.0,1.0\n";
    EXPECT_FALSE(parse_signal("replay:" + only_ch0, 1, why));
    EXPECT_NE(why.find("no elapsed_s and ch1_V columns"), std::string::npos) << why;
}

}  // namespace
}  // namespace morvante::sim
