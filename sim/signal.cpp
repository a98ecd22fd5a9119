#include "signal.h"

#include <algorithm>
#include <cmath>

namespace morvante::sim {

namespace {

constexpr double two_pi = 6.283185307179586;

// The recorded sample nearest to `seconds`, in a loop of trace.period.
double replay_at(const Trace& trace, double seconds) {
    const std::vector<double>& t = trace.seconds;
    if (t.empty())
        return 0.0;
    if (!(trace.period > 0.0) || t.size() == 1)
        return trace.volts.front();
    double s = std::fmod(seconds, trace.period);
    if (s < 0.0)
        s += trace.period;
    // Past the midpoint between the last sample and the loop's end, the
    // first sample of the next loop is the nearer one.
    if (s >= (t.back() + trace.period) / 2)
        return trace.volts.front();
    const auto after = std::lower_bound(t.begin(), t.end(), s);
    if (after == t.begin())
        return trace.volts.front();
    const auto before = after - 1;
    const auto nearest = (after == t.end() || s - *before <= *after - s) ? before : after;
    return trace.volts[static_cast<std::size_t>(nearest - t.begin())];
}

}  // namespace

Signal Signal::constant(double volts) {
    Signal s;
    s.offset = volts;
    return s;
}

double Signal::at(double seconds) const {
    const double cycles = hz * seconds;
    const double phase = cycles - std::floor(cycles);  // 0 <= phase < 1
    switch (shape) {
    case Shape::constant:
        return offset;
    case Shape::sine:
        return offset + amplitude * std::sin(two_pi * phase);
    case Shape::square:
        return offset + (phase < 0.5 ? amplitude : -amplitude);
    case Shape::triangle:  // in phase with the sine: 0, up to +A, down to -A, back to 0
        if (phase < 0.25)
            return offset + amplitude * 4 * phase;
        if (phase < 0.75)
            return offset + amplitude * (2 - 4 * phase);
        return offset + amplitude * (4 * phase - 4);
    case Shape::replay:
        return trace ? replay_at(*trace, seconds) : 0.0;
    }
    return offset;
}

}  // namespace morvante::sim
