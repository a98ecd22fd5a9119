// The three forms adcread writes its readings in.
//
//   table   aligned columns for people; '-' where a reading has no value
//   csv     '#' comment lines (program, library, start time, conversions per
//           reading, interval, unit), the header time_utc,elapsed_s,ch0_V,ch1_V
//           (the chosen channels only), one row per reading; 'nan' where a
//           reading has no value
//   jsonl   one JSON object per reading with the same fields; null where a
//           reading has no value (JSON has no NaN)
#pragma once

#include "recording.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace adcread {

enum class Format { table, csv, jsonl };

struct Header {
    std::string program_version;
    std::string library_path;
    std::chrono::system_clock::time_point start;  // UTC of reading 0's schedule origin
    int count = 10;
    double interval_s = 1.0;
    std::vector<int> channels;
};

class Writer {
public:
    virtual ~Writer() = default;
    virtual void begin(std::FILE* out, const Header& header) = 0;
    virtual void reading(std::FILE* out, const Header& header, const Reading& reading) = 0;
};

std::unique_ptr<Writer> make_writer(Format format);

// "2026-12-11T16:11:11.123456Z": `start` plus `seconds`, in UTC.
std::string utc_text(std::chrono::system_clock::time_point start, double seconds);

}  // namespace adcread
