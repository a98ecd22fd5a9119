// Names of table rows as GoogleTest test names.
#pragma once

#include <cctype>
#include <string>

namespace morvante::test {

inline std::string test_name(std::string n) {
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
}

// For INSTANTIATE_TEST_SUITE_P over rows that carry a `name`.
template <class Info>
std::string row_name(const Info& info) {
    return test_name(info.param.name);
}

}  // namespace morvante::test
