// A fake of the Linux platform's system calls. It keeps, per process and
// thread, the ports ioperm granted, so that an IN/OUT on a thread without the
// grant (which on a real kernel kills the host with SIGSEGV) shows up as a
// counted fault; /dev/port is a 64 KiB file of port bytes. Nothing here
// touches a real port or device.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace morvante::fake {

enum class Sys { ioperm, open, close, pread, pwrite, inb, outb };

struct SysCall {
    Sys call;
    std::uint32_t port;      // ioperm: first port; open/close: 0
    std::uint32_t count;     // ioperm: number of ports; in/out/pread/pwrite: 1
    bool operator==(const SysCall& o) const { return call == o.call && port == o.port && count == o.count; }
};
std::ostream& operator<<(std::ostream& os, const SysCall& c);

constexpr int dev_port_fd = 42;

struct FakeSys {
    // The kernel's answers.
    int ioperm_error = 0;               // errno ioperm gives; 0 grants
    std::uint32_t ioperm_limit = 0x10000;  // ports from here on give EINVAL (old kernels: 0x400)
    int open_result = -ENOENT;          // /dev/port: a descriptor, or -errno
    bool cap_sys_rawio = false;
    std::string lockdown;

    // The bus: what each port reads (unset: 0xFF), and what was written.
    std::map<std::uint32_t, std::uint8_t> bus;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> written;

    // What happened, in order, and on which thread of which process.
    std::vector<SysCall> calls;
    std::vector<std::thread::id> threads;
    int faults = 0;  // IN/OUT on a thread without the grant
    std::map<std::pair<pid_t, std::thread::id>, std::set<std::uint32_t>> granted;

    std::mutex lock;

    void reset();
    std::vector<SysCall> calls_on(std::thread::id thread);
};

FakeSys& sys();

}  // namespace morvante::fake
