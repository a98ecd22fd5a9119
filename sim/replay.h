// Replay of a recording made by adcread, as a signal of the simulated card.
#pragma once

#include "signal.h"

#include <optional>
#include <string>

namespace morvante::sim {

// The column ch<channel>_V of an adcread CSV file against its elapsed_s, from
// the first reading: a trace to play in a loop. Nothing, with the reason in
// `why`, for a file that cannot be played.
std::optional<Trace> read_trace(const std::string& path, int channel, std::string& why);

}  // namespace morvante::sim
