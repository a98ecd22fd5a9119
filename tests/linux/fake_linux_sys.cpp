#include "fake_linux_sys.h"

#include "platform/linux_sys.h"

#include <unistd.h>

#include <cstdio>

namespace morvante::fake {

std::ostream& operator<<(std::ostream& os, const SysCall& c) {
    static const char* const names[] = {"ioperm", "open", "close", "pread", "pwrite", "inb", "outb"};
    return os << names[static_cast<int>(c.call)] << "(0x" << std::hex << c.port << ", " << std::dec << c.count
              << ")";
}

FakeSys& sys() {
    static FakeSys instance;
    return instance;
}

void FakeSys::reset() {
    std::lock_guard<std::mutex> hold(lock);
    ioperm_error = 0;
    ioperm_limit = 0x10000;
    open_result = -ENOENT;
    cap_sys_rawio = false;
    lockdown.clear();
    bus.clear();
    written.clear();
    calls.clear();
    threads.clear();
    faults = 0;
    granted.clear();
}

std::vector<SysCall> FakeSys::calls_on(std::thread::id thread) {
    std::lock_guard<std::mutex> hold(lock);
    std::vector<SysCall> mine;
    for (std::size_t i = 0; i < calls.size(); ++i)
        if (threads[i] == thread)
            mine.push_back(calls[i]);
    return mine;
}

namespace {

void record(FakeSys& s, Sys call, std::uint32_t port, std::uint32_t count) {
    s.calls.push_back({call, port, count});
    s.threads.push_back(std::this_thread::get_id());
}

std::set<std::uint32_t>& my_grant(FakeSys& s) {
    return s.granted[{getpid(), std::this_thread::get_id()}];
}

std::uint8_t bus_read(FakeSys& s, std::uint32_t port) {
    const auto it = s.bus.find(port);
    return it == s.bus.end() ? 0xFF : it->second;
}

}  // namespace

}  // namespace morvante::fake

namespace morvante::platform::linux_sys {

using fake::Sys;

int ioperm_on(std::uint32_t from, std::uint32_t count) {
    auto& s = fake::sys();
    std::lock_guard<std::mutex> hold(s.lock);
    fake::record(s, Sys::ioperm, from, count);
    if (s.ioperm_error != 0)
        return s.ioperm_error;
    if (from + count > s.ioperm_limit)
        return EINVAL;
    for (std::uint32_t p = from; p < from + count; ++p)
        fake::my_grant(s).insert(p);
    return 0;
}

int open_dev_port() {
    auto& s = fake::sys();
    std::lock_guard<std::mutex> hold(s.lock);
    fake::record(s, Sys::open, 0, 0);
    return s.open_result;
}

void close_fd(int) {
    auto& s = fake::sys();
    std::lock_guard<std::mutex> hold(s.lock);
    fake::record(s, Sys::close, 0, 0);
}

bool pread_byte(int fd, std::uint32_t port, std::uint8_t& byte) {
    auto& s = fake::sys();
    std::lock_guard<std::mutex> hold(s.lock);
    fake::record(s, Sys::pread, port, 1);
    if (fd != fake::dev_port_fd || port > 0xFFFF)  // /dev/port ends after port 0xFFFF
        return false;
    byte = fake::bus_read(s, port);
    return true;
}

bool pwrite_byte(int fd, std::uint32_t port, std::uint8_t byte) {
    auto& s = fake::sys();
    std::lock_guard<std::mutex> hold(s.lock);
    fake::record(s, Sys::pwrite, port, 1);
    if (fd != fake::dev_port_fd || port > 0xFFFF)
        return false;
    s.written.push_back({port, byte});
    return true;
}

std::uint8_t inb(std::uint16_t port) {
    auto& s = fake::sys();
    std::lock_guard<std::mutex> hold(s.lock);
    fake::record(s, Sys::inb, port, 1);
    if (!fake::my_grant(s).count(port)) {
        ++s.faults;
        return 0xFF;
    }
    return fake::bus_read(s, port);
}

void outb(std::uint16_t port, std::uint8_t value) {
    auto& s = fake::sys();
    std::lock_guard<std::mutex> hold(s.lock);
    fake::record(s, Sys::outb, port, 1);
    if (!fake::my_grant(s).count(port)) {
        ++s.faults;
        return;
    }
    s.written.push_back({port, value});
}

bool has_cap_sys_rawio() { return fake::sys().cap_sys_rawio; }

void lockdown_mode(char* out, std::size_t size) {
    std::snprintf(out, size, "%s", fake::sys().lockdown.c_str());
}

}  // namespace morvante::platform::linux_sys
