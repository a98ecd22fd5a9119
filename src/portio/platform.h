// What the library needs from the machine it runs on. Exactly one platform
// file implements these, chosen by the build: the Windows one, the simulated
// card for native builds, or the test fake. The card and port code above this
// line never ask which one it is.
#pragma once

#include <cstdint>

namespace morvante::platform {

// The platform version word as Win32 GetVersion() gives it. Bit 31 set means
// the Windows 95/98/Me family, where application code may run IN and OUT
// itself; clear means the NT family, where only a driver may.
std::uint32_t version_word();

// The processor's byte-wide port instructions (IN AL,DX / OUT DX,AL).
std::uint8_t cpu_in(std::uint16_t port);
void cpu_out(std::uint16_t port, std::uint8_t value);

// The port driver library's byte access (DlPortReadPortUchar and
// DlPortWritePortUchar), which take the full 32-bit port number.
std::uint8_t driver_read(std::uint32_t port);
void driver_write(std::uint32_t port, std::uint8_t value);

// Milliseconds of real time since the library was loaded, wrapping modulo
// 2^32. Only the difference of two readings within one call is meaningful.
std::int32_t elapsed_ms();

}  // namespace morvante::platform
