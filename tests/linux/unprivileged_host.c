/*
 * A host program run with no right to any I/O port: loads the library given
 * on the command line, as a host does, and checks that it behaves as on a
 * machine without the card: Init() is 0 after about 0.1 s, and the status
 * port reads 0xFF (a floating bus). It refuses to run where the process holds
 * CAP_SYS_RAWIO, so that it can never reach a real port.
 *
 *   unprivileged_host path/to/libmorvanteportio.so
 */
#include <dlfcn.h>
#include <stdio.h>
#include <time.h>

static int holds_cap_sys_rawio(void) {
    FILE *f = fopen("/proc/self/status", "r");
    char line[256];
    unsigned long long effective = ~0ULL; /* unknown: assume the worst */
    if (!f)
        return 1;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "CapEff: %llx", &effective) == 1)
            break;
    fclose(f);
    return (effective >> 17) & 1;
}

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    if (holds_cap_sys_rawio()) {
        fprintf(stderr, "refusing to run: this process holds CAP_SYS_RAWIO and could reach real ports\n");
        return 2;
    }
    void *lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    int (*init)(void) = (int (*)(void))dlsym(lib, "Init");
    unsigned char (*in_port)(int) = (unsigned char (*)(int))dlsym(lib, "in_port");
    if (!init || !in_port) {
        fprintf(stderr, "the library lacks Init or in_port\n");
        return 2;
    }
    const double t0 = now_ms();
    const int found = init();
    const double waited = now_ms() - t0;
    const unsigned status = in_port(0x284);
    printf("Init() = %d after %.1f ms\nin_port(0x284) = %u\n", found, waited, status);
    return found == 0 && waited >= 99.0 && waited < 2000.0 && status == 255 ? 0 : 1;
}
