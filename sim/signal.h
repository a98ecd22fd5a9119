// What the simulated card's inputs see: a constant, a periodic waveform, or a
// recording played back, each with optional Gaussian noise (added by the card
// when it samples, so that every conversion draws afresh).
#pragma once

#include <memory>
#include <vector>

namespace morvante::sim {

// A recording of one channel: sample times in seconds from its first sample,
// and the volts at each (NaN where the recording had no reading). It plays in
// a loop of `period` seconds, each time giving the sample nearest to it.
struct Trace {
    std::vector<double> seconds;
    std::vector<double> volts;
    double period = 0.0;  // last sample + one mean interval; 0 holds the first sample
};

struct Signal {
    enum class Shape { constant, sine, square, triangle, replay };

    Shape shape = Shape::constant;
    double amplitude = 0.0;  // volts, peak
    double hz = 0.0;
    double offset = 0.0;     // volts; a constant signal is its offset
    double noise_sigma = 0.0;  // volts, standard deviation
    std::shared_ptr<const Trace> trace;  // replay only

    static Signal constant(double volts);

    // The input at `seconds` since the simulator was loaded, before noise.
    // NaN where a replayed recording had no reading: the card does not answer.
    double at(double seconds) const;
};

}  // namespace morvante::sim
