// The platform of the benchmarks: a card on the instruction path that
// answers at once (or never, for the time-out), with the real monotonic
// clock, so that a conversion costs what the library and the clock cost and
// no bus time at all.
#pragma once

#include <cstdint>

namespace morvante::bench {

void card_answers(bool answers);  // false: the busy bits never clear
void card_code(int code);         // the code both channels give

}  // namespace morvante::bench
