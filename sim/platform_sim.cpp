// Platform of the simulated-card library: a process on a machine whose port
// bus holds the simulated card. It lets the library run the port instructions
// itself (the natural model of a process that may), and both the instruction
// path and the driver path reach the same simulated bus, so either path's
// code runs.
#include "platform_sim.h"

#include "environment.h"
#include "platform/platform.h"
#include "platform/steady_ms.h"

#include <cstdio>
#include <cstdlib>

namespace morvante::sim {

SimCard& bus_card() {
    static SimCard card;
    return card;
}

}  // namespace morvante::sim

namespace morvante::platform {

namespace {

SteadyMilliseconds ms_clock;

const char* environment(const char* name) { return std::getenv(name); }

// Loading the library loads the simulator: the card is made here, on first
// use, so its signal time starts now, and its bench comes from the
// MORVANTE_SIM_* variables.
void start() {
    ms_clock.start();
    sim::apply_environment(sim::bus_card(), environment, stderr);
}

bool direct_io_allowed() { return true; }

std::uint8_t bus_read(std::uint32_t port) { return sim::bus_card().read(port); }
void bus_write(std::uint32_t port, std::uint8_t value) { sim::bus_card().write(port, value); }

std::uint8_t cpu_in(std::uint16_t port) { return bus_read(port); }
void cpu_out(std::uint16_t port, std::uint8_t value) { bus_write(port, value); }

std::int32_t elapsed_ms() { return ms_clock.elapsed(); }

}  // namespace

const Backend backend = {
    start,
    direct_io_allowed,
    cpu_in,
    cpu_out,
    bus_read,
    bus_write,
    elapsed_ms,
};

}  // namespace morvante::platform
