// Whole milliseconds from a performance counter, without a division.
//
// The Windows clock is floor(counts x 1000 / frequency): counts of the
// performance counter since the library was loaded, at `frequency` counts per
// second. Dividing there costs, on the 32-bit DLL, two calls of the 64-bit
// division helper, about 100 instructions and several microseconds per poll
// pass on a 486 or Pentium, where the status read itself takes about one. So
// the division is done once, at load: the x87 multiplies the counts by
// 1000/frequency, everything rounded down at a 64-bit mantissa, which gives
// the floor or one less; one multiplication of whole numbers then tells which.
// Exact for every count below 2^62 (48 years at 3 GHz); lock-free, read-only
// after load.
#pragma once

#include <cstdint>

namespace morvante::platform {

struct CounterScale {
    long double ms_per_count = 0;      // 1000 / frequency, rounded down, 64-bit mantissa
    std::uint64_t frequency = 0;
    bool narrow = false;               // frequency < 2^31: the check fits in 32 bits
};

namespace x87 {

// The control word for the estimate: a 64-bit mantissa, rounding toward minus
// infinity, every exception masked (nothing here may trap, whatever the host
// unmasked). The host's word is put back afterwards.
constexpr std::uint16_t extended_rounded_down = 0x077F;

// floor(counts x factor), every step rounded down.
inline std::int64_t floor_product(std::int64_t counts, const long double& factor) {
    std::int64_t product;
    std::uint16_t host_word;
    __asm__ __volatile__(
        "fnstcw %[host]\n\t"
        "fldcw %[ours]\n\t"
        "fildll %[counts]\n\t"
        "fldt %[factor]\n\t"
        "fmulp\n\t"
        "fistpll %[product]\n\t"
        "fldcw %[host]"
        : [product] "=m"(product), [host] "=m"(host_word)
        : [counts] "m"(counts), [factor] "m"(factor), [ours] "m"(extended_rounded_down)
        : "st", "st(1)");
    return product;
}

// 1000 / frequency, rounded down, at a 64-bit mantissa.
inline long double thousand_over(double frequency) {
    long double quotient;
    const std::int32_t thousand = 1000;
    std::uint16_t host_word;
    __asm__ __volatile__(
        "fnstcw %[host]\n\t"
        "fldcw %[ours]\n\t"
        "fildl %[thousand]\n\t"
        "fdivl %[frequency]\n\t"
        "fstpt %[quotient]\n\t"
        "fldcw %[host]"
        : [quotient] "=m"(quotient), [host] "=m"(host_word)
        : [thousand] "m"(thousand), [frequency] "m"(frequency), [ours] "m"(extended_rounded_down)
        : "st");
    return quotient;
}

}  // namespace x87

// The scale of a counter of `frequency` counts per second; false for a
// counter too slow (under 1000 per second) or too fast (2^53 or more) to serve.
inline bool make_counter_scale(std::uint64_t frequency, CounterScale& scale) {
    if (frequency < 1000 || frequency >= (std::uint64_t{1} << 53))
        return false;
    scale.frequency = frequency;
    scale.narrow = frequency < (std::uint64_t{1} << 31);
    scale.ms_per_count = x87::thousand_over(static_cast<double>(frequency));  // exact: below 2^53
    return true;
}

// floor(counts x 1000 / frequency) modulo 2^32, for a frequency below 2^31;
// counts below 0 (a counter that stepped back past the origin) count as 0.
inline std::uint32_t narrow_counter_ms(std::int64_t counts, const CounterScale& scale) {
    if (counts < 0)
        return 0;
    // The estimate q is the floor or one less: all its roundings went down,
    // and they lose less than one millisecond below 2^62 counts.
    const std::int64_t q = x87::floor_product(counts, scale.ms_per_count);
    // q + 1 is right where (q + 1) x frequency <= counts x 1000. That
    // difference lies within +-frequency, below 2^31: its low 32 bits tell
    // its sign, so no full-width product is needed.
    const std::uint32_t next = static_cast<std::uint32_t>(q) + 1;
    const std::uint32_t d = static_cast<std::uint32_t>(counts) * 1000u -
                            next * static_cast<std::uint32_t>(scale.frequency);
    return static_cast<std::int32_t>(d) >= 0 ? next : next - 1;
}

// The same for any frequency, the sign of the difference taken in 64 bits.
inline std::uint32_t wide_counter_ms(std::int64_t counts, const CounterScale& scale) {
    if (counts < 0)
        return 0;
    const std::int64_t q = x87::floor_product(counts, scale.ms_per_count);
    const std::uint64_t next = static_cast<std::uint64_t>(q) + 1;
    const std::uint64_t d = static_cast<std::uint64_t>(counts) * 1000u - next * scale.frequency;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(d) >= 0 ? next : next - 1);
}

inline std::uint32_t counter_ms(std::int64_t counts, const CounterScale& scale) {
    return scale.narrow ? narrow_counter_ms(counts, scale) : wide_counter_ms(counts, scale);
}

}  // namespace morvante::platform
