#include "recording.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace adcread {

double planned_seconds(const Plan& plan) {
    if (plan.readings >= 0)
        return static_cast<double>(plan.readings > 0 ? plan.readings - 1 : 0) * plan.interval_s;
    return plan.duration_s;
}

double SteadyClock::now_s() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SteadyClock::wait_until(double t_s, const volatile std::sig_atomic_t& stop) {
    // In short steps, so that Ctrl-C is seen within a twentieth of a second.
    constexpr double step_s = 0.05;
    for (double left = t_s - now_s(); left > 0 && !stop; left = t_s - now_s())
        std::this_thread::sleep_for(std::chrono::duration<double>(left < step_s ? left : step_s));
}

Totals record(const Plan& plan, Clock& clock, const std::function<float(int channel)>& read_channel,
              const std::function<bool(const Reading&)>& emit, const volatile std::sig_atomic_t& stop) {
    Totals totals;
    const double start = clock.now_s();
    Reading reading;
    for (long long k = 0; plan.readings < 0 || k < plan.readings; ++k) {
        // k x interval, not a running sum: no drift, however long the run.
        const double due = static_cast<double>(k) * plan.interval_s;
        if (plan.duration_s >= 0) {
            const double at = plan.interval_s > 0 ? due : clock.now_s() - start;
            if (k > 0 && at >= plan.duration_s)
                break;
        }
        if (stop) {
            totals.interrupted = true;
            break;
        }
        const double now = clock.now_s() - start;
        if (now < due)
            clock.wait_until(start + due, stop);
        else if (plan.interval_s > 0 && now - due > late_after_s)
            ++totals.late;
        if (stop) {
            totals.interrupted = true;
            break;
        }

        reading.index = k;
        reading.elapsed_s = clock.now_s() - start;
        reading.volts.clear();
        bool all = true;
        for (int channel : plan.channels) {
            const float v = read_channel(channel);
            reading.volts.push_back(v);
            all = all && !std::isnan(v);
        }
        ++totals.readings;
        totals.without_value += !all;
        if (!emit(reading)) {
            totals.output_failed = true;
            break;
        }
    }
    totals.interrupted = totals.interrupted || (stop && !totals.output_failed);
    totals.seconds = clock.now_s() - start;
    return totals;
}

}  // namespace adcread
