// The conversion protocol, step by step: start, wait, fetch, scale.
// The card probe reuses the first two steps.
#pragma once

namespace morvante::card {

// Writes the start byte to the channel's data port.
void start_conversion(int channel);

// Polls the status port until the channel's busy bit clears or 0.1 s of
// elapsed clock has run out. True when the conversion finished in time.
bool wait_conversion(int channel);

// Reads the channel's two data ports (high byte first) into a 12-bit code.
int fetch_code(int channel);

// Code 0..4095 to volts, rounded to single precision.
float code_to_volts(int code);

}  // namespace morvante::card
