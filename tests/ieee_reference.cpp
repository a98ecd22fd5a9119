#include "ieee_reference.h"

#include <cmath>
#include <cstring>

namespace morvante::reference {

namespace {

// 5.12 / 2047 rounded to double: 0x3F647D70F5CCCE15 = m * 2^scale_exp.
constexpr std::uint64_t scale_bits = 0x3F647D70F5CCCE15ull;

struct U128 {
    std::uint64_t hi, lo;
};

int bit_length(U128 x) {
    int n = 0;
    for (std::uint64_t h = x.hi; h; h >>= 1) ++n;
    if (x.hi) return n + 64;
    for (std::uint64_t l = x.lo; l; l >>= 1) ++n;
    return n;
}

// Rounds x to `bits` significant bits, to nearest, ties to even. Returns the
// significand and adds the number of dropped bits to `exponent`.
std::uint64_t round_to_bits(U128 x, int bits, int& exponent) {
    const int drop = bit_length(x) - bits;
    if (drop <= 0)
        return x.lo;  // fits already (x.hi is 0 for the sizes used here)
    // drop is at most 13 here, so the kept part fits in 64 bits.
    const std::uint64_t kept = (x.lo >> drop) | (x.hi << (64 - drop));
    const std::uint64_t rest = x.lo & ((std::uint64_t{1} << drop) - 1);
    const std::uint64_t half = std::uint64_t{1} << (drop - 1);
    std::uint64_t r = kept + ((rest > half || (rest == half && (kept & 1))) ? 1 : 0);
    exponent += drop;
    if (r >> bits) {  // rounding carried into a new bit
        r >>= 1;
        exponent += 1;
    }
    return r;
}

}  // namespace

float volts_for_code(int code) {
    // (code - 2047.5) * s = k * m * 2^(e - 1), with k = 2 * code - 4095 odd.
    const std::uint64_t m = (scale_bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    int exponent = static_cast<int>((scale_bits >> 52) & 0x7FF) - 1075 - 1;
    const int k = 2 * code - 4095;
    const std::uint64_t ak = static_cast<std::uint64_t>(k < 0 ? -k : k);

    // Exact product |k| * m in 128 bits: m = mh * 2^32 + ml.
    const std::uint64_t mh = m >> 32, ml = m & 0xFFFFFFFFu;
    const std::uint64_t a = ak * mh, b = ak * ml;  // both < 2^44
    U128 p{a >> 32, a << 32};
    p.lo += b;
    if (p.lo < b) ++p.hi;

    const std::uint64_t as_double = round_to_bits(p, 53, exponent);  // IEEE double product
    const std::uint64_t as_float = round_to_bits(U128{0, as_double}, 24, exponent);  // to float
    const float magnitude = std::ldexp(static_cast<float>(as_float), exponent);
    return k < 0 ? -magnitude : magnitude;
}

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

float from_bits(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

}  // namespace morvante::reference
