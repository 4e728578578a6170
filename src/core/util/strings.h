// Length-prefixed string helpers and hexadecimal conversions.
#pragma once

#include <cstdint>

#include "core/util/types.h"

// Appends src's characters to dst. The sum is capped at 255 characters: what
// does not fit is left out rather than written past the buffer.
void AddString(ConstStr255Param src, Str255 dst);

// Appends the decimal form of n (with a minus sign for negatives); with
// twoDigits a one-character result gets a leading zero (7 → 07).
void AddNumberToString(int16_t n, Str255 dst, bool twoDigits);

// Same length and same bytes (case matters).
bool CompareStrings(ConstStr255Param a, ConstStr255Param b);

// prefix is not empty and s starts with exactly its bytes.
bool CompareStringsBeginning(ConstStr255Param s, ConstStr255Param prefix);

uint8_t CountPeriodsInString(ConstStr255Param s);

// Turns s in place into a NUL-terminated C string and returns its value as
// atof() reads it, narrowed to float.
float StringToFloat(Str255 s);

// printf("%.Nf") with N = decimals (1 to 9); with trimZeros the trailing
// zeros of the fraction go, then a bare decimal point (2.50 → 2.5, 3.00 → 3).
void MyFloatToString(float x, Str255 out, int decimals, bool trimZeros);

// Reads the run of hexadecimal digits at the end of s (the first non-digit
// from the end stops it); digits beyond the 16th from the end add nothing.
uint64_t StringToNumHex64(ConstStr255Param s);

// 16 or 8 upper-case hexadecimal digits with leading zeros.
void NumToStringHex64(uint64_t v, Str255 out);
void NumToStringHex32(uint32_t v, Str255 out);
