/*
 * readcard - a host program of the converter-card library: loads the shared
 * library at run time, as host programs load MORVANTEPORTIO.DLL, probes the
 * card and reads both channels.
 *
 *   readcard [path/to/libmorvanteportio-sim.so]
 *
 * Without an argument it loads the simulated-card library that sits beside
 * this program.
 */
#include "morvanteportio.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

typedef int (*init_fn)(void);
typedef int (*okcarte_fn)(void);
typedef float (*readad_fn)(int);
typedef float (*littension_fn)(int, int);

static void *symbol(void *lib, const char *name) {
    void *p = dlsym(lib, name);
    if (!p)
        fprintf(stderr, "readcard: the library has no %s\n", name);
    return p;
}

static void print_volts(const char *what, float v) {
    if (v == MORVANTEPORTIO_NO_READING)
        printf("%-20s = no reading\n", what);
    else
        printf("%-20s = %+.4f V\n", what, v);
}

int main(int argc, char **argv) {
    char path[PATH_MAX];
    if (argc > 1) {
        snprintf(path, sizeof path, "%s", argv[1]);
    } else {
        ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        if (n < 0) {
            perror("readcard: /proc/self/exe");
            return 2;
        }
        path[n] = '\0';
        char *slash = strrchr(path, '/');
        snprintf(slash ? slash + 1 : path, sizeof path - (size_t)(slash ? slash + 1 - path : 0),
                 "libmorvanteportio-sim.so");
    }

    void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "readcard: %s\n", dlerror());
        return 2;
    }
    init_fn init = (init_fn)symbol(lib, "Init");
    okcarte_fn okcarte = (okcarte_fn)symbol(lib, "OKCarte");
    readad_fn read_ad = (readad_fn)symbol(lib, "readad");
    littension_fn lit_tension = (littension_fn)symbol(lib, "LitTension");
    if (!init || !okcarte || !read_ad || !lit_tension)
        return 2;

    printf("library: %s\n", path);
    printf("%-20s = %d\n", "Init()", init());
    printf("%-20s = %d\n", "OKCarte()", okcarte());
    for (int channel = 0; channel < 2; ++channel) {
        char what[32];
        snprintf(what, sizeof what, "readad(%d)", channel);
        print_volts(what, read_ad(channel));
    }
    for (int channel = 0; channel < 2; ++channel) {
        char what[32];
        snprintf(what, sizeof what, "LitTension(%d, 10)", channel);
        print_volts(what, lit_tension(channel, 10));
    }
    const int present = okcarte();
    dlclose(lib);
    return present ? 0 : 1;
}
