#include "formats.h"

#include <cmath>
#include <ctime>

namespace adcread {

std::string utc_text(std::chrono::system_clock::time_point start, double seconds) {
    using namespace std::chrono;
    const long long us = duration_cast<microseconds>(start.time_since_epoch()).count() +
                         std::llround(seconds * 1e6);
    long long whole = us / 1000000, fraction = us % 1000000;
    if (fraction < 0) {
        fraction += 1000000;
        --whole;
    }
    const std::time_t t = static_cast<std::time_t>(whole);
    const std::tm* utc = std::gmtime(&t);
    char date[32] = "?";
    if (utc)
        std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", utc);
    char text[48];
    std::snprintf(text, sizeof text, "%s.%06lldZ", date, fraction);
    return text;
}

namespace {

class TableWriter : public Writer {
public:
    void begin(std::FILE* out, const Header& header) override {
        std::fprintf(out, "%-27s %11s", "time (UTC)", "elapsed (s)");
        for (int channel : header.channels)
            std::fprintf(out, "     ch%d (V)", channel);
        std::fputc('\n', out);
    }
    void reading(std::FILE* out, const Header& header, const Reading& r) override {
        std::fprintf(out, "%-27s %11.3f", utc_text(header.start, r.elapsed_s).c_str(), r.elapsed_s);
        for (float v : r.volts) {
            if (std::isnan(v))
                std::fprintf(out, " %11s", "-");
            else
                std::fprintf(out, " %+11.4f", v);
        }
        std::fputc('\n', out);
    }
};

class CsvWriter : public Writer {
public:
    void begin(std::FILE* out, const Header& header) override {
        std::fprintf(out, "# adcread %s\n", header.program_version.c_str());
        std::fprintf(out, "# library: %s\n", header.library_path.c_str());
        std::fprintf(out, "# start: %s\n", utc_text(header.start, 0).c_str());
        std::fprintf(out, "# conversions per reading: %d\n", header.count);
        std::fprintf(out, "# interval: %g s\n", header.interval_s);
        std::fprintf(out, "# unit: V\n");
        std::fprintf(out, "time_utc,elapsed_s");
        for (int channel : header.channels)
            std::fprintf(out, ",ch%d_V", channel);
        std::fputc('\n', out);
    }
    void reading(std::FILE* out, const Header& header, const Reading& r) override {
        std::fprintf(out, "%s,%.6f", utc_text(header.start, r.elapsed_s).c_str(), r.elapsed_s);
        for (float v : r.volts) {
            // Nine significant digits give back the very single-precision value.
            if (std::isnan(v))
                std::fprintf(out, ",nan");
            else
                std::fprintf(out, ",%.9g", v);
        }
        std::fputc('\n', out);
    }
};

class JsonLinesWriter : public Writer {
public:
    void begin(std::FILE*, const Header&) override {}
    void reading(std::FILE* out, const Header& header, const Reading& r) override {
        std::fprintf(out, "{\"time_utc\": \"%s\", \"elapsed_s\": %.6f", utc_text(header.start, r.elapsed_s).c_str(),
                     r.elapsed_s);
        for (std::size_t i = 0; i < r.volts.size(); ++i) {
            if (std::isnan(r.volts[i]))
                std::fprintf(out, ", \"ch%d_V\": null", header.channels[i]);
            else
                std::fprintf(out, ", \"ch%d_V\": %.9g", header.channels[i], r.volts[i]);
        }
        std::fprintf(out, "}\n");
    }
};

}  // namespace

std::unique_ptr<Writer> make_writer(Format format) {
    switch (format) {
    case Format::csv: return std::make_unique<CsvWriter>();
    case Format::jsonl: return std::make_unique<JsonLinesWriter>();
    case Format::table: break;
    }
    return std::make_unique<TableWriter>();
}

}  // namespace adcread
