// in_port / out_port: one byte at one I/O port.
//
// Where the platform lets this process execute IN/OUT (Windows 95/98/Me, or
// Linux with ioperm granted), the library does it, and only the low 16 bits of
// the port number address the x86 I/O space. Otherwise the byte goes through
// the port driver (DlPortIO.dll on the NT family), which is handed the full
// 32-bit number as the caller gave it. The platform is asked before every
// access, never cached. No range is checked: the host may reach any port, as
// it always could.
#include "morvanteportio.h"
#include "platform/platform.h"

#include <cstdint>

using morvante::platform::backend;

extern "C" {

void MORVANTEPORTIO_CALL out_port(int port, int value) {
    const auto byte = static_cast<std::uint8_t>(value & 0xFF);
    if (backend.direct_io_allowed())
        backend.cpu_out(static_cast<std::uint16_t>(port & 0xFFFF), byte);
    else
        backend.driver_write(static_cast<std::uint32_t>(port), byte);
}

unsigned char MORVANTEPORTIO_CALL in_port(int port) {
    if (backend.direct_io_allowed())
        return backend.cpu_in(static_cast<std::uint16_t>(port & 0xFFFF));
    return backend.driver_read(static_cast<std::uint32_t>(port));
}

}  // extern "C"
