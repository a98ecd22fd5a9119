// The whole library on the simulated card with a real clock: in-process over
// the simulation platform, and loaded as the shared library a host would load.
#include "morvanteportio.h"
#include "platform_sim.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace morvante {
namespace {

using sim::Behaviour;
using Clock = std::chrono::steady_clock;

constexpr double one_code = 5.12 / 2047;

class SimPlatform : public ::testing::Test {
protected:
    void SetUp() override { card().reset(); }  // +1.25 V and -3.30 V
    void TearDown() override { card().reset(); }
    static sim::SimCard& card() { return sim::bus_card(); }
};

TEST_F(SimPlatform, FindsTheCardAndReadsBothChannelsWithinHalfACode) {
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(OKCarte(), 1);
    EXPECT_NEAR(readad(0), 1.25, one_code / 2 + 1e-6);
    EXPECT_NEAR(readad(1), -3.3, one_code / 2 + 1e-6);
    EXPECT_NEAR(LitTension(0, 20), 1.25, one_code / 2 + 1e-6);
    EXPECT_NEAR(LitTension(1, 20), -3.3, one_code / 2 + 1e-6);
}

TEST_F(SimPlatform, AbsentCardTimesOutAfterAtLeast100msOfRealTime) {
    ASSERT_EQ(Init(), 1);
    card().set_behaviour(Behaviour::absent);
    const auto t0 = Clock::now();
    EXPECT_EQ(Init(), 0);
    const auto waited = Clock::now() - t0;
    EXPECT_GE(waited, std::chrono::milliseconds(99));
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_EQ(OKCarte(), 0);
    EXPECT_EQ(LitTension(0, 3), 1e10f) << "no card, no measurement";
    EXPECT_EQ(readad(0), 1e10f);
}

TEST_F(SimPlatform, CardThatNeverFinishesGivesNoReadingAndKeepsTheFlag) {
    ASSERT_EQ(Init(), 1);
    card().set_behaviour(Behaviour::never_finishes);
    EXPECT_EQ(LitTension(1, 2), 1e10f);
    EXPECT_EQ(OKCarte(), 1);
}

TEST_F(SimPlatform, TwoThreadsOnTwoChannelsEachGetTheirOwnChannel) {
    ASSERT_EQ(Init(), 1);
    std::atomic<int> wrong{0};
    auto reader = [&](int channel, double volts) {
        for (int i = 0; i < 2000; ++i)
            if (std::fabs(readad(channel) - volts) > one_code)
                ++wrong;
    };
    std::thread a(reader, 0, 1.25), b(reader, 1, -3.3);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Channels 0 and 1 converting at once, while one thread probes the card and
// another asks for the flag: the library takes no lock, so the accesses
// interleave on the card, but every call ends with a value it may give.
TEST_F(SimPlatform, ConversionsProbesAndFlagReadsFromFourThreadsAtOnce) {
    ASSERT_EQ(Init(), 1);
    std::atomic<int> out_of_range{0}, probes_failed{0};
    auto valid_volts = [](float v) { return v == 1e10f || std::fabs(v) <= 5.1213f; };
    auto converter = [&](int channel) {
        for (int i = 0; i < 1500; ++i) {
            out_of_range += !valid_volts(readad(channel));
            if (i % 50 == 0)
                out_of_range += !valid_volts(LitTension(channel, 5));
        }
    };
    std::thread a(converter, 0), b(converter, 1);
    std::thread prober([&] {
        for (int i = 0; i < 300; ++i)
            probes_failed += Init() != 1;
    });
    std::thread asker([&] {
        for (int i = 0; i < 20000; ++i) {
            const int flag = OKCarte();
            out_of_range += flag != 0 && flag != 1;
        }
    });
    for (std::thread* t : {&a, &b, &prober, &asker})
        t->join();
    EXPECT_EQ(out_of_range.load(), 0);
    EXPECT_EQ(probes_failed.load(), 0) << "the card answers every probe, however the accesses interleave";
    EXPECT_EQ(OKCarte(), 1);
}

// ---- The shared library, freshly loaded ------------------------------------

template <class Fn>
Fn symbol(void* lib, const char* name) {
    return reinterpret_cast<Fn>(dlsym(lib, name));
}

TEST(SimLibrary, LoadsWithoutProbingAndAnswersThroughItsSixExports) {
    void* lib = dlopen(SIM_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto ok = symbol<int (*)()>(lib, "OKCarte");
    auto init = symbol<int (*)()>(lib, "Init");
    auto read = symbol<float (*)(int)>(lib, "readad");
    auto mean = symbol<float (*)(int, int)>(lib, "LitTension");
    auto in = symbol<unsigned char (*)(int)>(lib, "in_port");
    auto out = symbol<void (*)(int, int)>(lib, "out_port");
    ASSERT_TRUE(ok && init && read && mean && in && out);

    EXPECT_EQ(ok(), 0) << "no probe before Init";
    EXPECT_EQ(mean(0, 5), 1e10f) << "no measurement before Init";
    EXPECT_EQ(init(), 1);
    EXPECT_EQ(ok(), 1);
    EXPECT_NEAR(read(0), 1.25, one_code);
    EXPECT_NEAR(mean(1, 10), -3.3, one_code);
    EXPECT_EQ(read(2), 1e10f);

    out(0x282, 0xFF);  // the ports themselves: start channel 1 by hand
    const auto t0 = Clock::now();
    while ((in(0x284) & 0x02) && Clock::now() - t0 < std::chrono::seconds(1)) {
    }
    const int code = (in(0x282) << 4) | (in(0x283) >> 4);
    EXPECT_EQ(code, sim::SimCard::code_for(-3.3));
    EXPECT_EQ(in(0x300), 0xFF) << "nothing else on the bus";

    dlclose(lib);
}

}  // namespace
}  // namespace morvante
