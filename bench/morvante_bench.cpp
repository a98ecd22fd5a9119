// What a conversion costs the host's processor, apart from the bus.
//
//   BM_readad_library   readad(0) on a card that answers at once
//   BM_readad_minimum   the same accesses, written straight through the same
//                       platform calls, with everything the design requires:
//                       the family asked before each access, the clock read
//                       before the poll and before the status read
//   BM_LitTension_100   LitTension(0, 100)
//   BM_timeout          one conversion that never finishes, on the real clock (ms)
//
// library minus minimum is the library's own work per conversion.
#include "bench_card.h"
#include "morvanteportio.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using morvante::platform::backend;

std::uint8_t read_port(std::uint32_t port) {
    return backend.direct_io_allowed() ? backend.cpu_in(static_cast<std::uint16_t>(port)) : backend.driver_read(port);
}

void write_port(std::uint32_t port, std::uint8_t value) {
    if (backend.direct_io_allowed())
        backend.cpu_out(static_cast<std::uint16_t>(port), value);
    else
        backend.driver_write(port, value);
}

void BM_readad_library(benchmark::State& state) {
    morvante::bench::card_answers(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(readad(0));
}
BENCHMARK(BM_readad_library);

void BM_readad_minimum(benchmark::State& state) {
    morvante::bench::card_answers(true);
    for (auto _ : state) {
        write_port(0x280, 0xFF);
        const std::int32_t t0 = backend.elapsed_ms();
        const std::int32_t t = backend.elapsed_ms();
        const std::uint8_t status = read_port(0x284);
        const std::uint8_t high = read_port(0x280);
        const std::uint8_t low = read_port(0x281);
        benchmark::DoNotOptimize(t0);
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(high);
        benchmark::DoNotOptimize(low);
    }
}
BENCHMARK(BM_readad_minimum);

void BM_LitTension_100(benchmark::State& state) {
    morvante::bench::card_answers(true);
    if (Init() != 1)
        state.SkipWithError("the card did not answer Init");
    for (auto _ : state)
        benchmark::DoNotOptimize(LitTension(0, 100));
}
BENCHMARK(BM_LitTension_100);

void BM_timeout(benchmark::State& state) {
    morvante::bench::card_answers(false);
    for (auto _ : state)
        benchmark::DoNotOptimize(readad(0));
    morvante::bench::card_answers(true);
}
BENCHMARK(BM_timeout)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
