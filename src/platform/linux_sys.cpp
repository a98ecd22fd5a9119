// The real system calls behind the Linux platform's seam.
#include "platform/linux_sys.h"
#include "platform/x86_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/io.h>  // ioperm
#include <unistd.h>

namespace morvante::platform::linux_sys {

namespace {
constexpr int cap_sys_rawio = 17;  // bit in the CapEff mask of /proc/self/status
}

int ioperm_on(std::uint32_t from, std::uint32_t count) {
    return ::ioperm(from, count, 1) == 0 ? 0 : errno;
}

int open_dev_port() {
    const int fd = ::open("/dev/port", O_RDWR | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

void close_fd(int fd) { ::close(fd); }

bool pread_byte(int fd, std::uint32_t port, std::uint8_t& byte) {
    return ::pread(fd, &byte, 1, static_cast<off_t>(port)) == 1;
}

bool pwrite_byte(int fd, std::uint32_t port, std::uint8_t byte) {
    return ::pwrite(fd, &byte, 1, static_cast<off_t>(port)) == 1;
}

std::uint8_t inb(std::uint16_t port) { return x86::in_byte(port); }
void outb(std::uint16_t port, std::uint8_t value) { x86::out_byte(port, value); }

bool has_cap_sys_rawio() {
    FILE* f = std::fopen("/proc/self/status", "re");
    if (!f)
        return false;
    char line[256];
    unsigned long long effective = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "CapEff: %llx", &effective) == 1)
            break;
    std::fclose(f);
    return (effective >> cap_sys_rawio) & 1;
}

void lockdown_mode(char* out, std::size_t size) {
    // The file lists the modes and brackets the one in force: "none [integrity] confidentiality".
    if (size == 0)
        return;
    out[0] = '\0';
    FILE* f = std::fopen("/sys/kernel/security/lockdown", "re");
    if (!f)
        return;
    char line[128] = "";
    const bool got = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    const char* open = got ? std::strchr(line, '[') : nullptr;
    const char* close = open ? std::strchr(open, ']') : nullptr;
    if (!close)
        return;
    const std::size_t n = static_cast<std::size_t>(close - open - 1) < size - 1
                              ? static_cast<std::size_t>(close - open - 1)
                              : size - 1;
    std::memcpy(out, open + 1, n);
    out[n] = '\0';
}

}  // namespace morvante::platform::linux_sys
