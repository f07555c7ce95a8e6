// Hexadecimal numbers in text, read the way the C run time's strtoul and strtol read base 16 on
// a platform whose long is 32 bits (the updater's own). Version values in setup.ini, /lang codes
// on the command line and the digit pairs of text signature trailers are all read this way, so
// that the updater answers as the C run time would for any text, well formed or not.
//
// Every function accepts leading white space (space, \t \n \v \f \r), an optional '+' or '-',
// an optional "0x"/"0X" prefix (only when a hexadecimal digit follows it; otherwise the '0' is
// the number), then digits up to the first byte that is not one. No digits give 0. None of them
// reads past the terminating zero byte, however many digits there are.
#ifndef WQDUPDATE_COMMON_HEX_NUMBER_H
#define WQDUPDATE_COMMON_HEX_NUMBER_H

#include <cstdint>

// As strtoul: a number too large gives 0xFFFFFFFF; a '-' negates modulo 2^32. Null gives 0.
uint32_t parseUnsignedHex(const char* text);

// As strtol: the value is clamped to the signed 32-bit range (0x7FFFFFFF, or 0x80000000 when
// negative). Null gives 0.
int32_t parseSignedHex(const char* text);

#endif  // WQDUPDATE_COMMON_HEX_NUMBER_H
