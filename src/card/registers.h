// The converter card on the I/O port bus, as the library drives it.
#pragma once

#include <cstdint>

namespace morvante::card {

// ---- Register map (five byte ports from 0x280) -------------------------------
//   0x280  W  channel 0 data port: writing 0xFF starts a conversion on channel 0
//   0x280  R  channel 0 result, code bits 11..4
//   0x281  R  channel 0 result, code bits 3..0 in byte bits 7..4 (3..0 ignored)
//   0x282  W  channel 1 data port: writing 0xFF starts a conversion on channel 1
//   0x282  R  channel 1 result, code bits 11..4
//   0x283  R  channel 1 result, code bits 3..0 in byte bits 7..4 (3..0 ignored)
//   0x284  R  status: bit 0 = channel 0 busy, bit 1 = channel 1 busy (others ignored)
// A channel's low-nibble port is always its data port + 1.
constexpr int channel_count = 2;
constexpr int channel_port[channel_count] = {0x280, 0x282};
constexpr int status_port = 0x284;
constexpr std::uint8_t busy_mask[channel_count] = {0x01, 0x02};

// ---- Conversion protocol ----------------------------------------------------
constexpr int start_byte = 0xFF;                 // written to a data port to start
constexpr double conversion_timeout_s = 0.1;     // longest wait for the busy bit
constexpr double seconds_per_ms = 0.001;         // elapsed_ms() difference to seconds

// ---- Scale ------------------------------------------------------------------
// 12-bit codes 0..4095, offset binary. The scale is symmetric about 2047.5,
// so no code is 0 V; one step is about 2.5012 mV.
constexpr double mid_scale_code = 2047.5;
constexpr double volts_per_code = 5.12 / 2047;   // the double 0.0025012212994626284

inline bool valid_channel(int channel) { return channel == 0 || channel == 1; }

}  // namespace morvante::card
