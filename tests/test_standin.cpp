// The stand-in DlPortIO.dll's log of driver calls (built natively here): safe
// for a host that polls for hours and for threads that read it while others
// call the driver.
#include "call_log.h"
#include "dlportio_standin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Logged {
    unsigned long port;
    unsigned char value, is_write;
};

std::vector<Logged> logged() {
    const int n = SimDriverLog(nullptr, nullptr, nullptr, 0x7FFFFFFF);
    std::vector<unsigned long> ports(n);
    std::vector<unsigned char> values(n), writes(n);
    EXPECT_EQ(SimDriverLog(ports.data(), values.data(), writes.data(), n), n);
    std::vector<Logged> out;
    for (int i = 0; i < n; ++i)
        out.push_back({ports[i], values[i], writes[i]});
    return out;
}

class Standin : public ::testing::Test {
protected:
    void SetUp() override { SimReset(); }
};

TEST_F(Standin, LogsEveryCallInOrder) {
    DlPortWritePortUchar(0x280, 0xFF);
    const unsigned char status = DlPortReadPortUchar(0x284);
    const auto log = logged();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].port == 0x280 && log[0].value == 0xFF && log[0].is_write);
    EXPECT_TRUE(log[1].port == 0x284 && log[1].value == status && !log[1].is_write);
}

TEST_F(Standin, ANegativeOrZeroMaximumCopiesNothing) {
    DlPortReadPortUchar(0x300);
    unsigned long port = 0xDEAD;
    for (int max : {-1, -0x7FFFFFFF - 1, 0}) {
        EXPECT_EQ(SimDriverLog(&port, nullptr, nullptr, max), 0) << max;
        EXPECT_EQ(port, 0xDEADu);
    }
}

TEST_F(Standin, KeepsTheFirst65536CallsOfALongerRun) {
    for (int i = 0; i < 70000; ++i)
        DlPortReadPortUchar(0x300 + (i & 0xFF));
    const auto log = logged();
    ASSERT_EQ(log.size(), 65536u);
    EXPECT_EQ(log.front().port, 0x300u);
    EXPECT_EQ(log.back().port, 0x300u + (65535 & 0xFF));
    SimClearLog();
    DlPortReadPortUchar(0x284);
    EXPECT_EQ(logged().size(), 1u) << "a clear starts the log afresh";
}

TEST_F(Standin, ThreadsCallTheDriverWhileAnotherReadsTheLog) {
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        std::vector<unsigned long> ports(1 << 16);
        while (!done) {
            const int n = SimDriverLog(ports.data(), nullptr, nullptr, 1 << 16);
            for (int i = 0; i < n; ++i)
                bad += ports[i] != 0x280 && ports[i] != 0x284;
        }
    });
    std::vector<std::thread> callers;
    for (int t = 0; t < 3; ++t)
        callers.emplace_back([t] {
            for (int i = 0; i < 30000; ++i)
                if (t == 0) DlPortWritePortUchar(0x280, 0xFF); else DlPortReadPortUchar(0x284);
        });
    for (auto& c : callers)
        c.join();
    done = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0) << "every logged entry is whole";
    EXPECT_EQ(logged().size(), 65536u);
}

// A host polling a stuck card for a minute or two makes more than 2^31 driver
// calls: past its capacity the log must take them without counting them.
TEST(CallLog, TakesMoreThan2To31CallsAndKeepsTheFirst) {
    struct Entry {
        long long n;
    };
    static morvante::sim::CallLog<Entry, 4> log;
    const long long calls = (1LL << 31) + 5;
    for (long long i = 0; i < calls; ++i)
        log.record(Entry{i});
    EXPECT_EQ(log.size(), 4);
    std::vector<long long> kept;
    EXPECT_EQ(log.copy(10, [&](int, const Entry& e) { kept.push_back(e.n); }), 4);
    EXPECT_EQ(kept, (std::vector<long long>{0, 1, 2, 3}));
}

}  // namespace
