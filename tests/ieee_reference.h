// Expected volts computed with integers only, so that the expectation does not
// depend on the FPU the tests run on (the x87 keeps 64-bit mantissas where
// IEEE double keeps 53).
#pragma once

#include <cstdint>

namespace morvante::reference {

// (float)((code - 2047.5) * (5.12 / 2047)) as IEEE double arithmetic gives it.
float volts_for_code(int code);

std::uint32_t bits(float f);
float from_bits(std::uint32_t bits);

}  // namespace morvante::reference
