// The stand-in DlPortIO.dll: the port driver library's two byte functions,
// answered by the simulated card, with a log of every call for tests.
#include "dlportio_standin.h"

#include "environment.h"
#include "call_log.h"
#include "sim_card.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

morvante::sim::SimCard card;  // comes up with the default bench: +1.25 V, -3.30 V

// Then takes the bench of the MORVANTE_SIM_* variables, once, as the DLL loads.
const char* environment(const char* name) { return std::getenv(name); }
const bool bench_applied = (morvante::sim::apply_environment(card, environment, stderr), true);

struct Entry {
    unsigned long port;
    unsigned char value;
    unsigned char is_write;
};

// A 100 ms time-out polls far more often than this; the log keeps the first.
morvante::sim::CallLog<Entry, 1 << 16> driver_log;

void record(unsigned long port, unsigned char value, bool is_write) {
    driver_log.record(Entry{port, value, static_cast<unsigned char>(is_write)});
}

}  // namespace

extern "C" {

unsigned char STANDIN_CALL DlPortReadPortUchar(unsigned long port) {
    const unsigned char value = card.read(static_cast<std::uint32_t>(port));
    record(port, value, false);
    return value;
}

void STANDIN_CALL DlPortWritePortUchar(unsigned long port, unsigned char value) {
    record(port, value, true);
    card.write(static_cast<std::uint32_t>(port), value);
}

void STANDIN_CALL SimSetInput(int channel, double volts) { card.set_input(channel, volts); }

void STANDIN_CALL SimSetConversionTimeUs(int microseconds) { card.set_conversion_time_us(microseconds); }

void STANDIN_CALL SimSetBehaviour(int behaviour) {
    if (behaviour >= 0 && behaviour <= 3)
        card.set_behaviour(static_cast<morvante::sim::Behaviour>(behaviour));
}

void STANDIN_CALL SimReset(void) {
    card.reset();
    SimClearLog();
}

unsigned char STANDIN_CALL SimBusRead(unsigned long port) { return card.read(static_cast<std::uint32_t>(port)); }

void STANDIN_CALL SimBusWrite(unsigned long port, unsigned char value) {
    card.write(static_cast<std::uint32_t>(port), value);
}

int STANDIN_CALL SimDriverLog(unsigned long* ports, unsigned char* values, unsigned char* is_write, int max) {
    return driver_log.copy(max, [&](int i, const Entry& e) {
        if (ports) ports[i] = e.port;
        if (values) values[i] = e.value;
        if (is_write) is_write[i] = e.is_write;
    });
}

void STANDIN_CALL SimClearLog(void) { driver_log.clear(); }

}  // extern "C"
