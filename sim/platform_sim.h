// The simulated card that the simulated bus's platform is wired to.
#pragma once

#include "sim_card.h"

namespace morvante::sim {

// The one card on the simulated bus, with the simulated card's default bench
// (channel 0 at +1.25 V, channel 1 at -3.30 V).
SimCard& bus_card();

}  // namespace morvante::sim
