// Platform for the native simulation build: a process on a machine with a
// simulated card. It reports the 9x family, the natural model of a process
// that runs the port instructions itself, and both the instruction path and
// the driver path reach the same simulated bus, so either family's code runs.
#include "portio/platform.h"
#include "portio/platform_sim.h"

#include <chrono>

namespace morvante::platform {

namespace {

constexpr std::uint32_t kWin98VersionWord = 0xC0000A04u;  // 4.10, bit 31 set

const std::chrono::steady_clock::time_point clock_origin = std::chrono::steady_clock::now();

}  // namespace

sim::SimCard& simulated_card() {
    static sim::SimCard card;
    return card;
}

std::uint32_t version_word() { return kWin98VersionWord; }

std::uint8_t cpu_in(std::uint16_t port) { return simulated_card().read(port); }
void cpu_out(std::uint16_t port, std::uint8_t value) { simulated_card().write(port, value); }

std::uint8_t driver_read(std::uint32_t port) { return simulated_card().read(port); }
void driver_write(std::uint32_t port, std::uint8_t value) { simulated_card().write(port, value); }

std::int32_t elapsed_ms() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - clock_origin);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms.count()));
}

}  // namespace morvante::platform
