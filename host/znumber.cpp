#include "host/znumber_private.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

namespace zelthost {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c, bool hex)
{
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

// Whether a number from_chars found out of range ([p, last): digits, point,
// exponent) is too large rather than too small: its order of magnitude is
// far from 0 either way, positive when too large.
bool TooLarge(const char* p, const char* last, bool hex)
{
    long long order = 0;
    bool leading = false, point = false;
    for (; p < last && (*p == '.' || IsDigit(*p, hex)); ++p)
    {
        point = point || *p == '.';
        leading = leading || (*p != '.' && *p != '0');
        if (*p != '.' && leading != point)
            order += leading ? 1 : -1;
    }
    order *= hex ? 4 : 1;
    long long exponent = 0;
    bool negative = false;
    if (p < last && (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P'))
    {
        if (++p < last && (*p == '+' || *p == '-'))
            negative = *p++ == '-';
        for (; p < last && *p >= '0' && *p <= '9'; ++p)
            exponent = std::min(exponent * 10 + (*p - '0'), 100000000000000000LL);
    }
    return order + (negative ? -exponent : exponent) > 0;
}

} // namespace

size_t ScanNumber(const std::string& text, double& out)
{
    const char* const first = text.data();
    const char* const last = first + text.size();
    const char* p = first;
    while (p < last && IsBlank(*p))
        ++p;
    bool negative = false;
    if (p < last && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    if (p < last && (*p == '+' || *p == '-'))
        return 0;
    const bool hex = last - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
                     (IsDigit(p[2], true) || (p[2] == '.' && last - p > 3 && IsDigit(p[3], true)));
    if (hex)
        p += 2;
    double value = 0.0;
    const std::from_chars_result r =
        std::from_chars(p, last, value, hex ? std::chars_format::hex : std::chars_format::general);
    if (r.ec == std::errc::invalid_argument)
        return 0;
    if (r.ec == std::errc::result_out_of_range)
        value = TooLarge(p, r.ptr, hex) ? std::numeric_limits<double>::infinity() : 0.0;
    out = negative ? -value : value;
    return static_cast<size_t>(r.ptr - first);
}

bool WholeNumber(const std::string& text, double& out)
{
    double value = 0.0;
    const size_t used = ScanNumber(text, value);
    if (used == 0 || used != text.size())
        return false;
    out = value;
    return true;
}

std::string NumberText(double value, char conversion, int precision)
{
    const std::chars_format format = conversion == 'f'   ? std::chars_format::fixed
                                     : conversion == 'e' ? std::chars_format::scientific
                                                         : std::chars_format::general;
    std::string text(400 + static_cast<size_t>(std::max(precision, 0)), '\0');
    text.resize(
        static_cast<size_t>(std::to_chars(&text[0], &text[0] + text.size(), value, format, precision).ptr - &text[0]));
    return text;
}

} // namespace zelthost
