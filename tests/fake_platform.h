// A platform for tests: a family switch (may the library run IN/OUT itself,
// as on 95/98/Me, or must it call the driver, as on NT), a log of every port
// access, a count of family queries, a scripted clock, and a bus whose
// answers the test sets.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <vector>

namespace morvante::fake {

enum class Path { cpu, driver };
enum class Dir { in, out };

struct Access {
    Path path;
    Dir dir;
    std::uint32_t port;
    std::uint8_t value;
    bool operator==(const Access& o) const {
        return path == o.path && dir == o.dir && port == o.port && value == o.value;
    }
};
std::ostream& operator<<(std::ostream& os, const Access& a);

using Log = std::vector<Access>;

struct FakePlatform {
    bool family_9x = false;  // false: the NT family's driver path
    int family_queries = 0;
    Log log;

    // Bus: a read pops the port's script, keeping the last byte once one is
    // left; an unscripted port floats (0xFF). `on_read` / `on_write`, when
    // set, model a card instead and take precedence.
    std::map<std::uint32_t, std::deque<std::uint8_t>> reads;
    std::function<std::optional<std::uint8_t>(std::uint32_t port)> on_read;
    std::function<void(std::uint32_t port, std::uint8_t value)> on_write;

    // Clock: the scripted readings first, then last + step per reading.
    std::deque<std::int32_t> clock_script;
    std::int32_t clock_now = 0;
    std::int32_t clock_step = 1;
    int clock_reads = 0;

    // A wait that ignores its time-out would spin for ever on a busy card;
    // past this many clock readings every port reads 0 so the test can fail.
    static constexpr int runaway_reads = 1000000;
    bool runaway = false;

    void reset() { *this = FakePlatform{}; }
    void script(std::uint32_t port, std::initializer_list<std::uint8_t> bytes) {
        reads[port].assign(bytes.begin(), bytes.end());
    }
    void set_family_9x(bool is_9x) { family_9x = is_9x; }
    std::uint8_t answer(std::uint32_t port);
    std::int32_t tick();
    int count(Dir dir, std::uint32_t port) const;
};

FakePlatform& platform();

// Log entries, for building expected logs.
inline Access in(Path p, std::uint32_t port, std::uint8_t v) { return {p, Dir::in, port, v}; }
inline Access out(Path p, std::uint32_t port, std::uint8_t v) { return {p, Dir::out, port, v}; }

}  // namespace morvante::fake
