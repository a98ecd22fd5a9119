// Platform of libmorvanteportio.so: the real card on Linux.
//
// Direct path: ioperm() lets a thread execute IN/OUT on the ports it names.
// The permission belongs to the thread, not the process: a thread created
// before the grant, or a host thread that never asked, dies of SIGSEGV on its
// first IN/OUT. So every thread is granted on its own first access (the
// card's five ports at once, any other port when it is first asked for), and
// a thread that cannot be granted reads 0xFF and has its writes dropped
// instead of executing the instruction.
//
// Driver path: where ioperm is refused but /dev/port opens (root on a kernel
// without the I/O-port system calls), each byte is one pread/pwrite of one
// byte at offset = port. Neither: the bus floats, so the card reads as absent.
#include "platform/linux.h"

#include "platform/linux_sys.h"
#include "platform/platform.h"
#include "platform/steady_ms.h"

#include <atomic>
#include <cstdint>

#include <pthread.h>

namespace morvante::platform {

namespace linux_ports {

PortAccess decide_port_access(int* dev_port_fd) {
    PortAccess access;
    *dev_port_fd = -1;
    access.ioperm_error = linux_sys::ioperm_on(card_first_port, card_port_count);
    if (access.ioperm_error == 0) {
        access.path = PortPath::direct;
        return access;
    }
    const int fd = linux_sys::open_dev_port();
    if (fd >= 0) {
        access.path = PortPath::dev_port;
        *dev_port_fd = fd;
    } else {
        access.path = PortPath::none;
        access.dev_port_error = -fd;
    }
    return access;
}

}  // namespace linux_ports

namespace {

using linux_ports::PortAccess;
using linux_ports::PortPath;

constexpr std::uint8_t floating_bus = 0xFF;

// Taken once by start(), read by every access afterwards.
SteadyMilliseconds ms_clock;
PortAccess decision;
int dev_port_fd = -1;

// The last refusal a thread met on the direct path, from any thread, in one
// word so that its port and errno always belong together: a flag bit, the
// port in bits 32..47 and the errno in the low 32 bits. 0: none.
constexpr std::uint64_t refusal_flag = std::uint64_t{1} << 48;
std::atomic<std::uint64_t> last_refusal{0};

// The ports the calling thread holds: a bit per port below 0x400, where the
// ISA cards live, and the last port above it. Zero-initialised in every new
// thread, which so starts with nothing granted whatever the kernel copied.
constexpr std::uint32_t low_port_limit = 0x400;
struct ThreadGrant {
    std::uint64_t low[low_port_limit / 64];
    std::uint32_t high_plus_one;  // 0: none
};
thread_local ThreadGrant grant;

bool holds(std::uint16_t port) {
    if (port < low_port_limit)
        return (grant.low[port / 64] >> (port % 64)) & 1;
    return grant.high_plus_one == port + 1u;
}

void mark(std::uint16_t port) {
    if (port < low_port_limit)
        grant.low[port / 64] |= std::uint64_t{1} << (port % 64);
    else
        grant.high_plus_one = port + 1u;
}

void mark_card() {
    for (std::uint32_t p = linux_ports::card_first_port;
         p < linux_ports::card_first_port + linux_ports::card_port_count; ++p)
        mark(static_cast<std::uint16_t>(p));
}

void refused(std::uint16_t port, int error) {
    last_refusal.store(refusal_flag | std::uint64_t{port} << 32 | static_cast<std::uint32_t>(error),
                       std::memory_order_relaxed);
}

bool is_card_port(std::uint16_t port) {
    return port >= linux_ports::card_first_port &&
           port < linux_ports::card_first_port + linux_ports::card_port_count;
}

// True when the calling thread may execute IN/OUT at `port`, asking the kernel
// for it first where the thread does not hold it yet: all five card ports at
// once, any other port on its own.
bool thread_may_access(std::uint16_t port) {
    if (holds(port))
        return true;
    const bool card = is_card_port(port);
    const int error = card ? linux_sys::ioperm_on(linux_ports::card_first_port, linux_ports::card_port_count)
                           : linux_sys::ioperm_on(port, 1);
    if (error != 0) {
        refused(port, error);
        return false;
    }
    if (card)
        mark_card();
    else
        mark(port);
    return true;
}

// A child of fork() has one thread, a copy of the forking one, whose grant it
// may or may not have inherited, depending on the kernel: ask again.
void forget_grant_in_child() { grant = ThreadGrant{}; }

void start() {
    static bool fork_handler_registered = false;
    if (!fork_handler_registered)
        fork_handler_registered = pthread_atfork(nullptr, nullptr, forget_grant_in_child) == 0;

    ms_clock.start();
    if (dev_port_fd >= 0)
        linux_sys::close_fd(dev_port_fd);
    grant = ThreadGrant{};
    last_refusal.store(0, std::memory_order_relaxed);
    decision = linux_ports::decide_port_access(&dev_port_fd);
    if (decision.path == PortPath::direct)
        mark_card();  // ioperm was granted to this thread just now
}

bool direct_io_allowed() { return decision.path == PortPath::direct; }

std::uint8_t cpu_in(std::uint16_t port) {
    return thread_may_access(port) ? linux_sys::inb(port) : floating_bus;
}

void cpu_out(std::uint16_t port, std::uint8_t value) {
    if (thread_may_access(port))
        linux_sys::outb(port, value);
}

std::uint8_t driver_read(std::uint32_t port) {
    std::uint8_t byte;
    if (dev_port_fd >= 0 && linux_sys::pread_byte(dev_port_fd, port, byte))
        return byte;
    return floating_bus;  // no /dev/port, or beyond its 64 KiB of ports
}

void driver_write(std::uint32_t port, std::uint8_t value) {
    if (dev_port_fd >= 0)
        linux_sys::pwrite_byte(dev_port_fd, port, value);
}

std::int32_t elapsed_ms() { return ms_clock.elapsed(); }

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

linux_ports::PortAccess linux_ports::port_access() {
    PortAccess access = decision;
    const std::uint64_t refusal = last_refusal.load(std::memory_order_relaxed);
    if (refusal & refusal_flag) {
        access.refused_port = (refusal >> 32) & 0xFFFF;
        access.refused_error = static_cast<int>(refusal & 0xFFFFFFFFu);
    }
    return access;
}

}  // namespace morvante::platform
