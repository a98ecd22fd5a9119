// Platform of MORVANTEPORTIO.DLL on Windows 95 to 11.
//
// The DLL runs without a C runtime: DllMain is its entry point, it imports
// only from KERNEL32 (functions Windows 95 already has) and DlPortIO.dll, and
// it allocates nothing.
#include "platform/platform.h"
#include "platform/x86_io.h"

#include <windows.h>

// The port driver library, bound when the DLL loads (through an import
// library made from our own list of these two functions).
extern "C" {
__declspec(dllimport) UCHAR __stdcall DlPortReadPortUchar(ULONG port);
__declspec(dllimport) void __stdcall DlPortWritePortUchar(ULONG port, UCHAR value);
}

namespace morvante::platform {

namespace {

// GetVersion(): bit 31 is set on the Windows 95/98/Me family, where ring-3
// code may execute IN and OUT, and clear on the NT family, where only a driver
// may.
constexpr DWORD win9x_family_bit = 0x80000000u;

// Origin and rate of the millisecond clock, fixed when the DLL is loaded.
// QueryPerformanceCounter gives sub-millisecond steps; GetTickCount's 10-16 ms
// steps would stretch a 100 ms time-out to about 116 ms, so it is only the
// fallback for machines without a performance counter.
LARGE_INTEGER counter_origin;
LARGE_INTEGER counter_frequency;
DWORD tick_origin;

void start() {
    if (!QueryPerformanceFrequency(&counter_frequency) || counter_frequency.QuadPart <= 0 ||
        !QueryPerformanceCounter(&counter_origin))
        counter_frequency.QuadPart = 0;
    tick_origin = GetTickCount();
}

bool direct_io_allowed() {
    return (GetVersion() & win9x_family_bit) != 0;
}

// Ring 3 may run IN and OUT on Windows 95/98/Me, the only family for which
// direct_io_allowed() says yes.
std::uint8_t cpu_in(std::uint16_t port) { return x86::in_byte(port); }
void cpu_out(std::uint16_t port, std::uint8_t value) { x86::out_byte(port, value); }

std::uint8_t driver_read(std::uint32_t port) {
    return DlPortReadPortUchar(port);
}

void driver_write(std::uint32_t port, std::uint8_t value) {
    DlPortWritePortUchar(port, value);
}

std::int32_t elapsed_ms() {
    std::uint32_t ms;
    LARGE_INTEGER now;
    if (counter_frequency.QuadPart > 0 && QueryPerformanceCounter(&now)) {
        // Split so that counts * 1000 cannot overflow at GHz counter rates.
        const std::uint64_t counts = static_cast<std::uint64_t>(now.QuadPart - counter_origin.QuadPart);
        const std::uint64_t rate = static_cast<std::uint64_t>(counter_frequency.QuadPart);
        ms = static_cast<std::uint32_t>((counts / rate) * 1000 + (counts % rate) * 1000 / rate);
    } else {
        ms = GetTickCount() - tick_origin;
    }
    return static_cast<std::int32_t>(ms);
}

}  // namespace

const Backend backend = {
    start,
    direct_io_allowed,
    cpu_in,
    cpu_out,
    driver_read,
    driver_write,
    elapsed_ms,
};

}  // namespace morvante::platform

// No C runtime, so this is the DLL's entry point itself.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        morvante::platform::backend.start();
    return TRUE;
}
