/*
 * A host translation unit that calls all six functions, linked through each
 * import library: by MinGW against libMORVANTEPORTIO.dll.a, and, compiled as
 * MSVC compiles it, by an MSVC-compatible linker against MORVANTEPORTIO.lib.
 * The build fails if an import library does not resolve the symbols that the
 * header makes a host refer to (on 32-bit, the stdcall names _Init@0,
 * _LitTension@8, ...). Built as a DLL without entry point or C runtime, so it
 * needs no SDK.
 */
#include "morvanteportio.h"

int _fltused; /* MSVC's marker that floating point is used; normally from the CRT */

__declspec(dllexport) int use_every_function(void) {
    int sum = Init() + OKCarte() + in_port(0x284);
    out_port(0x280, 0xFF);
    return sum + (int)readad(0) + (int)LitTension(1, 10);
}
