// Byte access to the I/O port bus, on whichever path the platform family allows.
#pragma once

namespace morvante {

// True on the Windows 95/98/Me family: the library runs IN/OUT itself.
// Asked afresh on every access; the answer is never cached.
bool direct_io_allowed();

}  // namespace morvante
