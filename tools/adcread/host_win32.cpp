// adcread on Windows: MORVANTEPORTIO.DLL through LoadLibrary, as host programs load it.
#include "host.h"

#include <windows.h>

#include <io.h>

#include <cstdio>

namespace adcread {

namespace {

std::string program_folder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    const std::size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}

std::string module_path(HMODULE module) {
    char path[MAX_PATH];
    const DWORD n = module ? GetModuleFileNameA(module, path, MAX_PATH) : 0;
    return std::string(path, n);
}

std::string last_error() {
    char text[256] = "";
    const DWORD code = GetLastError();
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                   sizeof text, nullptr);
    std::string s(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return "error " + std::to_string(code) + (s.empty() ? "" : ": " + s);
}

// The stand-in DlPortIO.dll has the simulated card's controls besides the two port functions.
bool is_standin_driver(HMODULE driver) {
    return driver && GetProcAddress(driver, "SimReset") != nullptr;
}

}  // namespace

bool load_card_library(const LibraryChoice& choice, CardLibrary& loaded, std::string& why) {
    HMODULE module = nullptr;
    std::string tried;
    if (!choice.library.empty()) {
        // A DLL given by its path finds its own DlPortIO.dll beside it first.
        const bool has_folder = choice.library.find_first_of("\\/") != std::string::npos;
        module = LoadLibraryExA(choice.library.c_str(), nullptr, has_folder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
        tried = choice.library + " (" + last_error() + ")";
    } else {
        const std::string beside = program_folder() + "\\MORVANTEPORTIO.DLL";
        if (GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES) {
            module = LoadLibraryA(beside.c_str());
            tried = beside + " (" + last_error() + ")";
        }
        if (!module) {
            module = LoadLibraryA("MORVANTEPORTIO.DLL");
            tried += (tried.empty() ? "" : ", ") + std::string("MORVANTEPORTIO.DLL on the search path (") +
                     last_error() + ")";
        }
    }
    if (!module) {
        why = "cannot load the card library; tried " + tried +
              ". MORVANTEPORTIO.DLL needs DlPortIO.dll of the same bitness beside the program";
        return false;
    }
    loaded.handle = module;
    loaded.path = module_path(module);
    const std::string missing = resolve_card_api(
        loaded.api, [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); });
    if (!missing.empty()) {
        why = loaded.path + " is not the card library: it lacks " + missing;
        return false;
    }
    HMODULE driver = GetModuleHandleA("DlPortIO.dll");
    loaded.simulated = is_standin_driver(driver);
    if (choice.simulate && !loaded.simulated) {
        why = "--simulate needs the stand-in DlPortIO.dll beside adcread.exe, but the DlPortIO.dll that "
              "loaded is the port driver itself: " + module_path(driver);
        return false;
    }
    return true;
}

std::string describe_port_path(const CardLibrary& loaded) {
    const DWORD version = GetVersion();
    char word[16];
    std::snprintf(word, sizeof word, "0x%08lX", static_cast<unsigned long>(version));
    const std::string driver = module_path(GetModuleHandleA("DlPortIO.dll"));
    // The DLL's own rule: IN/OUT only where the version word says 95/98/Me and
    // the kernel is theirs; an NT kernel maps ntdll.dll into every process.
    const bool nt_kernel = sizeof(void*) == 8 || GetModuleHandleA("ntdll.dll") != nullptr;
    const std::string calls = "the DLL calls " + (driver.empty() ? std::string("DlPortIO.dll") : driver);
    std::string text;
    if ((version & 0x80000000u) && !nt_kernel)
        text = std::string("direct: the Windows 95/98/Me family (GetVersion() = ") + word +
               "), where the DLL executes IN/OUT itself";
    else if (version & 0x80000000u)
        text = std::string("driver: GetVersion() = ") + word +
               " says 95/98/Me (a compatibility mode), but the kernel is NT's, so " + calls;
    else
        text = std::string("driver: the NT family (GetVersion() = ") + word + "), where " + calls;
    if (loaded.simulated)
        text += "; that DlPortIO.dll is the stand-in: the simulated card answers";
    return text;
}

}  // namespace adcread

namespace adcread {

bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

}  // namespace adcread
