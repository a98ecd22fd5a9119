// How far LitTension's mean drifts from the exact mean as the count grows.
//
// The running sum is single precision, rounded after every addition, as the
// library has always done; host programs compare against values that
// earlier versions gave, so it stays. With a constant input every sample is
// the same single-precision value v, so the exact mean is v itself, and what
// the table shows is the drift alone.
//
//   mean_accuracy            prints a Markdown table
#include "bench_card.h"
#include "morvanteportio.h"

#include <cmath>
#include <cstdio>

int main() {
    const double volts_per_code = 5.12 / 2047;
    const double levels[] = {5.0, 0.1};
    const int counts[] = {10, 1000, 10000, 100000, 1000000};
    morvante::bench::card_answers(true);
    if (Init() != 1) {
        std::fprintf(stderr, "mean_accuracy: the card did not answer\n");
        return 1;
    }
    std::printf("| samples |");
    for (double level : levels)
        std::printf(" %.1f V: mean (V) | error (mV) | error (codes) |", level);
    std::printf("\n|---|");
    for (std::size_t i = 0; i < sizeof levels / sizeof levels[0]; ++i)
        std::printf("---|---|---|");
    std::printf("\n");
    for (int count : counts) {
        std::printf("| %d |", count);
        for (double level : levels) {
            const int code = static_cast<int>(std::lround(level / volts_per_code + 2047.5));
            morvante::bench::card_code(code);
            const float sample = readad(0);
            const float mean = LitTension(0, count);
            const double error = static_cast<double>(mean) - static_cast<double>(sample);
            std::printf(" %.7f | %+.4f | %+.3f |", mean, error * 1e3, error / volts_per_code);
        }
        std::printf("\n");
    }
    return 0;
}
