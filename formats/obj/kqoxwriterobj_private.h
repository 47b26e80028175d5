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
        const uint64_t whole = static_cast<uint64_t>(magnitude);
        // Exact: the fraction's bits are a part of the value's.
        const double scaled = (magnitude - static_cast<double>(whole)) * 1e6;
        const uint64_t below = static_cast<uint64_t>(scaled);
        const double rest = scaled - static_cast<double>(below);
        // The product is off by at most 2^-33: away from a tie it rounds
        // the way the exact value does.
        if (std::fabs(rest - 0.5) > 1e-7)
        {
            const uint64_t micros = whole * 1000000u + below + (rest > 0.5 ? 1u : 0u);
            if (negative)
                *out++ = '-';
            out = std::to_chars(out, out + 24, micros / 1000000u).ptr;
            *out++ = '.';
            uint32_t fraction = static_cast<uint32_t>(micros % 1000000u);
            for (int i = 5; i >= 0; --i)
            {
                out[i] = static_cast<char>('0' + fraction % 10);
                fraction /= 10;
            }
            return out + 6;
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
        char* at = Room(24);
        mUsed = static_cast<size_t>(std::to_chars(at, at + 24, value).ptr - mData.data());
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
