// What adcread does differently on each system (host_posix.cpp,
// host_win32.cpp): load the converter-card library at run time as a host
// program does, say how it reaches the card, and tell a terminal from a file.
#pragma once

#include "morvanteportio.h"

#include <cstdio>
#include <string>
#include <type_traits>

namespace adcread {

// The six functions, with the library's calling convention.
struct CardApi {
    int(MORVANTEPORTIO_CALL* Init)(void) = nullptr;
    int(MORVANTEPORTIO_CALL* OKCarte)(void) = nullptr;
    float(MORVANTEPORTIO_CALL* readad)(int) = nullptr;
    float(MORVANTEPORTIO_CALL* LitTension)(int, int) = nullptr;
    unsigned char(MORVANTEPORTIO_CALL* in_port)(int) = nullptr;
    void(MORVANTEPORTIO_CALL* out_port)(int, int) = nullptr;
};

// Looks the six functions up with `lookup(name)` (the symbol's address, or
// null); returns the names it did not find, comma-separated, "" when none.
template <class Lookup>
std::string resolve_card_api(CardApi& api, Lookup lookup) {
    std::string missing;
    auto one = [&](const char* name, auto& fn) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(lookup(name));
        if (!fn)
            missing += (missing.empty() ? "" : ", ") + std::string(name);
    };
    one("Init", api.Init);
    one("OKCarte", api.OKCarte);
    one("readad", api.readad);
    one("LitTension", api.LitTension);
    one("in_port", api.in_port);
    one("out_port", api.out_port);
    return missing;
}

struct CardLibrary {
    CardApi api;
    std::string path;        // the file that was loaded
    bool simulated = false;  // the simulated card answers, not a real one
    void* handle = nullptr;
};

// Which library to load: `library` if not empty; otherwise the simulated
// card's (`simulate`) or the real card's, beside this program first, then
// on the system's search path.
struct LibraryChoice {
    std::string library;
    bool simulate = false;
};

// Loads the library and resolves the six functions. False, with the reason
// (where it looked, what failed) in `why`, if it cannot.
bool load_card_library(const LibraryChoice& choice, CardLibrary& loaded, std::string& why);

// How the loaded library reaches the ports in this process, and why: one or
// more lines, for --check and for the message of a card that does not answer.
std::string describe_port_path(const CardLibrary& loaded);

// Whether `stream` writes to a terminal (a console on Windows).
bool is_terminal(std::FILE* stream);

}  // namespace adcread
