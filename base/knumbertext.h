#ifndef QOX_BASE_KNUMBERTEXT_H
#define QOX_BASE_KNUMBERTEXT_H

// Numbers read from and written to text the same way in every locale: what
// strtod, strtof and snprintf give in the "C" locale, whatever LC_NUMERIC
// the host has set (a decimal comma would otherwise cut "1.5" to 1 and write
// "1,5").

#include <cstddef>
#include <string>

// Reads the number at the start of [first, last) as strtod does in the "C"
// locale: blanks, a sign, then decimal digits with an optional point and
// exponent, a "0x" hexadecimal number with an optional "p" exponent, or
// "inf", "infinity" or "nan" in any case. A number beyond the range reads as
// an infinity of its sign, one below the smallest denormal as a zero of its
// sign. Returns the end of the number, or first (value untouched) when there
// is none.
const char* KScanDouble(const char* first, const char* last, double& value);
// The same rounded once to single precision, as strtof.
const char* KScanFloat(const char* first, const char* last, float& value);

// KScanDouble over a terminated text: its value (0 when it holds no number,
// as atof) and, when end is given, where the number ends.
double KTextToDouble(const char* text, const char** end = nullptr);

// Writes value as snprintf(out, size, "%.*f", precision, value) does in the
// "C" locale, or "%.*e" or "%.*g" for the conversion 'e' or 'g': at most
// size - 1 characters and a terminator (nothing when size is 0). Returns the
// length of the whole text, as snprintf. A negative precision is 6.
int KPrintDouble(char* out, size_t size, double value, char conversion, int precision);
// The whole KPrintDouble text.
std::string KDoubleText(double value, char conversion, int precision);

#endif
