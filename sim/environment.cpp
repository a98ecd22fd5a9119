#include "environment.h"
#include "replay.h"
#include "parse.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace morvante::sim {

namespace {

constexpr std::int64_t longest_conversion_us = 60000000;  // a minute

const char* const signal_forms =
    "a constant in volts (1.25); sine|square|triangle:AMPLITUDE:HZ[:OFFSET]; "
    "either followed by +noise:SIGMA; replay:FILE.csv";
const char* const card_forms = "working, absent, stuck, status-zero, dies-after:N";
const char* const conversion_forms = "a whole number of microseconds, 0 to 60000000";

// A finite number that takes the whole text, with no space before it.
std::optional<double> number(const std::string& text) {
    if (!text.empty() && std::isspace(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    return parse::finite_number(text);
}

std::optional<std::int64_t> whole_number(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return std::nullopt;
    return std::strtoll(text.c_str(), nullptr, 10);
}

std::optional<Signal> parse_waveform(const std::string& text, std::string& why) {
    if (const auto volts = number(text))
        return Signal::constant(*volts);
    const std::vector<std::string> parts = parse::split(text, ':');
    Signal s;
    if (parts.empty()) {
        why = "not a signal";
        return std::nullopt;
    }
    if (parts[0] == "sine")
        s.shape = Signal::Shape::sine;
    else if (parts[0] == "square")
        s.shape = Signal::Shape::square;
    else if (parts[0] == "triangle")
        s.shape = Signal::Shape::triangle;
    else {
        why = "not a signal";
        return std::nullopt;
    }
    if (parts.size() != 3 && parts.size() != 4) {
        why = parts[0] + " takes AMPLITUDE:HZ and an optional OFFSET";
        return std::nullopt;
    }
    const auto amplitude = number(parts[1]);
    const auto hz = number(parts[2]);
    const auto offset = parts.size() == 4 ? number(parts[3]) : std::optional<double>(0.0);
    if (!amplitude || *amplitude < 0) {
        why = "AMPLITUDE must be a number of volts, 0 or more";
        return std::nullopt;
    }
    if (!hz || *hz <= 0) {
        why = "HZ must be a number above 0";
        return std::nullopt;
    }
    if (!offset) {
        why = "OFFSET must be a number of volts";
        return std::nullopt;
    }
    s.amplitude = *amplitude;
    s.hz = *hz;
    s.offset = *offset;
    return s;
}

void complain(std::FILE* to, const char* variable, const char* value, const std::string& why,
              const char* forms, const std::string& fallback) {
    if (to)
        std::fprintf(to, "%s='%s': %s. Accepted: %s. Using %s.\n", variable, value, why.c_str(), forms,
                     fallback.c_str());
}

std::string volts_text(double volts) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f V", volts);
    return text;
}

}  // namespace

std::optional<Signal> parse_signal(const std::string& text, int channel, std::string& why) {
    static const std::string replay = "replay:";
    if (text.compare(0, replay.size(), replay) == 0) {
        auto trace = read_trace(text.substr(replay.size()), channel, why);
        if (!trace)
            return std::nullopt;
        Signal s;
        s.shape = Signal::Shape::replay;
        s.trace = std::make_shared<const Trace>(std::move(*trace));
        return s;
    }
    static const std::string noise = "+noise:";
    const std::size_t at = text.find(noise);
    auto s = parse_waveform(text.substr(0, at), why);
    if (!s || at == std::string::npos)
        return s;
    const auto sigma = number(text.substr(at + noise.size()));
    if (!sigma || *sigma < 0) {
        why = "SIGMA must be a number of volts, 0 or more";
        return std::nullopt;
    }
    s->noise_sigma = *sigma;
    return s;
}

std::optional<CardSetting> parse_card(const std::string& text, std::string& why) {
    CardSetting card;
    static const std::string dies = "dies-after:";
    if (text == "working")
        return card;
    if (text == "absent")
        card.behaviour = Behaviour::absent;
    else if (text == "stuck")
        card.behaviour = Behaviour::never_finishes;
    else if (text == "status-zero")
        card.behaviour = Behaviour::status_reads_zero;
    else if (text.compare(0, dies.size(), dies) == 0) {
        const auto n = whole_number(text.substr(dies.size()));
        if (!n) {
            why = "N must be a whole number of conversions";
            return std::nullopt;
        }
        card.dies_after = *n;
    } else {
        why = "not a card behaviour";
        return std::nullopt;
    }
    return card;
}

std::optional<std::int64_t> parse_conversion_us(const std::string& text, std::string& why) {
    const auto us = whole_number(text);
    if (!us || *us > longest_conversion_us) {
        why = "not a conversion time";
        return std::nullopt;
    }
    return us;
}

void apply_environment(SimCard& card, const char* (*getenv)(const char*), std::FILE* complaints) {
    std::string why;
    for (int channel = 0; channel < 2; ++channel) {
        const char* variable = channel == 0 ? "MORVANTE_SIM_CH0" : "MORVANTE_SIM_CH1";
        if (const char* value = getenv(variable)) {
            if (const auto signal = parse_signal(value, channel, why))
                card.set_signal(channel, *signal);
            else
                complain(complaints, variable, value, why, signal_forms,
                         volts_text(SimCard::default_input_volts[channel]));
        }
    }
    if (const char* value = getenv("MORVANTE_SIM_CARD")) {
        if (const auto setting = parse_card(value, why)) {
            card.set_behaviour(setting->behaviour);
            card.set_dies_after(setting->dies_after);
        } else {
            complain(complaints, "MORVANTE_SIM_CARD", value, why, card_forms, "working");
        }
    }
    if (const char* value = getenv("MORVANTE_SIM_CONVERSION_US")) {
        if (const auto us = parse_conversion_us(value, why))
            card.set_conversion_time_us(*us);
        else
            complain(complaints, "MORVANTE_SIM_CONVERSION_US", value, why, conversion_forms,
                     std::to_string(SimCard::default_conversion_us) + " us");
    }
}

}  // namespace morvante::sim
