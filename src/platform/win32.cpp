// Platform of MORVANTEPORTIO.DLL on Windows 95 to 11.
//
// The DLL runs without a C runtime: DllMain is its entry point, it imports
// only from KERNEL32 (functions Windows 95 already has) and DlPortIO.dll, and
// it allocates nothing.
#include "platform/counter_ms.h"
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

// Whether the kernel is NT's, found once at load. The version word alone
// cannot say: a compatibility mode ("Windows 98 / Me", a common setting for
// old lab programs) rewrites what GetVersion and GetVersionEx return, and a
// 32-bit host on an NT kernel that believes it and runs IN or OUT dies of a
// privileged-instruction fault. What no compatibility mode rewrites is the
// process itself: on every NT kernel, ntdll.dll (the loader and the
// system-call stubs) is mapped into every process before any other module, so
// GetModuleHandle finds it. Windows 95 has no ntdll.dll, and 98 and Me load
// none into a process (their Win32 calls go through KERNEL32 to the VMM), so
// there it finds nothing; a 95/98/Me host that loaded ntdll.dll itself would
// only send the library down the driver path, which fails safe. There is no
// 64-bit 95/98/Me: the 64-bit DLL knows it runs on NT.
//
// Kept as the mask of the version word's bit that may allow the instructions:
// the 95/98/Me bit on a kernel of theirs, nothing on NT.
DWORD instructions_allowed_bit = 0;

// The millisecond clock: the performance counter's counts since the DLL was
// loaded, scaled without a division (counter_ms.h). QueryPerformanceCounter
// gives sub-millisecond steps; GetTickCount's 10-16 ms steps would stretch a
// 100 ms time-out to about 116 ms, so it is only the fallback for machines
// without a usable performance counter. Which of the three serves is chosen
// once, at load, so that a poll pass asks nothing more.
std::int64_t counter_origin;
CounterScale counter_scale;
DWORD tick_origin;

std::int32_t ticks_since_load() {
    return static_cast<std::int32_t>(GetTickCount() - tick_origin);
}

template <std::uint32_t (*scale_counts)(std::int64_t, const CounterScale&)>
std::int32_t counts_since_load() {
    LARGE_INTEGER now;
    if (!QueryPerformanceCounter(&now))
        return ticks_since_load();
    return static_cast<std::int32_t>(scale_counts(now.QuadPart - counter_origin, counter_scale));
}

std::int32_t (*clock_source)() = ticks_since_load;

void start() {
    const bool nt_kernel = sizeof(void*) == 8 || GetModuleHandleA("ntdll.dll") != nullptr;
    instructions_allowed_bit = nt_kernel ? 0 : win9x_family_bit;
    tick_origin = GetTickCount();
    LARGE_INTEGER frequency, now;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0 &&
        make_counter_scale(static_cast<std::uint64_t>(frequency.QuadPart), counter_scale) &&
        QueryPerformanceCounter(&now)) {
        counter_origin = now.QuadPart;
        clock_source = counter_scale.narrow ? counts_since_load<narrow_counter_ms>
                                            : counts_since_load<wide_counter_ms>;
    }
}

// The version word is still asked before every access; the instructions run
// only where it says 95/98/Me and the kernel is one of theirs.
bool direct_io_allowed() {
    return (GetVersion() & instructions_allowed_bit) != 0;
}

// Ring 3 may run IN and OUT on a Windows 95/98/Me kernel, the only one for
// which direct_io_allowed() says yes.
std::uint8_t cpu_in(std::uint16_t port) { return x86::in_byte(port); }
void cpu_out(std::uint16_t port, std::uint8_t value) { x86::out_byte(port, value); }

std::uint8_t driver_read(std::uint32_t port) {
    return DlPortReadPortUchar(port);
}

void driver_write(std::uint32_t port, std::uint8_t value) {
    DlPortWritePortUchar(port, value);
}

std::int32_t elapsed_ms() { return clock_source(); }

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
