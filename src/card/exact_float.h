// Rounding points for the x87 FPU.
//
// The 32-bit DLL targets processors without SSE2, so its float and double
// arithmetic runs on the x87, whose registers hold 64-bit mantissas. Without
// a store to memory a "double" product or a "float" sum keeps those extra bits,
// and the results differ from IEEE double/single arithmetic: 100 ms * 0.001
// would come out below 0.1, and a float running sum would not be rounded after
// every addition. A volatile store forces the rounding to the declared type at
// exactly the point where the arithmetic is defined to round. On SSE targets
// these are a plain move.
#pragma once

namespace morvante::card {

inline double rounded_to_double(double x) {
    volatile double stored = x;
    return stored;
}

inline float rounded_to_float(double x) {
    volatile float stored = static_cast<float>(x);
    return stored;
}

}  // namespace morvante::card
