#ifndef QOX_FORMATS_KQOXPLAINDECIMAL_H
#define QOX_FORMATS_KQOXPLAINDECIMAL_H

// The short path of the text formats' number scanners.

namespace qoxsdk_600 {

// Reads an unsigned plain decimal ("12.375", "5.", ".5") of at most 15
// digits at p, with nothing after it that a full scan would read on (an
// exponent, a hexadecimal or binary-exponent mark): the digits as a whole
// number over a power of ten are both exact, so the one division gives the
// correctly rounded result, as strtod and from_chars do. False (p
// unchanged) for anything else, which then takes the general path.
inline bool KQoxScanPlainDecimal(const char*& p, const char* end, double& value)
{
    static const double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* s = p;
    unsigned long long mantissa = 0;
    int digits = 0;
    while (s < end && *s >= '0' && *s <= '9')
    {
        mantissa = mantissa * 10 + static_cast<unsigned>(*s - '0');
        ++s;
        if (++digits > 15)
            return false;
    }
    int fraction = 0;
    if (s < end && *s == '.')
    {
        ++s;
        while (s < end && *s >= '0' && *s <= '9')
        {
            mantissa = mantissa * 10 + static_cast<unsigned>(*s - '0');
            ++s;
            ++fraction;
            if (++digits > 15)
                return false;
        }
    }
    if (digits == 0 || (s < end && (*s == 'e' || *s == 'E' || *s == 'x' || *s == 'X' || *s == 'p' || *s == 'P')))
        return false;
    value = static_cast<double>(mantissa) / kPowers[fraction];
    p = s;
    return true;
}

} // namespace qoxsdk_600

#endif
