// adcread on Linux: the library through dlopen, as host programs load it.
#include "host.h"

#include "platform/linux.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace adcread {

namespace {

std::string program_folder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = '\0';
    std::string folder(path);
    return folder.substr(0, folder.rfind('/'));
}

bool exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

}  // namespace

bool load_card_library(const LibraryChoice& choice, CardLibrary& loaded, std::string& why) {
    // Candidates, in order: a path or a name for dlopen's own search.
    std::vector<std::string> tried;
    if (!choice.library.empty()) {
        tried.push_back(choice.library);
    } else {
        const char* file = choice.simulate ? "libmorvanteportio-sim.so" : "libmorvanteportio.so";
        const std::string beside = program_folder() + "/" + file;
        if (exists(beside))
            tried.push_back(beside);
        tried.push_back(choice.simulate ? "libmorvanteportio-sim.so" : "libmorvanteportio.so.1");
    }
    std::string errors;
    for (const std::string& candidate : tried) {
        loaded.handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (loaded.handle)
            break;
        errors += std::string("\n  ") + dlerror();
    }
    if (!loaded.handle) {
        why = "cannot load the card library; tried:" + errors;
        return false;
    }
    const std::string missing =
        resolve_card_api(loaded.api, [&](const char* name) { return dlsym(loaded.handle, name); });
    Dl_info info{};
    const auto init = reinterpret_cast<void*>(loaded.api.Init);
    loaded.path = init && dladdr(init, &info) && info.dli_fname ? info.dli_fname : tried.back();
    if (!missing.empty()) {
        why = loaded.path + " is not the card library: it lacks " + missing;
        return false;
    }
    loaded.simulated = choice.simulate || loaded.path.find("morvanteportio-sim") != std::string::npos;
    return true;
}

std::string describe_port_path(const CardLibrary& loaded) {
    using namespace morvante::platform::linux_ports;
    if (loaded.simulated)
        return "simulated card: the library's port bus holds the simulated card, no I/O port is touched";
    // The library took this decision when it was loaded; it depends only on
    // this process's privileges and the kernel, so taking it again here gives
    // the same answer.
    int fd = -1;
    const PortAccess access = decide_port_access(&fd);
    if (fd >= 0)
        close(fd);
    return explain(access, look_around());
}

}  // namespace adcread

namespace adcread {

bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

}  // namespace adcread
