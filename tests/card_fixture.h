// Shared fixture: a fresh fake platform per test, and the library's exports.
#pragma once

#include "fake_platform.h"
#include "ieee_reference.h"
#include "morvanteportio.h"
#include "table_names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace morvante::test {

using fake::Access;
using fake::Dir;
using fake::Log;
using fake::Path;

constexpr float no_reading = 1e10f;

class CardTest : public ::testing::Test {
protected:
    void SetUp() override { bus().reset(); }
    static fake::FakePlatform& bus() { return fake::platform(); }

    // Leaves the card-present flag at `present` through a real probe, then
    // clears the log so the test sees only its own accesses.
    static void probe_to(bool present) {
        bus().reset();
        bus().script(0x284, {static_cast<std::uint8_t>(present ? 0x00 : 0x01)});
        bus().script(0x280, {0x80});
        bus().script(0x281, {0x00});
        ASSERT_EQ(Init(), present ? 1 : 0);
        bus().reset();
    }
};

// The log of one good conversion on `path`: start, `busy_passes` busy status
// reads, one idle status read, then the two data bytes.
inline Log conversion_log(Path path, int channel, int busy_passes, std::uint8_t idle_status,
                          std::uint8_t hi, std::uint8_t lo) {
    const std::uint32_t p = channel == 0 ? 0x280 : 0x282;
    const std::uint8_t busy = channel == 0 ? 0x01 : 0x02;
    Log log{fake::out(path, p, 0xFF)};
    for (int i = 0; i < busy_passes; ++i)
        log.push_back(fake::in(path, 0x284, busy));
    log.push_back(fake::in(path, 0x284, idle_status));
    log.push_back(fake::in(path, p, hi));
    log.push_back(fake::in(path, p + 1, lo));
    return log;
}

inline ::testing::AssertionResult same_bits(float actual, float expected) {
    if (reference::bits(actual) == reference::bits(expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << std::hexfloat << actual << " (bits 0x" << std::hex << reference::bits(actual)
           << ") != " << std::hexfloat << expected << " (bits 0x" << std::hex
           << reference::bits(expected) << ")";
}

}  // namespace morvante::test
