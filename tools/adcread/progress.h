// A one-line progress report on a terminal, redrawn in place at most ten
// times a second: readings done (of how many), elapsed, time left, and the
// last values.
#pragma once

#include "recording.h"

#include <cstdio>

namespace adcread {

class Progress {
public:
    // Shown only when `enabled`; `total` readings (-1: not known) in about
    // `planned_s` seconds (-1: until stopped).
    Progress(std::FILE* terminal, bool enabled, long long total, double planned_s,
             const std::vector<int>& channels);

    void update(const Reading& reading, double now_s);
    void clear();  // before anything else writes to the terminal

private:
    void draw();

    std::FILE* terminal_;
    bool enabled_;
    long long total_;
    double planned_s_;
    std::vector<int> channels_;
    Reading last_;
    double drawn_at_s_ = -1.0;
    double now_s_ = 0.0;
    bool shown_ = false;
};

}  // namespace adcread
