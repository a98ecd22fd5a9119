#include "sim_card.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace morvante::sim {

namespace {

constexpr std::uint8_t floating_bus = 0xFF;
constexpr std::uint8_t start_byte = 0xFF;
constexpr double mid_scale_code = 2047.5;
constexpr double volts_per_code = 5.12 / 2047;
constexpr std::int64_t far_future_us = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t noise_seed = 0x9E3779B97F4A7C15u;

// Which channel a data port belongs to, and whether it is the high byte.
bool decode_data_port(std::uint32_t port, int& channel, bool& high_byte) {
    if (port < SimCard::base_port || port >= SimCard::status_port)
        return false;
    const std::uint32_t offset = port - SimCard::base_port;
    channel = static_cast<int>(offset / 2);
    high_byte = (offset % 2) == 0;
    return true;
}

// now + span, without overflow: a conversion time of years ends in the far future.
std::int64_t later(std::int64_t now, std::int64_t span) {
    return now > far_future_us - span ? far_future_us : now + span;
}

}  // namespace

SimCard::SimCard(Clock clock) : clock_(clock ? clock : steady_clock_us) {
    reset();
}

std::int64_t SimCard::steady_clock_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int SimCard::code_for(double volts) {
    const double exact = volts / volts_per_code + mid_scale_code;
    if (!(exact > 0.0))       // also catches NaN
        return 0;
    if (exact >= 4095.0)
        return 4095;
    return static_cast<int>(exact + 0.5);
}

void SimCard::lock() const {
    while (busy_lock_.test_and_set(std::memory_order_acquire)) {
    }
}

void SimCard::unlock() const {
    busy_lock_.clear(std::memory_order_release);
}

// A standard normal deviate (Box-Muller on a xorshift64* stream): the same
// sequence on every run, so a noisy bench is repeatable.
double SimCard::gaussian() {
    auto uniform = [this] {
        noise_state_ ^= noise_state_ >> 12;
        noise_state_ ^= noise_state_ << 25;
        noise_state_ ^= noise_state_ >> 27;
        const std::uint64_t bits = noise_state_ * 0x2545F4914F6CDD1Du;
        return (static_cast<double>(bits >> 11) + 0.5) / 9007199254740992.0;  // (0, 1)
    };
    const double u = uniform(), v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
}

double SimCard::sample(const Channel& ch, std::int64_t now_us) {
    const double volts = ch.signal.at(static_cast<double>(now_us - origin_us_) * 1e-6);
    return ch.signal.noise_sigma > 0.0 ? volts + ch.signal.noise_sigma * gaussian() : volts;
}

void SimCard::settle(Channel& ch, std::int64_t now_us) {
    if (ch.converting && behaviour_ != Behaviour::never_finishes && now_us >= ch.done_at_us) {
        ch.converting = false;
        ch.latched_code = ch.pending_code;
    }
}

void SimCard::write(std::uint32_t port, std::uint8_t value) {
    int channel;
    bool high_byte;
    if (!decode_data_port(port, channel, high_byte) || !high_byte || value != start_byte)
        return;
    const std::int64_t now = clock_();
    lock();
    if (conversions_left_ == 0)
        behaviour_ = Behaviour::absent;  // the card has died
    else if (conversions_left_ > 0)
        --conversions_left_;
    if (behaviour_ != Behaviour::absent) {
        Channel& ch = channels_[channel];
        const double volts = sample(ch, now);
        ch.converting = true;
        if (std::isnan(volts)) {  // a gap in a recording: this conversion never ends
            ch.done_at_us = far_future_us;
        } else {
            ch.pending_code = code_for(volts);
            ch.done_at_us = later(now, conversion_us_);
        }
    }
    unlock();
}

std::uint8_t SimCard::read(std::uint32_t port) {
    const std::int64_t now = clock_();
    lock();
    std::uint8_t byte = floating_bus;
    int channel;
    bool high_byte;
    if (behaviour_ == Behaviour::absent) {
        // nothing drives the bus
    } else if (port == status_port) {
        byte = 0;
        for (int c = 0; c < 2; ++c) {
            settle(channels_[c], now);
            if (channels_[c].converting && behaviour_ != Behaviour::status_reads_zero)
                byte |= static_cast<std::uint8_t>(1u << c);
        }
    } else if (decode_data_port(port, channel, high_byte)) {
        Channel& ch = channels_[channel];
        settle(ch, now);
        byte = high_byte ? static_cast<std::uint8_t>(ch.latched_code >> 4)
                         : static_cast<std::uint8_t>((ch.latched_code & 0x0F) << 4);
    }
    unlock();
    return byte;
}

void SimCard::set_input(int channel, double volts) {
    set_signal(channel, Signal::constant(volts));
}

void SimCard::set_signal(int channel, const Signal& signal) {
    if (channel < 0 || channel > 1)
        return;
    lock();
    channels_[channel].signal = signal;
    unlock();
}

void SimCard::set_conversion_time_us(std::int64_t us) {
    lock();
    conversion_us_ = us < 0 ? 0 : us;
    unlock();
}

void SimCard::set_behaviour(Behaviour behaviour) {
    lock();
    behaviour_ = behaviour;
    unlock();
}

Behaviour SimCard::behaviour() const {
    lock();
    const Behaviour b = behaviour_;
    unlock();
    return b;
}

void SimCard::set_dies_after(std::int64_t conversions) {
    lock();
    conversions_left_ = conversions < 0 ? never : conversions;
    unlock();
}

void SimCard::reset() {
    const std::int64_t now = clock_();
    lock();
    for (int c = 0; c < 2; ++c)
        channels_[c] = Channel{Signal::constant(default_input_volts[c])};
    conversion_us_ = default_conversion_us;
    behaviour_ = Behaviour::working;
    origin_us_ = now;
    conversions_left_ = never;
    noise_state_ = noise_seed;
    unlock();
}

}  // namespace morvante::sim
