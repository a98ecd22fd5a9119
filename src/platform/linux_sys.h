// The system calls of the Linux platform, behind one seam. The library links
// linux_sys.cpp; the tests link a fake in its place, so that no test ever
// executes a port instruction or opens /dev/port, whatever its privileges and
// whatever the kernel allows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvante::platform::linux_sys {

// ioperm(from, count, 1): lets the calling thread execute IN/OUT on those
// ports. 0 on success, else the errno (EPERM: no CAP_SYS_RAWIO, kernel
// lockdown or a seccomp filter; ENOSYS: a kernel without the I/O-port system
// calls; EINVAL: ports beyond what ioperm covers).
int ioperm_on(std::uint32_t from, std::uint32_t count);

// open("/dev/port", O_RDWR | O_CLOEXEC): the descriptor, or -errno.
int open_dev_port();
void close_fd(int fd);

// One pread/pwrite of one byte at offset `port`. True when the byte moved.
bool pread_byte(int fd, std::uint32_t port, std::uint8_t& byte);
bool pwrite_byte(int fd, std::uint32_t port, std::uint8_t byte);

// IN AL,DX and OUT DX,AL. The caller must have had ioperm_on() succeed for the
// port on the calling thread: otherwise the thread dies of SIGSEGV.
std::uint8_t inb(std::uint16_t port);
void outb(std::uint16_t port, std::uint8_t value);

// Only to explain a refusal, never to decide: whether the process holds
// CAP_SYS_RAWIO in its effective set, and the kernel lockdown mode as
// /sys/kernel/security/lockdown shows it ("none", "integrity",
// "confidentiality"), or "" where the kernel has no lockdown.
bool has_cap_sys_rawio();
void lockdown_mode(char* out, std::size_t size);

}  // namespace morvante::platform::linux_sys
