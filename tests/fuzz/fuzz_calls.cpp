// fuzz_calls: the six functions called in any order with any arguments,
// against a simulated card whose behaviour the input also picks, on a
// scripted clock so that a time-out costs nothing. After every call the
// invariants are checked; a broken one aborts with a message.
//
//   - readad gives NO_READING or one of the 4096 values of the scale;
//   - LitTension gives NO_READING or exactly the mean of the samples it took
//     (a single-precision sum rounded after each addition, divided in double);
//   - OKCarte is 0 or 1 and equals what the last Init returned;
//   - a channel other than 0 or 1, a count below 1, or LitTension with the
//     flag at 0 touches no port;
//   - in_port/out_port reach the low 16 bits of the port on the instruction
//     path and the full number on the driver path, with the value's low byte;
//   - the family is asked before every access.
#include "morvanteportio.h"
#include "platform/platform.h"
#include "sim_card.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace {

using morvante::sim::Behaviour;
using morvante::sim::SimCard;

// ---- The input, consumed a piece at a time (zeros once it runs out) ----------

struct Input {
    const std::uint8_t* at;
    std::size_t left;
    std::uint8_t byte() {
        if (!left) return 0;
        --left;
        return *at++;
    }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | byte();
        return v;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::uint32_t below(std::uint32_t n) { return u32() % n; }
    // Mostly small, sometimes anything: the values that matter and the edges.
    std::int32_t any_int() {
        switch (byte() % 4) {
        case 0: return static_cast<std::int8_t>(byte());
        case 1: return i32();
        case 2: return static_cast<std::int32_t>(0x280 + byte() % 8);
        default: {
            static const std::int32_t edges[] = {0, 1, -1, 2, 0xFFFF, 0x10000, 0x10280, INT32_MAX, INT32_MIN};
            return edges[byte() % 9];
        }
        }
    }
};

// ---- The bus: the simulated card, or raw bytes from the input ----------------

enum class Path { cpu, driver };
struct Access {
    Path path;
    bool write;
    std::uint32_t port;
    std::uint8_t value;
};

struct Bus {
    bool direct = true;
    bool raw = false;  // the bus answers bytes from the input, not the card
    Input* input = nullptr;
    std::int64_t now_us = 0;
    std::int32_t now_ms = 0;
    std::int32_t step_ms = 1;
    int family_queries = 0;
    std::vector<Access> log;
} bus;

std::int64_t card_clock() { return bus.now_us; }
SimCard card(card_clock);

std::uint8_t bus_read(Path path, std::uint32_t port) {
    bus.now_us += 3;  // an I/O cycle takes time
    const std::uint8_t v = bus.raw ? bus.input->byte() : card.read(port);
    bus.log.push_back({path, false, port, v});
    return v;
}

void bus_write(Path path, std::uint32_t port, std::uint8_t value) {
    bus.now_us += 3;
    bus.log.push_back({path, true, port, value});
    if (!bus.raw)
        card.write(port, value);
}

}  // namespace

// ---- The platform the library runs on here -------------------------------------

namespace morvante::platform {
namespace {
void start() {}
bool direct_io_allowed() {
    ++bus.family_queries;
    return bus.direct;
}
std::uint8_t cpu_in(std::uint16_t port) { return bus_read(Path::cpu, port); }
void cpu_out(std::uint16_t port, std::uint8_t value) { bus_write(Path::cpu, port, value); }
std::uint8_t driver_read(std::uint32_t port) { return bus_read(Path::driver, port); }
void driver_write(std::uint32_t port, std::uint8_t value) { bus_write(Path::driver, port, value); }
std::int32_t elapsed_ms() {
    const std::int32_t t = bus.now_ms;
    bus.now_ms = static_cast<std::int32_t>(static_cast<std::uint32_t>(bus.now_ms) + static_cast<std::uint32_t>(bus.step_ms));
    bus.now_us += static_cast<std::int64_t>(bus.step_ms) * 1000;
    return t;
}
}  // namespace
const Backend backend = {start, direct_io_allowed, cpu_in, cpu_out, driver_read, driver_write, elapsed_ms};
}  // namespace morvante::platform

