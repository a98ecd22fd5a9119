/*
 * Control functions of the stand-in DlPortIO.dll: a port driver library with
 * the simulated converter card behind it, for running MORVANTEPORTIO.DLL (or
 * a host program) with no card and no driver. All are __stdcall on 32-bit
 * Windows, exported under these bare names.
 */
#ifndef DLPORTIO_STANDIN_H
#define DLPORTIO_STANDIN_H

#if defined(_WIN32) && !defined(_WIN64)
#  define STANDIN_CALL __stdcall
#else
#  define STANDIN_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The two functions of the real driver library. */
unsigned char STANDIN_CALL DlPortReadPortUchar(unsigned long port);
void STANDIN_CALL DlPortWritePortUchar(unsigned long port, unsigned char value);

/* The simulated card's bench. Behaviour: 0 working, 1 absent (bus floats),
 * 2 conversions never finish, 3 status port reads 0. The card comes up
 * working, with channel 0 at +1.25 V and channel 1 at -3.30 V. */
void STANDIN_CALL SimSetInput(int channel, double volts);
void STANDIN_CALL SimSetConversionTimeUs(int microseconds);
void STANDIN_CALL SimSetBehaviour(int behaviour);
void STANDIN_CALL SimReset(void); /* working, +1.25 V and -3.30 V, 25 us, log cleared */

/* The card itself, bypassing the driver log: for a test that emulates the
 * CPU's IN/OUT instructions against the same card. */
unsigned char STANDIN_CALL SimBusRead(unsigned long port);
void STANDIN_CALL SimBusWrite(unsigned long port, unsigned char value);

/* The log of the first 65536 DlPortReadPortUchar / DlPortWritePortUchar calls
 * since the last SimClearLog, oldest first; later calls are not logged. Copies
 * up to `max` entries (any pointer may be null; a negative `max` copies none)
 * and returns how many it copied; with max = 0x7FFFFFFF and null pointers, how
 * many there are. Safe to call while other threads call the driver. */
int STANDIN_CALL SimDriverLog(unsigned long *ports, unsigned char *values,
                              unsigned char *is_write, int max);
void STANDIN_CALL SimClearLog(void);

#ifdef __cplusplus
}
#endif

#endif
