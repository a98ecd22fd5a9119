// How the Linux platform reaches the I/O ports, and why.
//
// The library reports nothing beyond its six functions' values, so a program
// built with these sources (the command-line tools, the tests) learns here
// which path the library takes in this process and the reason: the decision
// depends only on the process's privileges and the kernel, so taking it again
// in the same process gives the library's answer.
#pragma once

#include <cstdint>
#include <string>

namespace morvante::platform::linux_ports {

// The card's five ports, which the library asks ioperm for when it is loaded.
constexpr std::uint32_t card_first_port = 0x280;
constexpr std::uint32_t card_port_count = 5;

enum class PortPath {
    direct,    // ioperm granted: the library executes IN/OUT itself
    dev_port,  // ioperm refused, /dev/port open: one pread/pwrite per byte
    none,      // neither: reads give 0xFF (a floating bus), writes are dropped
};

struct PortAccess {
    PortPath path = PortPath::none;
    int ioperm_error = 0;    // errno of ioperm on the card's ports; 0: granted
    int dev_port_error = 0;  // errno of opening /dev/port; 0: opened, or not tried
    // The last port that a thread was refused on the direct path (-1: none),
    // for example one above the range ioperm covers, and that errno.
    std::int64_t refused_port = -1;
    int refused_error = 0;
};

// What the explanation needs beyond the errno values.
struct Circumstances {
    bool cap_sys_rawio = false;   // CAP_SYS_RAWIO in the effective set
    char lockdown[32] = "";       // "none", "integrity", "confidentiality"; "": no lockdown
};

// The decision the library takes when it is loaded: ioperm on the card's five
// ports for the calling thread; where that is refused, open /dev/port. On
// PortPath::dev_port, *dev_port_fd receives the open descriptor (the caller
// closes it); otherwise it is set to -1.
PortAccess decide_port_access(int* dev_port_fd);

// The decision of the library in this process, as its platform took it at
// load, with the last refusal a thread met since. Only meaningful in a
// program that links the Linux platform itself.
PortAccess port_access();

Circumstances look_around();

// One line for a user: the path, and on a refusal what refused it and what
// to do about it.
std::string explain(const PortAccess& access, const Circumstances& around);

const char* path_name(PortPath path);

}  // namespace morvante::platform::linux_ports
