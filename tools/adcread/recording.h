// A recording: readings taken on a schedule that does not drift. Reading k is
// due at start + k x interval on a monotonic clock, however long the readings
// before it took; a reading that comes due while an earlier one is still
// running is taken at once, and counted as late.
#pragma once

#include <csignal>
#include <functional>
#include <vector>

namespace adcread {

struct Plan {
    std::vector<int> channels{0, 1};
    int count = 10;             // conversions per reading, averaged by LitTension
    double interval_s = 1.0;    // 0: back to back
    long long readings = 10;    // how many; -1: no limit
    double duration_s = -1.0;   // stop before the first reading due at or after it; < 0: no limit
};

// How long the plan runs, if that is known in advance; -1 if it runs until stopped.
double planned_seconds(const Plan& plan);

struct Reading {
    long long index = 0;
    double elapsed_s = 0.0;          // when it was taken, from the start
    std::vector<float> volts;        // one per channel of the plan; NaN: no reading
};

// The clock a recording keeps time by: the system's monotonic clock, or a
// scripted one in tests.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now_s() = 0;
    // Returns once now_s() >= t_s, or soon after `stop` becomes non-zero.
    virtual void wait_until(double t_s, const volatile std::sig_atomic_t& stop) = 0;
};

class SteadyClock : public Clock {
public:
    double now_s() override;
    void wait_until(double t_s, const volatile std::sig_atomic_t& stop) override;
};

struct Totals {
    long long readings = 0;
    long long late = 0;           // taken after their due time, because the one before overran
    long long without_value = 0;  // readings with at least one channel without a value
    bool interrupted = false;     // `stop` ended the run
    bool output_failed = false;   // `emit` refused a reading
    double seconds = 0.0;         // from the start to the end of the last reading
};

// A reading is late when it comes due more than this after its due time.
constexpr double late_after_s = 0.001;

// Runs the plan from now. `read_channel` gives a channel's volts (NaN: no
// reading); `emit` takes each finished reading and says whether the output
// accepted it. `stop` (set by Ctrl-C) ends the run after the current reading.
Totals record(const Plan& plan, Clock& clock, const std::function<float(int channel)>& read_channel,
              const std::function<bool(const Reading&)>& emit, const volatile std::sig_atomic_t& stop);

}  // namespace adcread
