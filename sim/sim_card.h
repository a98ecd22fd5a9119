// A simulated converter card, as seen on the I/O port bus.
//
// It answers the same port reads and writes the real card does, so the
// library cannot tell it apart: writing 0xFF to a channel's data port (0x280
// or 0x282) starts a conversion of that channel's input, sampled at that
// moment, the channel's busy bit in the status port (0x284) stays set for the
// conversion time, and the data ports then give the 12-bit code split high
// byte / low nibble. Ports outside 0x280..0x284 float (read 0xFF).
//
// Inputs are signals (signal.h): constants, waveforms, noise, recordings;
// signal time runs from the card's construction (or reset).
// Faults it can play: no card at all (the whole bus floats), a card whose
// conversions never finish, one whose status port always reads 0, and one
// that dies (stops answering) after a number of conversions.
//
// All members may be called from several threads at once.
#pragma once

#include "signal.h"

#include <atomic>
#include <cstdint>

namespace morvante::sim {

enum class Behaviour : int {
    working,           // converts and reports busy for the conversion time
    absent,            // nothing on the bus: every read gives 0xFF
    never_finishes,    // busy bits never clear once a conversion starts
    status_reads_zero, // status port always reads 0; data ports as usual
};

class SimCard {
public:
    // Microseconds from any fixed origin; must not go backwards.
    using Clock = std::int64_t (*)();

    static constexpr std::uint32_t base_port = 0x280;
    static constexpr std::uint32_t status_port = 0x284;
    static constexpr std::int64_t default_conversion_us = 25;
    // The bench a card comes up with and resets to: two distinct readings,
    // so a host sees at once which channel it read.
    static constexpr double default_input_volts[2] = {1.25, -3.30};
    static constexpr std::int64_t never = -1;  // dies_after: the card never dies

    explicit SimCard(Clock clock = steady_clock_us);

    // The bus side.
    void write(std::uint32_t port, std::uint8_t value);
    std::uint8_t read(std::uint32_t port);

    // The bench side.
    void set_input(int channel, double volts);  // a constant signal
    void set_signal(int channel, const Signal& signal);
    void set_conversion_time_us(std::int64_t us);
    void set_behaviour(Behaviour behaviour);
    Behaviour behaviour() const;
    // After `conversions` more conversions have started, the card stops
    // answering, as if pulled from the bus (never: it does not die).
    void set_dies_after(std::int64_t conversions);
    void reset();  // working, default inputs and time, no result latched, signal time 0

    // The code a conversion of `volts` yields: the inverse of the library's
    // scale, rounded to nearest, clamped to 0..4095.
    static int code_for(double volts);

    static std::int64_t steady_clock_us();

private:
    struct Channel {
        Signal signal;             // set from default_input_volts on construction
        int latched_code = 0;      // result of the last finished conversion
        int pending_code = 0;      // result of the conversion under way
        bool converting = false;
        std::int64_t done_at_us = 0;
    };

    void settle(Channel& ch, std::int64_t now_us);  // finish a due conversion
    double sample(const Channel& ch, std::int64_t now_us);  // the input, with noise
    double gaussian();
    void lock() const;
    void unlock() const;

    Clock clock_;
    mutable std::atomic_flag busy_lock_ = ATOMIC_FLAG_INIT;
    Channel channels_[2];
    std::int64_t conversion_us_ = default_conversion_us;
    Behaviour behaviour_ = Behaviour::working;
    std::int64_t origin_us_ = 0;       // signal time 0
    std::int64_t conversions_left_ = never;
    std::uint64_t noise_state_ = 0;
};

}  // namespace morvante::sim
