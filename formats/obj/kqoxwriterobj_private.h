#ifndef QOX_FORMATS_OBJ_KQOXWRITEROBJ_PRIVATE_H
#define QOX_FORMATS_OBJ_KQOXWRITEROBJ_PRIVATE_H

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "formats/obj/kqoxwriterobj.h"

namespace qoxsdk_600 {

// The longest text ObjFixed6 writes: a sign, 309 digits, the point and six.
constexpr size_t kObjFixed6Max = 320;
// The longest text ObjUnsigned writes.
constexpr size_t kObjUnsignedMax = 20;

// "00" to "99", two characters each, for writing digits in pairs.
inline constexpr char kObjDigitPairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes value in decimal (as "%llu") and returns the end.
inline char* ObjUnsigned(char* out, uint64_t value)
{
    // The length first, then the digits from the last one, two at a time.
    size_t length = 1;
    for (uint64_t bound = 10; length < kObjUnsignedMax && value >= bound; bound *= 10)
        ++length;
    char* at = out + length;
    while (value >= 100)
    {
        const uint64_t rest = value % 100;
        value /= 100;
        at -= 2;
        std::memcpy(at, kObjDigitPairs + 2 * rest, 2);
    }
    if (value >= 10)
        std::memcpy(at - 2, kObjDigitPairs + 2 * value, 2);
    else
        at[-1] = static_cast<char>('0' + value);
    return out + length;
}

// Writes value in decimal (as "%d") and returns the end.
inline char* ObjInt(char* out, long long value)
{
    if (value < 0)
    {
        *out++ = '-';
        return ObjUnsigned(out, 0 - static_cast<uint64_t>(value));
    }
    return ObjUnsigned(out, static_cast<uint64_t>(value));
}

// Writes value as printf's "%lf" does (six digits after the point, rounded
// as printf rounds the exact binary value, "-" on negative zero) and returns
// the end. Values of ordinary size take a fast integer path; the rest, and
// the rare value lying within 1e-7 of a rounding tie, go through
// std::to_chars, which rounds exactly.
inline char* ObjFixed6(char* out, double value)
{
    const bool negative = std::signbit(value);
    const double magnitude = negative ? -value : value;
    if (magnitude < 1e12) // false for NaN too
    {
        uint64_t whole = static_cast<uint64_t>(magnitude);
        // Exact: the fraction's bits are a part of the value's.
        const double scaled = (magnitude - static_cast<double>(whole)) * 1e6;
        uint32_t fraction = static_cast<uint32_t>(scaled);
        const double rest = scaled - static_cast<double>(fraction);
        // The product is off by at most 2^-33: away from a tie it rounds
        // the way the exact value does.
        if (std::fabs(rest - 0.5) > 1e-7)
        {
            if (rest > 0.5 && ++fraction == 1000000u)
            {
                fraction = 0;
                ++whole;
            }
            if (negative)
                *out++ = '-';
            out = ObjUnsigned(out, whole);
            out[0] = '.';
            const uint32_t high = fraction / 10000u;
            const uint32_t low = fraction % 10000u;
            std::memcpy(out + 1, kObjDigitPairs + 2 * high, 2);
            std::memcpy(out + 3, kObjDigitPairs + 2 * (low / 100u), 2);
            std::memcpy(out + 5, kObjDigitPairs + 2 * (low % 100u), 2);
            return out + 7;
        }
    }
    const auto result = std::to_chars(out, out + kObjFixed6Max, value, std::chars_format::fixed, 6);
    return result.ec == std::errc() ? result.ptr : out;
}

// Buffered text output with the number formats of "%lf" and "%d". A failed
// write is remembered; nothing after it is written.
class KQoxWriterObj::Output
{
public:
    explicit Output(FILE* file)
        : mFile(file)
        , mData(kSize + 4096)
    {}
    ~Output() { Flush(); }
    Output& Text(const char* text) { return Text(text, std::strlen(text)); }
    Output& Text(const char* text, size_t length)
    {
        std::memcpy(Room(length), text, length);
        mUsed += length;
        return *this;
    }
    Output& Char(char c)
    {
        *Room(1) = c;
        ++mUsed;
        return *this;
    }
    // Six digits after the point, as printf's "%lf".
    Output& Double(double value)
    {
        char* at = Room(kObjFixed6Max);
        mUsed = static_cast<size_t>(ObjFixed6(at, value) - mData.data());
        return *this;
    }
    Output& Int(long long value)
    {
        char* at = Room(kObjUnsignedMax + 1);
        mUsed = static_cast<size_t>(ObjInt(at, value) - mData.data());
        return *this;
    }
    // A whole line: the key, then count numbers as "%lf", each after a blank.
    Output& Line(const char* key, size_t keyLength, const double* values, int count)
    {
        char* at = Room(keyLength + 4 * (kObjFixed6Max + 1) + 1);
        std::memcpy(at, key, keyLength);
        at += keyLength;
        for (int i = 0; i < count; ++i)
        {
            *at++ = ' ';
            at = ObjFixed6(at, values[i]);
        }
        *at++ = '\n';
        mUsed = static_cast<size_t>(at - mData.data());
        return *this;
    }
    // Room for length bytes to be written at the pointer returned; End
    // takes the pointer behind the last one written.
    char* Begin(size_t length) { return Room(length); }
    void End(char* at) { mUsed = static_cast<size_t>(at - mData.data()); }
    bool Flush()
    {
        Drain();
        if (!mFailed)
            mFailed = fflush(mFile) != 0;
        return !mFailed;
    }
    bool Failed() const { return mFailed; }

private:
    static const size_t kSize = 1 << 20;
    // Room for length more bytes, the buffer drained first when it is full.
    char* Room(size_t length)
    {
        if (mUsed + length > mData.size())
        {
            Drain();
            if (length > mData.size())
                mData.resize(length);
        }
        return mData.data() + mUsed;
    }
    void Drain()
    {
        if (mUsed > 0 && !mFailed)
            mFailed = fwrite(mData.data(), 1, mUsed, mFile) != mUsed;
        mUsed = 0;
    }
    FILE* mFile;
    std::vector<char> mData;
    size_t mUsed = 0;
    bool mFailed = false;
};

} // namespace qoxsdk_600

#endif
