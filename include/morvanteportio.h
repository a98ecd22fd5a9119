/*
 * morvanteportio.h - host interface of MORVANTEPORTIO.DLL, the driver library
 * for the two-channel 12-bit A/D converter card at I/O ports 0x280..0x284.
 *
 * Usable from C and C++. On 32-bit Windows every function is __stdcall and
 * exported under its bare name (no leading underscore, no @n suffix), which is
 * what VB/VBA, Delphi and LabVIEW expect; on 64-bit Windows and elsewhere the
 * platform's only calling convention applies.
 *
 * Voltages are IEEE single-precision volts in about -5.12 V .. +5.12 V.
 * MORVANTEPORTIO_NO_READING (1e10) means "no reading": a conversion that did
 * not finish within 0.1 s, or an average with no good sample.
 */
#ifndef MORVANTEPORTIO_H
#define MORVANTEPORTIO_H

#if defined(_WIN32) && !defined(_WIN64)
#  define MORVANTEPORTIO_CALL __stdcall
#else
#  define MORVANTEPORTIO_CALL
#endif

/* Building the library itself marks the six functions for export; hosts see
 * plain declarations (on Windows the export list names them, so hosts need no
 * dllimport, though it does no harm). */
#if defined(MORVANTEPORTIO_BUILDING) && !defined(_WIN32) && defined(__GNUC__)
#  define MORVANTEPORTIO_API __attribute__((visibility("default")))
#else
#  define MORVANTEPORTIO_API
#endif

/* The value returned where there is no reading. Exact in single precision. */
#define MORVANTEPORTIO_NO_READING 1e10f

#ifdef __cplusplus
extern "C" {
#endif

/* Probes the card with a conversion on channel 0. Returns 1 and remembers that
 * the card is present if it finishes within 0.1 s, else returns 0 and forgets. */
MORVANTEPORTIO_API int MORVANTEPORTIO_CALL Init(void);

/* The outcome of the last Init (0 before any Init). Touches no port. */
MORVANTEPORTIO_API int MORVANTEPORTIO_CALL OKCarte(void);

/* One conversion on channel 0 or 1, in volts; NO_READING if it timed out or
 * the channel is neither 0 nor 1. Works with or without Init. */
MORVANTEPORTIO_API float MORVANTEPORTIO_CALL readad(int channel);

/* Mean of `count` conversions on `channel`, leaving out those that timed out.
 * NO_READING if the last Init did not find the card, if count < 1, or if no
 * conversion succeeded. */
MORVANTEPORTIO_API float MORVANTEPORTIO_CALL LitTension(int channel, int count);

/* Writes the low byte of `value` to I/O port `port`. */
MORVANTEPORTIO_API void MORVANTEPORTIO_CALL out_port(int port, int value);

/* Reads one byte from I/O port `port`. */
MORVANTEPORTIO_API unsigned char MORVANTEPORTIO_CALL in_port(int port);

#ifdef __cplusplus
}
#endif

#endif /* MORVANTEPORTIO_H */
