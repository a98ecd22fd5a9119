#include "fake_platform.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

namespace morvante::fake {

std::ostream& operator<<(std::ostream& os, const Access& a) {
    return os << (a.path == Path::cpu ? "cpu " : "drv ") << (a.dir == Dir::in ? "in  " : "out ")
              << std::hex << std::showbase << a.port << " = " << int(a.value) << std::dec;
}

FakePlatform& platform() {
    static FakePlatform instance;
    return instance;
}

std::uint8_t FakePlatform::answer(std::uint32_t port) {
    if (runaway)
        return 0x00;  // let a poll that ignores its time-out end
    if (on_read) {
        if (auto byte = on_read(port))
            return *byte;
    }
    auto it = reads.find(port);
    if (it == reads.end() || it->second.empty())
        return 0xFF;
    const std::uint8_t byte = it->second.front();
    if (it->second.size() > 1)
        it->second.pop_front();
    return byte;
}

std::int32_t FakePlatform::tick() {
    if (++clock_reads == runaway_reads) {
        ADD_FAILURE() << "the clock was read " << runaway_reads
                      << " times in one test: a wait that never times out";
        runaway = true;
    }
    if (!clock_script.empty()) {
        clock_now = clock_script.front();
        clock_script.pop_front();
    } else if (clock_reads > 1) {
        clock_now = static_cast<std::int32_t>(static_cast<std::uint32_t>(clock_now) +
                                              static_cast<std::uint32_t>(clock_step));
    }
    return clock_now;
}

int FakePlatform::count(Dir dir, std::uint32_t port) const {
    int n = 0;
    for (const Access& a : log)
        n += (a.dir == dir && a.port == port);
    return n;
}

}  // namespace morvante::fake

namespace morvante::platform {

namespace {

using fake::Dir;
using fake::Path;

void start() {}

bool direct_io_allowed() {
    auto& p = fake::platform();
    ++p.family_queries;
    return p.family_9x;
}

std::uint8_t logged_read(Path path, std::uint32_t port) {
    auto& p = fake::platform();
    const std::uint8_t v = p.answer(port);
    p.log.push_back({path, Dir::in, port, v});
    return v;
}

void logged_write(Path path, std::uint32_t port, std::uint8_t value) {
    auto& p = fake::platform();
    p.log.push_back({path, Dir::out, port, value});
    if (p.on_write)
        p.on_write(port, value);
}

std::uint8_t cpu_in(std::uint16_t port) { return logged_read(Path::cpu, port); }
void cpu_out(std::uint16_t port, std::uint8_t value) { logged_write(Path::cpu, port, value); }

std::uint8_t driver_read(std::uint32_t port) { return logged_read(Path::driver, port); }
void driver_write(std::uint32_t port, std::uint8_t value) { logged_write(Path::driver, port, value); }

std::int32_t elapsed_ms() { return fake::platform().tick(); }

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
