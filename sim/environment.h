// The simulated card's bench, set without code: the simulator reads these
// variables once, when it is loaded (the library itself never reads any).
//
//   MORVANTE_SIM_CH0, MORVANTE_SIM_CH1   the inputs:
//       1.25                             a constant, in volts
//       sine|square|triangle:AMPLITUDE:HZ[:OFFSET]
//       either of these +noise:SIGMA     Gaussian noise, volts
//       replay:FILE.csv                  the channel's column of an adcread CSV file
//   MORVANTE_SIM_CARD                    working | absent | stuck | status-zero | dies-after:N
//   MORVANTE_SIM_CONVERSION_US           the conversion time in microseconds
//
// A value that does not parse is reported in one line that names the
// variable, quotes the value and shows the accepted forms; the default holds.
#pragma once

#include "sim_card.h"
#include "signal.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace morvante::sim {

struct CardSetting {
    Behaviour behaviour = Behaviour::working;
    std::int64_t dies_after = SimCard::never;
};

// Each parser gives the value, or nothing and a reason in `why`.
std::optional<Signal> parse_signal(const std::string& text, int channel, std::string& why);
std::optional<CardSetting> parse_card(const std::string& text, std::string& why);
std::optional<std::int64_t> parse_conversion_us(const std::string& text, std::string& why);

// Sets `card` from whichever variables are set; `getenv` looks one up
// (nullptr: not set). Each bad value gets one line on `complaints`.
void apply_environment(SimCard& card, const char* (*getenv)(const char*), std::FILE* complaints);

}  // namespace morvante::sim
