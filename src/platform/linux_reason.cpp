// Why the Linux platform takes the path it takes, in words a user can act on.
#include "platform/linux.h"
#include "platform/linux_sys.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace morvante::platform::linux_ports {

namespace {

bool locked_down(const Circumstances& around) {
    return around.lockdown[0] != '\0' && std::strcmp(around.lockdown, "none") != 0;
}

std::string hex(std::int64_t port) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(port));
    return text;
}

// Why ioperm refused, and what would make it grant.
std::string ioperm_refusal(int error, std::int64_t port, const Circumstances& around) {
    switch (error) {
    case EPERM:
        if (locked_down(around))
            return std::string("EPERM: kernel lockdown is '") + around.lockdown +
                   "', which Secure Boot turns on, and it refuses port access even to root";
        if (around.cap_sys_rawio)
            return "EPERM although the process holds CAP_SYS_RAWIO, so a seccomp filter or security module "
                   "refuses ioperm; in a container, add --cap-add SYS_RAWIO and allow ioperm in the seccomp profile";
        return "EPERM: not root and no CAP_SYS_RAWIO; run as root, or give the program the capability "
               "with setcap cap_sys_rawio+ep PROGRAM";
    case ENOSYS:
        return "ENOSYS: this kernel was built without the I/O-port system calls, as in VM-based containers";
    case EINVAL:
        return "EINVAL: port " + hex(port) + " is above the range ioperm covers";
    default:
        return std::string(std::strerror(error));
    }
}

std::string dev_port_refusal(int error, const Circumstances& around) {
    switch (error) {
    case ENOENT:
        return "there is no /dev/port";
    case EPERM:
        return locked_down(around) ? "/dev/port is closed by kernel lockdown"
                                   : "/dev/port needs CAP_SYS_RAWIO";
    case EACCES:
        return "/dev/port is not readable and writable by this user";
    default:
        return std::string("/dev/port cannot be opened: ") + std::strerror(error);
    }
}

}  // namespace

const char* path_name(PortPath path) {
    switch (path) {
    case PortPath::direct: return "direct";
    case PortPath::dev_port: return "/dev/port";
    case PortPath::none: return "none";
    }
    return "?";
}

Circumstances look_around() {
    Circumstances around;
    around.cap_sys_rawio = linux_sys::has_cap_sys_rawio();
    linux_sys::lockdown_mode(around.lockdown, sizeof around.lockdown);
    return around;
}

std::string explain(const PortAccess& access, const Circumstances& around) {
    const std::string card_ports = hex(card_first_port) + "-" + hex(card_first_port + card_port_count - 1);
    std::string text;
    switch (access.path) {
    case PortPath::direct:
        text = "direct: ioperm granted ports " + card_ports + "; the library executes IN/OUT itself";
        break;
    case PortPath::dev_port:
        text = "/dev/port: ioperm was refused with " +
               ioperm_refusal(access.ioperm_error, card_first_port, around) +
               "; /dev/port is open, so each byte is one pread/pwrite";
        break;
    case PortPath::none:
        text = "none: ioperm was refused with " + ioperm_refusal(access.ioperm_error, card_first_port, around) +
               "; " + dev_port_refusal(access.dev_port_error, around) +
               "; so every port reads 0xFF, writes are dropped and the card reads as absent";
        break;
    }
    if (access.refused_port >= 0)
        text += ". Since, a thread was refused port " + hex(access.refused_port) + " with " +
                ioperm_refusal(access.refused_error, access.refused_port, around);
    return text;
}

}  // namespace morvante::platform::linux_ports
