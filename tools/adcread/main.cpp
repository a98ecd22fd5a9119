// adcread: records the converter card's two channels without a program of
// one's own. It loads the card library at run time, as any host program does,
// and writes readings as a table, CSV or JSON lines.
#include "formats.h"
#include "host.h"
#include "progress.h"
#include "recording.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace adcread;

// Exit statuses.
constexpr int exit_done = 0;
constexpr int exit_output_failed = 1;
constexpr int exit_no_card = 2;
constexpr int exit_bad_argument = 64;   // EX_USAGE
constexpr int exit_interrupted = 130;   // 128 + SIGINT, as a shell reports Ctrl-C

const char* const usage =
    "usage: adcread [--simulate | --library PATH] [--channel 0|1|both] [--count N] "
    "[--interval SECONDS | --rate HZ] [--readings K | --duration SECONDS | --continuous] "
    "[--format table|csv|jsonl] [-o FILE] [--check]  (adcread --help for more)";

const char* const footer = R"(Readings:
  Reading k is taken at start + k x interval on a monotonic clock, so a long
  run does not drift. A reading that comes due while the one before is still
  running (a card that times out takes 0.1 s per conversion) is taken at once
  and counted as late. Each reading of a channel is LitTension(channel, count):
  the mean of `count` conversions. A reading without a value (the card did not
  answer) is '-' in a table, 'nan' in CSV and null in JSON lines; the run goes
  on. At the end one line on stderr counts the readings, the late ones and
  those without a value. On a terminal, a progress line shows on stderr when the
  run is longer than about two seconds. Ctrl-C ends the run after the current
  reading, with every finished reading written.

CSV: '#' lines (program, library, start time in UTC, conversions per reading,
  interval, unit), then time_utc,elapsed_s,ch0_V,ch1_V (the chosen channels).

Library: --library PATH; --simulate: the simulated card (Linux: the simulated-
  card library beside adcread; Windows: MORVANTEPORTIO.DLL with the stand-in
  DlPortIO.dll beside adcread.exe); otherwise the real card's library, beside
  adcread first, then on the system's search path. The simulated card reads
  MORVANTE_SIM_CH0, MORVANTE_SIM_CH1 (1.25, sine:2:50, square|triangle:A:HZ[:OFFSET],
  +noise:SIGMA, replay:FILE.csv), MORVANTE_SIM_CARD (working, absent, stuck,
  status-zero, dies-after:N) and MORVANTE_SIM_CONVERSION_US.

Exit status: 0 done; 1 the output cannot be written; 2 the card library cannot
  be loaded or the card does not answer Init (the message says why, as --check
  does); 64 a bad argument; 130 ended by Ctrl-C.)";

volatile std::sig_atomic_t interrupted = 0;
extern "C" void on_interrupt(int) { interrupted = 1; }

struct Options {
    LibraryChoice library;
    std::string channel = "both";
    int count = 10;
    double interval_s = 1.0;
    double rate_hz = 0.0;
    long long readings = 10;
    double duration_s = 0.0;
    bool continuous = false;
    std::string format = "table";
    std::string output;
    bool check = false;
};

// A number that is finite and above `low` (or at least `low` where `inclusive`).
CLI::Validator finite_at_least(double low, bool inclusive, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(v) || v < low || (!inclusive && v == low))
                return text + " is not " + what;
            return {};
        },
        "", "");
}

float volts_or_nan(float v) {
    const double d = v;
    return d == 1e10 || std::isnan(d) ? NAN : v;
}

int fail_output(const std::string& name) {
    std::fprintf(stderr, "adcread: cannot write %s: %s\n", name.c_str(), std::strerror(errno));
    return exit_output_failed;
}

// How the library reaches the card; for the simulated card, with the bench
// the simulator took from the environment.
std::string port_path(const CardLibrary& loaded) {
    std::string text = describe_port_path(loaded);
    if (loaded.simulated)
        for (const char* variable :
             {"MORVANTE_SIM_CH0", "MORVANTE_SIM_CH1", "MORVANTE_SIM_CARD", "MORVANTE_SIM_CONVERSION_US"})
            if (const char* value = std::getenv(variable))
                text += std::string("; ") + variable + "=" + value;
    return text;
}

