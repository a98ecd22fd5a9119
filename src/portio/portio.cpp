// in_port / out_port: one byte at one I/O port.
//
// The 9x family lets ring-3 code execute IN/OUT, so the library does it and
// only the low 16 bits of the port number address the x86 I/O space. The NT
// family traps those instructions, so the byte goes through the port driver
// library, which is handed the full 32-bit number as the caller gave it.
// No range is checked: the host may reach any port, as it always could.
#include "morvanteportio.h"
#include "portio/platform.h"
#include "portio/portio.h"

#include <cstdint>

namespace morvante {

namespace {
constexpr std::uint32_t kWin9xFamilyBit = 0x80000000u;  // GetVersion(): set on 95/98/Me
}

bool direct_io_allowed() {
    return (platform::version_word() & kWin9xFamilyBit) != 0;
}

}  // namespace morvante

extern "C" {

void MORVANTEPORTIO_CALL out_port(int port, int value) {
    const auto byte = static_cast<std::uint8_t>(value & 0xFF);
    if (morvante::direct_io_allowed())
        morvante::platform::cpu_out(static_cast<std::uint16_t>(port & 0xFFFF), byte);
    else
        morvante::platform::driver_write(static_cast<std::uint32_t>(port), byte);
}

unsigned char MORVANTEPORTIO_CALL in_port(int port) {
    if (morvante::direct_io_allowed())
        return morvante::platform::cpu_in(static_cast<std::uint16_t>(port & 0xFFFF));
    return morvante::platform::driver_read(static_cast<std::uint32_t>(port));
}

}  // extern "C"