namespace {

// ---- Invariants ------------------------------------------------------------------

[[noreturn]] void broken(const char* what, long long a = 0, long long b = 0) {
    std::fprintf(stderr, "fuzz_calls: invariant broken: %s (%lld, %lld)\n", what, a, b);
    std::abort();
}

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

const std::uint32_t no_reading = 0x501502F9u;

// The scale, computed here from its definition.
float scale(int code) {
    volatile double v = (code - 2047.5) * (5.12 / 2047);
    return static_cast<float>(v);
}

const std::unordered_set<std::uint32_t>& scale_values() {
    static const std::unordered_set<std::uint32_t> values = [] {
        std::unordered_set<std::uint32_t> s;
        for (int code = 0; code < 4096; ++code) s.insert(bits(scale(code)));
        return s;
    }();
    return values;
}

bool valid_channel(std::int32_t c) { return c == 0 || c == 1; }

// The samples a run of conversions on `channel` took, from its accesses: the
// code of each conversion whose data ports were read.
std::vector<int> samples(const std::vector<Access>& log, std::size_t from, std::int32_t channel, int& started) {
    const std::uint32_t data = channel == 0 ? 0x280 : 0x282;
    std::vector<int> codes;
    started = 0;
    for (std::size_t i = from; i < log.size(); ++i) {
        const std::uint32_t port = log[i].port & (log[i].path == Path::cpu ? 0xFFFF : 0xFFFFFFFF);
        if (log[i].write && port == data && log[i].value == 0xFF)
            ++started;
        if (!log[i].write && port == data) {
            if (i + 1 >= log.size() || log[i + 1].write || log[i + 1].port != data + 1)
                broken("the high byte is not followed by the low byte", data, i);
            codes.push_back(log[i].value << 4 | log[i + 1].value >> 4);
            ++i;
        }
    }
    return codes;
}

std::uint32_t mean_bits(const std::vector<int>& codes) {
    if (codes.empty())
        return no_reading;
    volatile float sum = 0.0f;
    for (int code : codes)
        sum = static_cast<float>(static_cast<double>(sum) + scale(code));
    volatile double quotient = static_cast<double>(sum) / static_cast<double>(codes.size());
    return bits(static_cast<float>(quotient));
}

void expect_no_access(std::size_t log_before, int queries_before, const char* what) {
    if (bus.log.size() != log_before || bus.family_queries != queries_before)
        broken(what, static_cast<long long>(bus.log.size() - log_before), bus.family_queries - queries_before);
}

void expect_family_asked_per_access(std::size_t log_before, int queries_before, int own_queries) {
    const long long accesses = static_cast<long long>(bus.log.size() - log_before);
    if (bus.family_queries - queries_before != accesses + own_queries)
        broken("the family is not asked once before every access", accesses, bus.family_queries - queries_before);
}

void expect_path(const Access& a, std::int32_t port, bool write, std::uint8_t value, bool direct) {
    const std::uint32_t want = direct ? static_cast<std::uint32_t>(port) & 0xFFFF : static_cast<std::uint32_t>(port);
    if (a.path != (direct ? Path::cpu : Path::driver) || a.port != want || a.write != write ||
        (write && a.value != value))
        broken("a port access took the wrong path, port or value", a.port, want);
}

int last_init = 0;

void reset_library() {
    // The flag is the library's only state: bring it back to 0 by a probe
    // that cannot succeed (the bus floats).
    bus.raw = false;
    card.set_behaviour(Behaviour::absent);
    bus.step_ms = 50;
    if (Init() != 0)
        broken("a probe of an absent card succeeded");
    last_init = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    reset_library();

    // The bench.
    bus.input = &in;
    bus.log.clear();
    bus.family_queries = 0;
    bus.direct = in.byte() & 1;
    bus.raw = (in.byte() % 8) == 0;
    bus.now_ms = in.i32();
    bus.now_us = 1000000;
    bus.step_ms = 1 + static_cast<std::int32_t>(in.below(40));
    card.reset();
    static const Behaviour behaviours[] = {Behaviour::working, Behaviour::working, Behaviour::absent,
                                           Behaviour::never_finishes, Behaviour::status_reads_zero};
    card.set_behaviour(behaviours[in.byte() % 5]);
    if (in.byte() % 3 == 0)
        card.set_dies_after(in.below(40));
    card.set_conversion_time_us(in.byte() % 2 ? in.below(200000) : in.below(100));  // slow, or quick
    for (int c = 0; c < 2; ++c)
        card.set_input(c, (static_cast<double>(in.i32()) / 2147483648.0) * 6.0);  // past full scale too

    for (int op = 0; op < 48 && in.left; ++op) {
        const std::size_t log_before = bus.log.size();
        const int queries_before = bus.family_queries;
        switch (in.byte() % 8) {
        case 0: {  // Init
            const int r = Init();
            if (r != 0 && r != 1) broken("Init gave neither 0 nor 1", r);
            last_init = r;
            expect_family_asked_per_access(log_before, queries_before, 1);
            break;
        }
        case 1: {  // OKCarte
            const int r = OKCarte();
            if (r != last_init) broken("OKCarte is not what the last Init gave", r, last_init);
            expect_no_access(log_before, queries_before, "OKCarte touched a port");
            break;
        }
        case 2: {  // readad
            const std::int32_t channel = in.byte() % 3 ? in.byte() % 2 : in.any_int();
            const std::uint32_t r = bits(readad(channel));
            if (!valid_channel(channel)) {
                if (r != no_reading) broken("readad of a channel that does not exist gave a value", channel);
                expect_no_access(log_before, queries_before, "readad of a channel that does not exist touched a port");
                break;
            }
            if (r != no_reading && !scale_values().count(r)) broken("readad gave a value off the scale", r);
            int started;
            const std::vector<int> codes = samples(bus.log, log_before, channel, started);
            if (started != 1 || codes.size() > 1) broken("readad is not one conversion", started, codes.size());
            if (codes.empty() != (r == no_reading)) broken("readad's result and its data reads disagree", r);
            if (!codes.empty() && r != bits(scale(codes[0]))) broken("readad scaled the wrong code", codes[0]);
            expect_family_asked_per_access(log_before, queries_before, 0);
            break;
        }
        case 3: {  // LitTension
            const std::int32_t channel = in.byte() % 3 ? in.byte() % 2 : in.any_int();
            std::int32_t count = in.any_int();
            // Many conversions cost only time, and each is checked like the
            // first: take up to 12 where they can happen at all.
            if (last_init == 1 && valid_channel(channel) && count > 12)
                count = 1 + count % 12;
            const std::uint32_t r = bits(LitTension(channel, count));
            if (last_init == 0 || count < 1 || !valid_channel(channel)) {
                if (r != no_reading) broken("LitTension gave a value with nothing to measure", channel, count);
                expect_no_access(log_before, queries_before, "LitTension with nothing to measure touched a port");
                break;
            }
            int started;
            const std::vector<int> codes = samples(bus.log, log_before, channel, started);
            if (started != count) broken("LitTension did not try every conversion", started, count);
            if (r != mean_bits(codes)) broken("LitTension is not the defined mean of its samples", r, mean_bits(codes));
            expect_family_asked_per_access(log_before, queries_before, 0);
            break;
        }
        case 4: {  // in_port
            const std::int32_t port = in.any_int();
            const bool direct = bus.direct;
            const unsigned char v = in_port(port);
            if (bus.log.size() != log_before + 1) broken("in_port is not one access", bus.log.size() - log_before);
            expect_path(bus.log.back(), port, false, 0, direct);
            if (bus.log.back().value != v) broken("in_port did not return the byte read", v, bus.log.back().value);
            expect_family_asked_per_access(log_before, queries_before, 0);
            break;
        }
        case 5: {  // out_port
            const std::int32_t port = in.any_int(), value = in.any_int();
            const bool direct = bus.direct;
            out_port(port, value);
            if (bus.log.size() != log_before + 1) broken("out_port is not one access", bus.log.size() - log_before);
            expect_path(bus.log.back(), port, true, static_cast<std::uint8_t>(value & 0xFF), direct);
            expect_family_asked_per_access(log_before, queries_before, 0);
            break;
        }
        case 6:  // the family changes between calls
            bus.direct = !bus.direct;
            break;
        default:  // the card changes between calls
            card.set_behaviour(behaviours[in.byte() % 5]);
            if (in.byte() % 4 == 0)
                card.set_dies_after(in.below(8));
            break;
        }
    }
    return 0;
}