// Loads the library and probes the card; prints the --check report or, on
// failure, the reason. The status is 0 when the card answers.
int probe(const Options& o, CardLibrary& loaded, bool report) {
    std::string why;
    if (!load_card_library(o.library, loaded, why)) {
        std::fprintf(stderr, "adcread: %s\n", why.c_str());
        return exit_no_card;
    }
    const int found = loaded.api.Init();
    if (report) {
        std::printf("library:   %s\n", loaded.path.c_str());
        std::printf("port path: %s\n", port_path(loaded).c_str());
        std::printf("card:      %s\n", found == 1 ? "answers at 0x280 (Init() = 1)"
                                                  : "does not answer at 0x280 (Init() = 0)");
    } else if (found != 1) {
        std::fprintf(stderr, "adcread: the card does not answer at 0x280 (Init() = 0)\n  library:   %s\n"
                             "  port path: %s\n", loaded.path.c_str(), port_path(loaded).c_str());
    }
    return found == 1 ? exit_done : exit_no_card;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    CLI::App app("adcread " ADCREAD_VERSION ": records the converter card's channels (ports 0x280..0x284).",
                 "adcread");
    app.footer(footer);
    app.set_version_flag("--version", "adcread " ADCREAD_VERSION);
    app.get_formatter()->column_width(26);

    auto* simulate = app.add_flag("--simulate", o.library.simulate, "Read the simulated card");
    auto* library = app.add_option("--library", o.library.library, "Load this card library")->type_name("PATH");
    simulate->excludes(library);
    app.add_option("--channel", o.channel, "Channel 0, 1 or both (default both)")
        ->check(CLI::IsMember({"0", "1", "both"}).description(""))
        ->type_name("0|1|both");
    app.add_option("--count", o.count, "Conversions per reading, averaged (default 10)")
        ->check(CLI::Range(1, INT_MAX).description(""))
        ->type_name("N");
    auto* interval = app.add_option("--interval", o.interval_s, "Seconds from one reading to the next (default 1; 0: back to back)")
                         ->check(finite_at_least(0, true, "a number of seconds, 0 or more"))
                         ->type_name("SECONDS");
    auto* rate = app.add_option("--rate", o.rate_hz, "Readings per second, instead of --interval")
                     ->check(finite_at_least(0, false, "a rate above 0"))
                     ->type_name("HZ");
    interval->excludes(rate);
    auto* readings = app.add_option("--readings", o.readings, "How many readings (default 10)")
                         ->check(CLI::Range(1LL, LLONG_MAX).description(""))
                         ->type_name("K");
    auto* duration = app.add_option("--duration", o.duration_s, "Take readings for this long instead")
                         ->check(finite_at_least(0, false, "a number of seconds above 0"))
                         ->type_name("SECONDS");
    auto* continuous = app.add_flag("--continuous", o.continuous, "Take readings until Ctrl-C");
    readings->excludes(duration)->excludes(continuous);
    duration->excludes(continuous);
    app.add_option("--format", o.format, "table, csv or jsonl (default table)")
        ->check(CLI::IsMember({"table", "csv", "jsonl"}).description(""))
        ->type_name("table|csv|jsonl");
    app.add_option("-o,--output", o.output, "Write the readings to FILE (default: standard output)")
        ->type_name("FILE");
    app.add_flag("--check", o.check, "Say which port path the library takes and why, and whether the card answers");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {  // --help, --version
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "adcread: %s\n%s\n", e.what(), usage);
        return exit_bad_argument;
    }

    CardLibrary loaded;
    if (o.check)
        return probe(o, loaded, true);

    Plan plan;
    plan.channels = o.channel == "both" ? std::vector<int>{0, 1} : std::vector<int>{o.channel == "1" ? 1 : 0};
    plan.count = o.count;
    plan.interval_s = rate->count() ? 1.0 / o.rate_hz : o.interval_s;
    plan.readings = continuous->count() || duration->count() ? -1 : o.readings;
    plan.duration_s = duration->count() ? o.duration_s : -1.0;

    if (const int status = probe(o, loaded, false))
        return status;

    std::FILE* out = stdout;
    const std::string out_name = o.output.empty() ? "standard output" : o.output;
    if (!o.output.empty() && !(out = std::fopen(o.output.c_str(), "w")))
        return fail_output(out_name);

    Header header;
    header.program_version = ADCREAD_VERSION;
    header.library_path = loaded.path;
    header.count = plan.count;
    header.interval_s = plan.interval_s;
    header.channels = plan.channels;
    header.start = std::chrono::system_clock::now();
    const auto writer = make_writer(o.format == "csv" ? Format::csv : o.format == "jsonl" ? Format::jsonl : Format::table);
    writer->begin(out, header);
    if (std::fflush(out) != 0 || std::ferror(out))
        return fail_output(out_name);

    const double planned = planned_seconds(plan);
    const bool shared_terminal = is_terminal(out) && is_terminal(stderr);
    Progress progress(stderr, is_terminal(stderr) && (planned < 0 || planned > 2.0), plan.readings, planned,
                      plan.channels);

    std::signal(SIGINT, on_interrupt);
    SteadyClock clock;
    const Totals totals = record(
        plan, clock, [&](int channel) { return volts_or_nan(loaded.api.LitTension(channel, plan.count)); },
        [&](const Reading& r) {
            if (shared_terminal)
                progress.clear();
            writer->reading(out, header, r);
            if (std::fflush(out) != 0 || std::ferror(out))
                return false;
            progress.update(r, r.elapsed_s);
            return true;
        },
        interrupted);
    const int write_errno = errno;
    progress.clear();

    std::fprintf(stderr, "adcread: %lld reading%s in %.1f s; %lld came late; %lld without a value%s\n",
                 totals.readings, totals.readings == 1 ? "" : "s", totals.seconds, totals.late,
                 totals.without_value, totals.interrupted ? "; stopped by Ctrl-C" : "");
    if (totals.output_failed) {
        errno = write_errno;
        return fail_output(out_name);
    }
    if (out != stdout && std::fclose(out) != 0)
        return fail_output(out_name);
    return totals.interrupted ? exit_interrupted : exit_done;
}
