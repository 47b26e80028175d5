// Numbers in the host's texts (script arguments, results, dumps), read and
// written as in the "C" locale whatever LC_NUMERIC the process has: a plug-in
// may run the host in a decimal-comma locale, and scripts keep their points.
#ifndef ZELT_HOST_ZNUMBER_PRIVATE_H
#define ZELT_HOST_ZNUMBER_PRIVATE_H

#include <string>

namespace zelthost {

// Reads the number at the start of text as strtod does in the "C" locale
// (blanks, a sign, decimal or "0x" digits, "inf" or "nan"; beyond the range,
// an infinity or a zero of the sign). Returns how many characters it took,
// 0 (out untouched) when there is no number.
size_t ScanNumber(const std::string& text, double& out);

// The whole text is one number (nothing after it).
bool WholeNumber(const std::string& text, double& out);

// value as "%.<precision>g" (conversion 'g'), "%.<precision>f" ('f') or
// "%.<precision>e" ('e') print it in the "C" locale.
std::string NumberText(double value, char conversion, int precision);

} // namespace zelthost

#endif
