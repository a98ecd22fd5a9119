// The x86 byte-wide port instructions, IN AL,DX and OUT DX,AL, at a 16-bit
// port address. Only a platform that knows the calling thread may execute
// them calls these: elsewhere they fault (a general protection fault, which
// kills the host program).
#pragma once

#include <cstdint>

namespace morvante::platform::x86 {

inline std::uint8_t in_byte(std::uint16_t port) {
    std::uint8_t value;
    __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "d"(port));
    return value;
}

inline void out_byte(std::uint16_t port, std::uint8_t value) {
    __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "d"(port));
}

}  // namespace morvante::platform::x86
