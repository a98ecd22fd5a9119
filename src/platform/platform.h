// What the card and port code need from the machine they run on.
//
// A platform is one table of the functions below. Each build links exactly
// one platform file, which defines `backend`; the top CMakeLists.txt says
// which file each build takes. The card and port code call only through this
// table and never ask which platform they run on.
//
// Every entry may assume:
//   - start() has returned before any other entry is called, and it is
//     called once per load (the unit tests call it again to start afresh);
//   - after start(), any entry may be called from any thread, several at once,
//     with no lock held: the library serialises nothing;
//   - cpu_in/cpu_out are only called right after direct_io_allowed() said
//     yes, driver_read/driver_write only right after it said no.
// Every entry must:
//   - return: no exception, no abort, no signal, no wait beyond the bus
//     access itself; a platform that cannot reach a port answers as a
//     floating bus does (reads 0xFF) and drops the write;
//   - allocate nothing the host would have to release.
#pragma once

#include <cstdint>

namespace morvante::platform {

struct Backend {
    // Runs once when the library is loaded, on the loading thread, before any
    // host call can arrive: from DllMain on Windows (under the loader lock, so
    // it loads no module), from a shared-object constructor on ELF systems.
    // Fixes the origin of elapsed_ms() and acquires whatever port access the
    // platform must ask for before its first access. Touches no port.
    void (*start)();

    // May this process execute the port instructions itself (the direct path),
    // or must every byte go through the driver path? Asked afresh before
    // every single access, so it must be cheap; the caller caches nothing.
    bool (*direct_io_allowed)();

    // The processor's byte-wide port instructions, IN AL,DX and OUT DX,AL, at
    // a 16-bit port address. The platform makes sure that the calling thread
    // may execute them; where it cannot, the read gives 0xFF and the write is
    // dropped, so that a host thread never dies of a protection fault.
    std::uint8_t (*cpu_in)(std::uint16_t port);
    void (*cpu_out)(std::uint16_t port, std::uint8_t value);

    // One byte through the port driver, addressed by the full 32-bit port
    // number as the host gave it (on Windows, DlPortReadPortUchar and
    // DlPortWritePortUchar). A port that nothing answers reads 0xFF.
    std::uint8_t (*driver_read)(std::uint32_t port);
    void (*driver_write)(std::uint32_t port, std::uint8_t value);

    // Milliseconds of real time since start(), wrapping modulo 2^32, from a
    // clock that never steps backwards. Only the difference of two readings
    // taken within one call is used. Lock-free.
    std::int32_t (*elapsed_ms)();
};

// The platform of this build.
extern const Backend backend;

}  // namespace morvante::platform
