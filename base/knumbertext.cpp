#include "base/knumbertext.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return true;
    return hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
}

// Whether a number that from_chars found out of range, [p, last) without its
// sign or "0x", is too large rather than too small. Such a number is far from
// 1 either way, so its order of magnitude (where its leading nonzero digit
// stands, plus its exponent) tells: positive for too large.
bool TooLarge(const char* p, const char* last, bool hex)
{
    long long order = 0;
    bool leading = false;
    bool point = false;
    for (; p < last && (*p == '.' || IsDigit(*p, hex)); ++p)
    {
        if (*p == '.')
        {
            point = true;
            continue;
        }
        leading = leading || *p != '0';
        if (leading && !point)
            ++order; // a digit before the point, from the first nonzero one
        else if (!leading && point)
            --order; // a zero between the point and the first nonzero digit
    }
    if (hex)
        order *= 4; // binary digits, as the "p" exponent counts them
    long long exponent = 0;
    bool negative = false;
    if (p < last && (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P'))
    {
        ++p;
        if (p < last && (*p == '+' || *p == '-'))
            negative = *p++ == '-';
        // Saturates far beyond any order the digits can offset.
        for (; p < last && *p >= '0' && *p <= '9'; ++p)
            exponent = std::min(exponent * 10 + (*p - '0'), 1000000000000000000LL / 10);
    }
    return order + (negative ? -exponent : exponent) > 0;
}

template <typename T>
const char* Scan(const char* first, const char* last, T& value)
{
    const char* p = first;
    while (p < last && IsBlank(*p))
        ++p;
    bool negative = false;
    if (p < last && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    // from_chars takes a minus sign of its own: a second sign is no number.
    if (p < last && (*p == '+' || *p == '-'))
        return first;
    T parsed = 0;
    std::from_chars_result result;
    const bool hex = last - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
                     (IsDigit(p[2], true) || (p[2] == '.' && last - p > 3 && IsDigit(p[3], true)));
    if (hex)
    {
        p += 2;
        result = std::from_chars(p, last, parsed, std::chars_format::hex);
    }
    else
    {
        result = std::from_chars(p, last, parsed);
    }
    if (result.ec == std::errc::invalid_argument)
        return first;
    if (result.ec == std::errc::result_out_of_range)
        parsed = TooLarge(p, result.ptr, hex) ? std::numeric_limits<T>::infinity() : T(0);
    value = negative ? -parsed : parsed;
    return result.ptr;
}

// Room for any fixed text of a double with this many decimals or fewer
// (sign, 309 digits, point); larger precisions take a buffer of their size.
const int kLocalPrecision = 40;
const size_t kLocalText = 1 + 309 + 1 + kLocalPrecision + 8;

} // namespace

const char* KScanDouble(const char* first, const char* last, double& value)
{
    return Scan(first, last, value);
}

const char* KScanFloat(const char* first, const char* last, float& value)
{
    return Scan(first, last, value);
}

double KTextToDouble(const char* text, const char** end)
{
    double value = 0.0;
    const char* stop = text ? KScanDouble(text, text + std::strlen(text), value) : text;
    if (end)
        *end = stop;
    return value;
}

int KPrintDouble(char* out, size_t size, double value, char conversion, int precision)
{
    const std::chars_format format = conversion == 'f'   ? std::chars_format::fixed
                                     : conversion == 'e' ? std::chars_format::scientific
                                                         : std::chars_format::general;
    if (precision < 0)
        precision = 6;
    char local[kLocalText];
    std::string large;
    char* first = local;
    char* last = local + sizeof local;
    if (precision > kLocalPrecision)
    {
        large.resize(kLocalText + static_cast<size_t>(precision));
        first = &large[0];
        last = first + large.size();
    }
    const size_t n = static_cast<size_t>(std::to_chars(first, last, value, format, precision).ptr - first);
    if (size > 0)
    {
        const size_t kept = std::min(n, size - 1);
        std::memcpy(out, first, kept);
        out[kept] = '\0';
    }
    return static_cast<int>(n);
}

std::string KDoubleText(double value, char conversion, int precision)
{
    char local[64];
    const int n = KPrintDouble(local, sizeof local, value, conversion, precision);
    if (static_cast<size_t>(n) < sizeof local)
        return std::string(local, static_cast<size_t>(n));
    std::string text(static_cast<size_t>(n) + 1, '\0');
    KPrintDouble(&text[0], text.size(), value, conversion, precision);
    text.resize(static_cast<size_t>(n));
    return text;
}
