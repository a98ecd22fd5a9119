/*
 * readcard.exe - a Windows host program linked against MORVANTEPORTIO.DLL
 * through its import library, as a C host usually is: probes the card and
 * reads both channels. Beside the stand-in DlPortIO.dll it reads the
 * simulated card.
 */
#include "morvanteportio.h"

#include <stdio.h>

static void print_volts(const char *what, float v) {
    if (v == MORVANTEPORTIO_NO_READING)
        printf("%-20s = no reading\n", what);
    else
        printf("%-20s = %+.4f V\n", what, v);
}

int main(void) {
    int channel;
    char what[32];
    printf("%-20s = %d\n", "Init()", Init());
    printf("%-20s = %d\n", "OKCarte()", OKCarte());
    for (channel = 0; channel < 2; ++channel) {
        sprintf(what, "readad(%d)", channel);
        print_volts(what, readad(channel));
    }
    for (channel = 0; channel < 2; ++channel) {
        sprintf(what, "LitTension(%d, 10)", channel);
        print_volts(what, LitTension(channel, 10));
    }
    return OKCarte() ? 0 : 1;
}
