// Reading the simulator's words: the MORVANTE_SIM_* values and the cells of
// a recording.
#pragma once

#include <cmath>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace morvante::sim::parse {

// `text` cut at every `by`; an empty piece where two meet or one ends it.
inline std::vector<std::string> split(const std::string& text, char by) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, by))
        parts.push_back(part);
    if (!text.empty() && text.back() == by)
        parts.emplace_back();
    return parts;
}

// A finite number that takes the whole text (strtod's grammar).
inline std::optional<double> finite_number(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace morvante::sim::parse
