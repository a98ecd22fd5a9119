// Replay of a recording: the column of one channel in a CSV file that
// adcread wrote, against its elapsed_s column.
#include "replay.h"

#include "parse.h"

#include <cmath>
#include <fstream>
#include <vector>

namespace morvante::sim {

namespace {

// A finite number that takes the whole cell, or NaN for adcread's "nan".
std::optional<double> value_of(const std::string& cell) {
    if (cell == "nan")
        return NAN;
    return parse::finite_number(cell);
}

}  // namespace

std::optional<Trace> read_trace(const std::string& path, int channel, std::string& why) {
    std::ifstream in(path);
    if (!in) {
        why = "cannot open " + path;
        return std::nullopt;
    }
    const std::string column = "ch" + std::to_string(channel) + "_V";
    std::string line;
    std::size_t time_at = std::string::npos, volts_at = std::string::npos, width = 0;
    Trace trace;
    int line_number = 0;
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> cells = parse::split(line, ',');
        if (width == 0) {  // the header
            for (std::size_t i = 0; i < cells.size(); ++i) {
                if (cells[i] == "elapsed_s") time_at = i;
                if (cells[i] == column) volts_at = i;
            }
            if (time_at == std::string::npos || volts_at == std::string::npos) {
                why = path + " has no elapsed_s and " + column + " columns";
                return std::nullopt;
            }
            width = cells.size();
            continue;
        }
        const auto seconds = cells.size() == width ? value_of(cells[time_at]) : std::nullopt;
        const auto volts = cells.size() == width ? value_of(cells[volts_at]) : std::nullopt;
        if (!seconds || std::isnan(*seconds) || !volts ||
            (!trace.seconds.empty() && *seconds < trace.seconds.back())) {
            why = path + " line " + std::to_string(line_number) + " is not a reading";
            return std::nullopt;
        }
        trace.seconds.push_back(*seconds);
        trace.volts.push_back(*volts);
    }
    if (trace.seconds.empty()) {
        why = path + " holds no reading";
        return std::nullopt;
    }
    const double first = trace.seconds.front();
    for (double& s : trace.seconds)
        s -= first;
    const std::size_t n = trace.seconds.size();
    if (n > 1)
        trace.period = trace.seconds.back() * static_cast<double>(n) / static_cast<double>(n - 1);
    return trace;
}

}  // namespace morvante::sim
