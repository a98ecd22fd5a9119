// LitTension: the mean of several conversions, the host's usual measuring call.
#include "card/detection.h"
#include "card/exact_float.h"
#include "card/readings.h"
#include "card/registers.h"
#include "morvanteportio.h"

extern "C" float MORVANTEPORTIO_CALL LitTension(int channel, int count) {
    using namespace morvante::card;
    if (!card_present())
        return NO_READING;
    // A channel that does not exist has no conversion to take: readad would
    // give NO_READING count times without touching a port, so give it at
    // once rather than loop up to 2^31 times.
    if (!valid_channel(channel))
        return NO_READING;

    // Single-precision running sum, rounded after every addition; conversions
    // that timed out are dropped, not counted. All `count` are tried.
    float sum = 0.0f;
    int good = 0;
    for (int i = 0; i < count; ++i) {
        const float volts = readad(channel);
        if (is_no_reading(volts))
            continue;
        sum = rounded_to_float(static_cast<double>(sum) + volts);
        ++good;
    }
    if (good < 1)
        return NO_READING;
    return rounded_to_float(rounded_to_double(static_cast<double>(sum) / good));
}
