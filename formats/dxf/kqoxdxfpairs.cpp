#include "formats/dxf/kqoxdxfpairs.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/knumbertext.h"
#include "formats/kqoxplaindecimal.h"

namespace qoxsdk_600 {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

} // namespace

bool KDxfPairReader::ReadLine(const char*& begin, const char*& end)
{
    if (mPos >= mSize)
    {
        begin = end = mData + mSize;
        return false;
    }
    begin = mData + mPos;
    const size_t left = mSize - mPos;
    const size_t span = left < kDxfLineMax ? left : kDxfLineMax;
    const void* lf = std::memchr(begin, '\n', span);
    if (lf)
    {
        end = static_cast<const char*>(lf);
        mPos += static_cast<size_t>(end - begin) + 1;
        return true;
    }
    end = begin + span;
    mPos += span;
    // A line cut at the length limit goes on in the next read; a last line
    // without a line break meets the end of the bytes.
    return span == kDxfLineMax;
}

bool KDxfPairReader::ReadCodeLine(int& code, bool& set)
{
    // The usual code line, "  8" or " 10" with LF or CRLF, is read in one
    // pass: blanks, up to nine digits, the line end. Anything else (a sign,
    // text, a missing line end) goes the general way.
    const char* p = mData + mPos;
    const char* const end = mData + mSize;
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    int number = 0;
    int digits = 0;
    for (; p < end && *p >= '0' && *p <= '9' && digits < 9; ++p, ++digits)
        number = number * 10 + (*p - '0');
    if (p < end && *p == '\r')
        ++p;
    if (digits > 0 && p < end && *p == '\n' && static_cast<size_t>(p - (mData + mPos)) < kDxfLineMax)
    {
        mPos = static_cast<size_t>(p + 1 - mData);
        code = number;
        set = true;
        return true;
    }
    const char* begin;
    const char* lineEnd;
    if (!ReadLine(begin, lineEnd))
        return false;
    set = DxfScanInt(std::string_view(begin, static_cast<size_t>(lineEnd - begin)), code);
    return true;
}

bool KDxfPairReader::NextGeneral(int& code, std::string_view& value)
{
    if (mPos == mLastStart)
    {
        // The pair read last, read again: its answer as it was.
        if (mLastCodeSet)
            code = mLastCode;
        if (mLastValueSet)
            value = mLastValue;
        mPos = mLastEnd;
        return mLastOk;
    }
    const size_t start = mPos;
    // A sentinel tells whether the code line held a number.
    int scanned = 0;
    bool codeSet = false;
    if (!ReadCodeLine(scanned, codeSet))
        return false;
    if (codeSet)
        code = scanned;
    const char* begin;
    const char* end;
    const bool ok = ReadLine(begin, end);
    const std::string_view text = DxfTrimmed(begin, end);
    if (!text.empty())
        value = text;
    mLastStart = start;
    mLastEnd = mPos;
    mLastCode = scanned;
    mLastCodeSet = codeSet;
    mLastValue = text;
    mLastValueSet = !text.empty();
    mLastOk = ok;
    return ok;
}

char* DxfFormatReal(char* out, double value)
{
    const bool negative = std::signbit(value);
    const double magnitude = negative ? -value : value;
    if (magnitude < 1e9) // false for NaN too
    {
        // A whole number, the usual coordinate, needs no division.
        const uint32_t whole = static_cast<uint32_t>(magnitude);
        if (static_cast<double>(whole) == magnitude)
        {
            if (negative)
                *out++ = '-';
            return std::to_chars(out, out + 10, whole).ptr;
        }
        // The nearest multiple of 1e-6; it is the value's shortest form when
        // it reads back as the value (the check is exact: a 53-bit integer
        // over a power of ten rounds as strtod rounds the text). Below 1e9 a
        // double's spacing is under 1e-6, so no shorter text with other
        // digits reads back as the value too.
        const uint64_t micros = static_cast<uint64_t>(magnitude * 1e6 + 0.5);
        if (static_cast<double>(micros) / 1e6 == magnitude)
        {
            if (negative)
                *out++ = '-';
            out = std::to_chars(out, out + 12, micros / 1000000u).ptr;
            uint32_t fraction = static_cast<uint32_t>(micros % 1000000u);
            if (fraction != 0)
            {
                int digits = 6;
                while (fraction % 10 == 0)
                {
                    fraction /= 10;
                    --digits;
                }
                *out++ = '.';
                for (int i = digits - 1; i >= 0; --i)
                {
                    out[i] = static_cast<char>('0' + fraction % 10);
                    fraction /= 10;
                }
                out += digits;
            }
            return out;
        }
    }
    return std::to_chars(out, out + kDxfRealMax, value).ptr;
}

bool DxfScanInt(std::string_view text, int& value)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return false;
    long long number = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    {
        number = number * 10 + (text[i] - '0');
        if (number > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    number = negative ? -number : number;
    if (number > INT_MAX || number < INT_MIN)
        return false;
    value = static_cast<int>(number);
    return true;
}

bool DxfScanDouble(std::string_view text, double& value)
{
    // Plain decimals take the short path (blanks and a sign as "%lf" reads
    // them first).
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end && IsBlank(*p))
        ++p;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    double plain;
    if (KQoxScanPlainDecimal(p, end, plain))
    {
        value = negative ? -plain : plain;
        return true;
    }
    // Anything else as strtod reads it, with a point in every locale.
    const char* const start = text.data();
    return KScanDouble(start, start + text.size(), value) != start;
}

} // namespace qoxsdk_600
