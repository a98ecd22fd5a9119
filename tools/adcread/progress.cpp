#include "progress.h"

#include <cmath>
#include <string>

namespace adcread {

namespace {
constexpr int line_width = 79;
constexpr double redraw_every_s = 0.1;
}

Progress::Progress(std::FILE* terminal, bool enabled, long long total, double planned_s,
                   const std::vector<int>& channels)
    : terminal_(terminal), enabled_(enabled), total_(total), planned_s_(planned_s), channels_(channels) {}

void Progress::update(const Reading& reading, double now_s) {
    if (!enabled_)
        return;
    last_ = reading;
    now_s_ = now_s;
    if (shown_ && now_s - drawn_at_s_ < redraw_every_s && reading.index + 1 != total_)
        return;
    drawn_at_s_ = now_s;
    draw();
}

void Progress::draw() {
    char text[256];
    int n = total_ >= 0 ? std::snprintf(text, sizeof text, "%lld/%lld", last_.index + 1, total_)
                        : std::snprintf(text, sizeof text, "%lld", last_.index + 1);
    n += std::snprintf(text + n, sizeof text - n, "  %.1f s", now_s_);
    if (planned_s_ >= 0)
        n += std::snprintf(text + n, sizeof text - n, ", %.1f s left", std::fmax(0.0, planned_s_ - now_s_));
    for (std::size_t i = 0; i < last_.volts.size() && i < channels_.size(); ++i) {
        if (std::isnan(last_.volts[i]))
            n += std::snprintf(text + n, sizeof text - n, "  ch%d -", channels_[i]);
        else
            n += std::snprintf(text + n, sizeof text - n, "  ch%d %+.4f V", channels_[i], last_.volts[i]);
    }
    std::fprintf(terminal_, "\r%-*.*s", line_width, line_width, text);
    std::fflush(terminal_);
    shown_ = true;
}

void Progress::clear() {
    if (!shown_)
        return;
    std::fprintf(terminal_, "\r%*s\r", line_width, "");
    std::fflush(terminal_);
    shown_ = false;
}

}  // namespace adcread
