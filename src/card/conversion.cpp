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

// Seconds between two elapsed_ms() readings. The count wraps, so the
// difference is taken modulo 2^32 and read as signed.
double seconds_between(std::int32_t from, std::int32_t to) {
    const auto ms = static_cast<std::int32_t>(static_cast<std::uint32_t>(to) -
                                              static_cast<std::uint32_t>(from));
    return rounded_to_double(static_cast<double>(ms) * seconds_per_ms);
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
    double elapsed_s;
    do {
        elapsed_s = seconds_between(t0, platform::backend.elapsed_ms());
        if ((in_port(status_port) & busy_mask[channel]) == 0)
            break;
    } while (elapsed_s < conversion_timeout_s);
    return elapsed_s < conversion_timeout_s;
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
