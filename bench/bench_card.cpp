#include "bench_card.h"

#include "platform/platform.h"
#include "platform/steady_ms.h"

#include <atomic>

namespace morvante::bench {

namespace {

std::atomic<std::uint8_t> status{0};
std::atomic<int> code{0x800};
platform::SteadyMilliseconds ms_clock;

void start() { ms_clock.start(); }
bool direct_io_allowed() { return true; }

std::uint8_t cpu_in(std::uint16_t port) {
    const int c = code.load(std::memory_order_relaxed);
    switch (port) {
    case 0x284: return status.load(std::memory_order_relaxed);
    case 0x280: case 0x282: return static_cast<std::uint8_t>(c >> 4);
    case 0x281: case 0x283: return static_cast<std::uint8_t>((c & 0xF) << 4);
    default: return 0xFF;
    }
}
void cpu_out(std::uint16_t, std::uint8_t) {}
std::uint8_t driver_read(std::uint32_t port) { return cpu_in(static_cast<std::uint16_t>(port)); }
void driver_write(std::uint32_t, std::uint8_t) {}
std::int32_t elapsed_ms() { return ms_clock.elapsed(); }

}  // namespace

void card_answers(bool answers) { status = answers ? 0x00 : 0x03; }
void card_code(int c) { code = c; }

}  // namespace morvante::bench

namespace morvante::platform {
const Backend backend = {bench::start,        bench::direct_io_allowed, bench::cpu_in, bench::cpu_out,
                         bench::driver_read, bench::driver_write,      bench::elapsed_ms};
}  // namespace morvante::platform
