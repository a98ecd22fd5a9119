// The simulated card that the native simulation build's port bus is wired to.
#pragma once

#include "sim_card.h"

namespace morvante::platform {

// The one card on the simulated bus, with the simulated card's default bench
// (channel 0 at +1.25 V, channel 1 at -3.30 V).
sim::SimCard& simulated_card();

}  // namespace morvante::platform
