// adcread's schedule on a scripted clock, and the three output forms.
#include "formats.h"
#include "recording.h"
#include "table_names.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace adcread {
namespace {

using morvante::test::row_name;

// Time moves only when the run waits, or when a reading takes its time.
class ScriptedClock : public Clock {
public:
    double now_s() override { return t; }
    void wait_until(double target, const volatile std::sig_atomic_t& stop) override {
        if (stop_during_wait) {
            stop_flag = 1;
            return;
        }
        if (!stop && target > t)
            t = target;
    }
    double t = 100.0;  // any origin
    bool stop_during_wait = false;
    volatile std::sig_atomic_t stop_flag = 0;
};

struct ScheduleCase {
    const char* name;
    double interval_s;
    long long readings;
    double duration_s;
    std::vector<double> cost_s;  // how long each reading takes; the last repeats
    std::vector<double> taken_at;
    long long late;
};

const ScheduleCase schedule_cases[] = {
    {"on time", 1.0, 4, -1, {0.1}, {0, 1, 2, 3}, 0},
    {"every reading overruns", 1.0, 4, -1, {1.5}, {0, 1.5, 3.0, 4.5}, 3},
    {"one slow reading does not shift the rest", 1.0, 4, -1, {1.5, 0.1}, {0, 1.5, 2, 3}, 1},
    {"back to back", 0.0, 3, -1, {0.25}, {0, 0.25, 0.5}, 0},
    {"duration counts due times", 1.0, -1, 2.5, {0.1}, {0, 1, 2}, 0},
    {"duration back to back counts elapsed time", 0.0, -1, 1.0, {0.4}, {0, 0.4, 0.8}, 0},
    {"a single reading", 5.0, 1, -1, {0.1}, {0}, 0},
};

class Schedule : public ::testing::TestWithParam<ScheduleCase> {};

TEST_P(Schedule, TakesReadingKAtStartPlusKIntervals) {
    const ScheduleCase& c = GetParam();
    ScriptedClock clock;
    Plan plan;
    plan.channels = {0};
    plan.interval_s = c.interval_s;
    plan.readings = c.readings;
    plan.duration_s = c.duration_s;
    std::size_t n = 0;
    std::vector<double> taken_at;
    const Totals totals = record(
        plan, clock,
        [&](int) {
            clock.t += c.cost_s[std::min(n++, c.cost_s.size() - 1)];
            return 1.0f;
        },
        [&](const Reading& r) {
            taken_at.push_back(r.elapsed_s);
            return true;
        },
        clock.stop_flag);
    ASSERT_EQ(taken_at.size(), c.taken_at.size());
    for (std::size_t i = 0; i < taken_at.size(); ++i)
        EXPECT_NEAR(taken_at[i], c.taken_at[i], 1e-9) << "reading " << i;
    EXPECT_EQ(totals.readings, static_cast<long long>(c.taken_at.size()));
    EXPECT_EQ(totals.late, c.late);
    EXPECT_FALSE(totals.interrupted || totals.output_failed);
}

INSTANTIATE_TEST_SUITE_P(Table, Schedule, ::testing::ValuesIn(schedule_cases),
                         row_name<::testing::TestParamInfo<ScheduleCase>>);

TEST(Recording, AHundredThousandReadingsAtATenthOfASecondDoNotDrift) {
    // 0.1 is not exact in binary: a running sum of intervals drifts, k x 0.1 does not.
    ScriptedClock clock;
    Plan plan;
    plan.interval_s = 0.1;
    plan.readings = 100000;
    double last = 0;
    record(plan, clock, [](int) { return 1.0f; },
           [&](const Reading& r) {
               last = r.elapsed_s;
               return true;
           },
           clock.stop_flag);
    EXPECT_EQ(last, 99999 * 0.1);
}

TEST(Recording, CountsReadingsWithoutAValueAndGoesOn) {
    ScriptedClock clock;
    Plan plan;
    plan.interval_s = 0;
    plan.readings = 4;
    std::vector<std::vector<float>> rows;
    int call = 0;  // channel 1 of readings 0 and 3 has no value
    const Totals totals = record(plan, clock, [&](int channel) { return (call++ % 3 == 1 && channel) ? NAN : 2.0f; },
                                 [&](const Reading& r) {
                                     rows.push_back(r.volts);
                                     return true;
                                 },
                                 clock.stop_flag);
    EXPECT_EQ(rows.size(), 4u);
    EXPECT_EQ(totals.without_value, 2);
    EXPECT_TRUE(std::isnan(rows[0][1]) && std::isnan(rows[3][1]));
    EXPECT_EQ(rows[1], (std::vector<float>{2.0f, 2.0f}));
}

TEST(Recording, StopsWhenTheOutputRefusesAReading) {
    ScriptedClock clock;
    Plan plan;
    plan.readings = -1;
    int emitted = 0;
    const Totals totals = record(plan, clock, [](int) { return 1.0f; }, [&](const Reading&) { return ++emitted < 3; },
                                 clock.stop_flag);
    EXPECT_EQ(emitted, 3);
    EXPECT_TRUE(totals.output_failed);
    EXPECT_FALSE(totals.interrupted);
}

TEST(Recording, StopEndsTheRunAfterTheCurrentReading) {
    ScriptedClock clock;
    Plan plan;
    plan.readings = -1;
    plan.interval_s = 1;
    int emitted = 0;
    const Totals totals = record(plan, clock, [](int) { return 1.0f; },
                                 [&](const Reading&) {
                                     if (++emitted == 5)
                                         clock.stop_flag = 1;  // Ctrl-C during reading 5
                                     return true;
                                 },
                                 clock.stop_flag);
    EXPECT_EQ(emitted, 5);
    EXPECT_TRUE(totals.interrupted);
}

TEST(Recording, StopWhileWaitingTakesNoFurtherReading) {
    ScriptedClock clock;
    clock.stop_during_wait = true;
    Plan plan;
    plan.readings = 10;
    int emitted = 0;
    const Totals totals = record(plan, clock, [](int) { return 1.0f; },
                                 [&](const Reading&) { return ++emitted > 0; }, clock.stop_flag);
    EXPECT_EQ(emitted, 1) << "reading 0 is due at once; the wait for reading 1 is cut short";
    EXPECT_TRUE(totals.interrupted);
}

// ---- Output forms ---------------------------------------------------------------

struct FormatCase {
    const char* name;
    Format format;
    std::vector<int> channels;
    const char* text;
};

const FormatCase format_cases[] = {
    {"csv, both channels", Format::csv, {0, 1},
     "# adcread 9.9.9\n# library: /lib/libmorvanteportio.so\n# start: 2026-12-11T16:11:11.250000Z\n"
     "# conversions per reading: 10\n# interval: 0.5 s\n# unit: V\n"
     "time_utc,elapsed_s,ch0_V,ch1_V\n"
     "2026-12-11T16:11:11.250000Z,0.000000,1.24936008,-3.30036116\n"
     "2026-12-11T16:11:11.750125Z,0.500125,nan,-5.12125063\n"},
    {"csv, channel 1 only", Format::csv, {1},
     "# adcread 9.9.9\n# library: /lib/libmorvanteportio.so\n# start: 2026-12-11T16:11:11.250000Z\n"
     "# conversions per reading: 10\n# interval: 0.5 s\n# unit: V\n"
     "time_utc,elapsed_s,ch1_V\n"
     "2026-12-11T16:11:11.250000Z,0.000000,1.24936008\n"
     "2026-12-11T16:11:11.750125Z,0.500125,nan\n"},
    {"json lines", Format::jsonl, {0, 1},
     "{\"time_utc\": \"2026-12-11T16:11:11.250000Z\", \"elapsed_s\": 0.000000, \"ch0_V\": 1.24936008, \"ch1_V\": -3.30036116}\n"
     "{\"time_utc\": \"2026-12-11T16:11:11.750125Z\", \"elapsed_s\": 0.500125, \"ch0_V\": null, \"ch1_V\": -5.12125063}\n"},
    {"table", Format::table, {0, 1},
     "time (UTC)                  elapsed (s)     ch0 (V)     ch1 (V)\n"
     "2026-12-11T16:11:11.250000Z       0.000     +1.2494     -3.3004\n"
     "2026-12-11T16:11:11.750125Z       0.500           -     -5.1213\n"},
};

class Forms : public ::testing::TestWithParam<FormatCase> {};

TEST_P(Forms, WriteTheHeaderAndEachReading) {
    const FormatCase& c = GetParam();
    Header header;
    header.program_version = "9.9.9";
    header.library_path = "/lib/libmorvanteportio.so";
    header.start = std::chrono::system_clock::time_point(std::chrono::microseconds(1797005471250000));
    header.count = 10;
    header.interval_s = 0.5;
    header.channels = c.channels;
    Reading first, second;
    first.volts = {1.24936008f, -3.30036116f};
    second.index = 1;
    second.elapsed_s = 0.500125;
    second.volts = {NAN, -5.121250629425049f};
    if (c.channels.size() == 1) {
        first.volts = {1.24936008f};
        second.volts = {NAN};
    }
    std::FILE* out = std::tmpfile();
    const auto writer = make_writer(c.format);
    writer->begin(out, header);
    writer->reading(out, header, first);
    writer->reading(out, header, second);
    std::string text;
    std::rewind(out);
    for (int ch; (ch = std::fgetc(out)) != EOF;)
        text += static_cast<char>(ch);
    std::fclose(out);
    EXPECT_EQ(text, c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, Forms, ::testing::ValuesIn(format_cases), row_name<::testing::TestParamInfo<FormatCase>>);

TEST(UtcText, CarriesMicrosecondsAcrossSecondsAndDays) {
    const auto epoch = std::chrono::system_clock::time_point();
    EXPECT_EQ(utc_text(epoch, 0), "1970-01-01T00:00:00.000000Z");
    EXPECT_EQ(utc_text(epoch, 86399.9999995), "1970-01-02T00:00:00.000000Z");
    EXPECT_EQ(utc_text(epoch + std::chrono::microseconds(999999), 0.000001), "1970-01-01T00:00:01.000000Z");
}

}  // namespace
}  // namespace adcread
