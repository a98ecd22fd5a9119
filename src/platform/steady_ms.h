// The elapsed-time clock of the platforms that have a C++ runtime: the
// monotonic steady_clock, in whole milliseconds since start(), wrapped to 32
// bits. steady_clock never steps backwards, whatever happens to the time of
// day, so a time-out can neither end early nor hang.
#pragma once

#include <chrono>
#include <cstdint>

namespace morvante::platform {

class SteadyMilliseconds {
public:
    void start() { origin_ = std::chrono::steady_clock::now(); }

    std::int32_t elapsed() const {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - origin_);
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms.count()));
    }

private:
    std::chrono::steady_clock::time_point origin_{};
};

}  // namespace morvante::platform
