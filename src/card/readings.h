// How the library says "no reading".
#pragma once

namespace morvante::card {

// 1e10 is exact in single precision (bits 0x501502F9) and far outside the
// card's +-5.12 V, so hosts can test for it with plain equality.
constexpr float NO_READING = 1e10f;

// A result counts as no reading when it equals 1e10 or is not a number.
inline bool is_no_reading(float volts) {
    const double v = volts;
    return v != v || v == 1e10;
}

}  // namespace morvante::card
