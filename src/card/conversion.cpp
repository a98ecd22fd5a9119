// readad: one conversion on one channel.
#include "card/conversion.h"

#include "card/exact_float.h"
#include "card/readings.h"
#include "card/registers.h"
#include "morvanteportio.h"
#include "platform/platform.h"

#include <cstdint>

namespace morvante::card {

namespace {

// The time-out test is elapsed ms x 0.001 < 0.1, in double precision. It holds
// for exactly the whole numbers of milliseconds below 100: 99 x 0.001 is below
// 0.1, 100 x 0.001 rounds to the double 0.1 itself, and the product grows with
// the count. So the poll compares whole milliseconds, which gives the same
// answer for every count with no floating point in the pass, whatever
// precision the host left the x87 in.
constexpr std::int32_t timeout_ms = 100;
static_assert((timeout_ms - 1) * seconds_per_ms < conversion_timeout_s &&
                  !(timeout_ms * seconds_per_ms < conversion_timeout_s),
              "whole milliseconds below timeout_ms are exactly those below the time-out");

// Whether 0.1 s has passed between two elapsed_ms() readings. The count
// wraps, so the difference is taken modulo 2^32 and read as signed.
bool timed_out(std::int32_t from, std::int32_t to) {
    const auto ms = static_cast<std::int32_t>(static_cast<std::uint32_t>(to) - static_cast<std::uint32_t>(from));
    return ms >= timeout_ms;
}

}  // namespace

void start_conversion(int channel) {
    out_port(channel_port[channel], start_byte);
}

bool wait_conversion(int channel) {
    // The clock is read before each status read, so a busy bit that clears on
    // the pass where 0.1 s is reached still counts as a time-out. The poll
    // does not sleep: a conversion takes microseconds.
    const std::int32_t t0 = platform::backend.elapsed_ms();
    bool late;
    do {
        late = timed_out(t0, platform::backend.elapsed_ms());
        if ((in_port(status_port) & busy_mask[channel]) == 0)
            break;
    } while (!late);
    return !late;
}

int fetch_code(int channel) {
    const int high = in_port(channel_port[channel]);      // code bits 11..4
    const int low = in_port(channel_port[channel] + 1);   // code bits 3..0 in 7..4
    return (high << 4) | (low >> 4);
}

float code_to_volts(int code) {
    return rounded_to_float(rounded_to_double((code - mid_scale_code) * volts_per_code));
}

}  // namespace morvante::card

extern "C" float MORVANTEPORTIO_CALL readad(int channel) {
    using namespace morvante::card;
    if (!valid_channel(channel))
        return NO_READING;
    start_conversion(channel);
    if (!wait_conversion(channel))
        return NO_READING;
    return code_to_volts(fetch_code(channel));
}
