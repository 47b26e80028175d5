#ifndef QOX_FORMATS_OBJ_KQOXWRITEROBJ_PRIVATE_H
#define QOX_FORMATS_OBJ_KQOXWRITEROBJ_PRIVATE_H

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <memory>
#include <vector>

#include "formats/obj/kqoxobjparallel.h"
#include "scene/kqoxwholename.h"
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

// Writes value (below 100) as two digits, a zero leading.
inline char* ObjTwoDigits(char* out, uint32_t value)
{
    std::memcpy(out, kObjDigitPairs + 2 * value, 2);
    return out + 2;
}

// Writes value (below 100) in decimal, one or two digits.
inline char* ObjSmall(char* out, uint32_t value)
{
    if (value < 10u)
    {
        *out = static_cast<char>('0' + value);
        return out + 1;
    }
    return ObjTwoDigits(out, value);
}

// Writes value in decimal (as "%u") and returns the end: the leading one or
// two digits, then the rest in pairs, each length in straight code.
[[gnu::always_inline]] inline char* ObjUnsigned32(char* out, uint32_t value)
{
    if (value < 100u)
        return ObjSmall(out, value);
    if (value < 10000u)
    {
        out = ObjSmall(out, value / 100u);
        return ObjTwoDigits(out, value % 100u);
    }
    if (value < 1000000u)
    {
        out = ObjSmall(out, value / 10000u);
        const uint32_t rest = value % 10000u;
        out = ObjTwoDigits(out, rest / 100u);
        return ObjTwoDigits(out, rest % 100u);
    }
    uint32_t rest;
    if (value < 100000000u)
    {
        out = ObjSmall(out, value / 1000000u);
        rest = value % 1000000u;
    }
    else
    {
        const uint32_t top = value / 100000000u; // up to 42
        out = ObjSmall(out, top);
        rest = value % 100000000u;
        out = ObjTwoDigits(out, rest / 1000000u);
        rest %= 1000000u;
    }
    out = ObjTwoDigits(out, rest / 10000u);
    rest %= 10000u;
    out = ObjTwoDigits(out, rest / 100u);
    return ObjTwoDigits(out, rest % 100u);
}

// Writes value (below 1e9) as nine digits, zeros leading.
inline char* ObjNineDigits(char* out, uint32_t value)
{
    out[0] = static_cast<char>('0' + value / 100000000u);
    value %= 100000000u;
    for (int i = 7; i >= 1; i -= 2)
    {
        std::memcpy(out + i, kObjDigitPairs + 2 * (value % 100u), 2);
        value /= 100u;
    }
    return out + 9;
}

// Writes value in decimal (as "%llu") and returns the end.
inline char* ObjUnsigned(char* out, uint64_t value)
{
    if (value <= 0xffffffffu)
        return ObjUnsigned32(out, static_cast<uint32_t>(value));
    // Nine digits at a time below the leading ones.
    const uint32_t low = static_cast<uint32_t>(value % 1000000000u);
    value /= 1000000000u;
    if (value >= 1000000000u)
    {
        out = ObjUnsigned32(out, static_cast<uint32_t>(value / 1000000000u));
        out = ObjNineDigits(out, static_cast<uint32_t>(value % 1000000000u));
    }
    else
        out = ObjUnsigned32(out, static_cast<uint32_t>(value));
    return ObjNineDigits(out, low);
}

// Writes value in decimal (as "%d") and returns the end; the common
// numbers (below 2^32) in straight code.
[[gnu::always_inline]] inline char* ObjInt(char* out, long long value)
{
    if (static_cast<unsigned long long>(value) <= 0xffffffffu)
        return ObjUnsigned32(out, static_cast<uint32_t>(value));
    if (value < 0)
    {
        *out++ = '-';
        return ObjUnsigned(out, 0 - static_cast<uint64_t>(value));
    }
    return ObjUnsigned(out, static_cast<uint64_t>(value));
}

// Writes the point and fraction (below 1e6) as six digits.
inline char* ObjSixDigits(char* out, uint32_t fraction)
{
    out[0] = '.';
    const uint32_t high = fraction / 10000u;
    const uint32_t low = fraction % 10000u;
    std::memcpy(out + 1, kObjDigitPairs + 2 * high, 2);
    std::memcpy(out + 3, kObjDigitPairs + 2 * (low / 100u), 2);
    std::memcpy(out + 5, kObjDigitPairs + 2 * (low % 100u), 2);
    return out + 7;
}

// ObjFixed6's general path, apart so that the fast one is inlined.
[[gnu::noinline]] inline char* ObjFixed6Exact(char* out, double value)
{
    const auto result = std::to_chars(out, out + kObjFixed6Max, value, std::chars_format::fixed, 6);
    return result.ec == std::errc() ? result.ptr : out;
}

// Writes value as printf's "%lf" does (six digits after the point, rounded
// as printf rounds the exact binary value, "-" on negative zero) and returns
// the end. Values of ordinary size take a fast integer path; the rest, and
// the rare value lying within 1e-7 of a rounding tie, go through
// std::to_chars, which rounds exactly.
[[gnu::always_inline]] inline char* ObjFixed6(char* out, double value)
{
    const bool negative = std::signbit(value);
    const double magnitude = negative ? -value : value;
    if (magnitude < 8589.0) // false for NaN too
    {
        // The value in millionths: below 2^33 the product is off by at
        // most 2^-21, so away from a tie it rounds as the exact value does.
        // Adding 2^52 rounds it to a whole number held in the low bits.
        const double scaled = magnitude * 1e6;
        const double shifted = scaled + 4503599627370496.0;
        const double rest = scaled - (shifted - 4503599627370496.0);
        if (std::fabs(std::fabs(rest) - 0.5) > 1e-6)
        {
            uint64_t bits;
            std::memcpy(&bits, &shifted, sizeof(bits));
            const uint64_t micros = bits & ((uint64_t(1) << 52) - 1);
            const uint32_t whole = static_cast<uint32_t>(micros / 1000000u);
            const uint32_t fraction = static_cast<uint32_t>(micros % 1000000u);
            if (negative)
                *out++ = '-';
            out = ObjUnsigned32(out, whole);
            return ObjSixDigits(out, fraction);
        }
    }
    else if (magnitude < 1e12)
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
            return ObjSixDigits(out, fraction);
        }
    }
    return ObjFixed6Exact(out, value);
}

// Buffered text output with the number formats of "%lf" and "%d". A failed
// write is remembered; nothing after it is written. Without a file the text
// is kept in memory (Data, Size), the buffer growing as needed.
class KQoxWriterObj::Output
{
public:
    explicit Output(FILE* file)
        : mFile(file)
        , mData(file ? kSize + 4096 : 0)
    {}
    ~Output() { Flush(); }
    Output& Text(const char* text) { return Text(text, std::strlen(text)); }
    // A name or path: std::bad_alloc when it lost its text (KQoxWholeText).
    Output& Text(const KString& text) { return Text(KQoxWholeText(text).ToChars(), text.GetLen()); }
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
    // A whole line: the key (a terminated text), then count numbers as
    // "%lf", each after a blank.
    Output& Line(const char* key, size_t keyLength, const double* values, int count)
    {
        char* at = Room(keyLength + static_cast<size_t>(count > 4 ? count : 4) * (kObjFixed6Max + 1) + 1);
        if (keyLength <= 2)
            std::memcpy(at, key, 2); // "v" with its terminator: a fixed size copies without a call
        else
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
    // Writes length bytes at once, after what is buffered.
    Output& Bytes(const char* data, size_t length)
    {
        Drain();
        if (length > 0 && !mFailed)
            mFailed = fwrite(data, 1, length, mFile) != length;
        return *this;
    }
    // Text kept in memory: the bytes, their count, and emptying.
    const char* Data() const { return mData.data(); }
    size_t Size() const { return mUsed; }
    void Clear() { mUsed = 0; }
    // Room for length bytes to be written at the pointer returned; End
    // takes the pointer behind the last one written.
    char* Begin(size_t length) { return Room(length); }
    void End(char* at) { mUsed = static_cast<size_t>(at - mData.data()); }
    bool Flush()
    {
        if (!mFile)
            return !mFailed;
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
            if (!mFile)
                mData.resize(std::max(mData.size() * 2, mUsed + length));
            else
            {
                Drain();
                if (length > mData.size())
                    mData.resize(length);
            }
        }
        return mData.data() + mUsed;
    }
    void Drain()
    {
        if (!mFile)
            return;
        if (mUsed > 0 && !mFailed)
            mFailed = fwrite(mData.data(), 1, mUsed, mFile) != mUsed;
        mUsed = 0;
    }
    FILE* mFile;
    std::vector<char> mData;
    size_t mUsed = 0;
    bool mFailed = false;
};

// Writes the text of items 0 to count - 1 to out in order: format(text,
// begin, end) writes that of items begin to end - 1 to text. Items are
// taken in blocks of blockItems; threads threads format blocks into memory,
// each taking the next block not yet taken, while the calling thread writes
// each block as soon as it is ready, in order, and formats the next blocks
// itself while it waits. At most 2 * kObjPortionsPerThread * threads blocks
// are held at once; the text is the same as format(out, 0, count) writes.
// The texts in memory are kept in texts from one call to the next.
template <class Out, class F>
void ObjWriteBlocks(Out& out, std::vector<std::unique_ptr<Out>>& texts, int threads, size_t blockItems, size_t count,
                    F&& format)
{
    if (threads < 2 || blockItems == 0 || count <= blockItems)
    {
        format(out, size_t(0), count);
        return;
    }
    const size_t workers = static_cast<size_t>(threads);
    const size_t held = 2 * kObjPortionsPerThread * workers;
    const size_t blocks = (count + blockItems - 1) / blockItems;
    while (texts.size() < held)
        texts.push_back(std::make_unique<Out>(nullptr));
    // Under the lock: the next block to take, how many are written, which
    // held texts are formatted and not yet written, and the first exception
    // a thread met (memory running out), which stops every thread.
    std::mutex lock;
    std::condition_variable changed;
    size_t taken = 0, written = 0;
    std::vector<char> ready(held, 0);
    std::exception_ptr failure;
    auto fail = [&] {
        std::lock_guard<std::mutex> guard(lock);
        if (!failure)
            failure = std::current_exception();
        changed.notify_all();
    };
    // False when formatting threw: the failure is kept.
    auto formatBlock = [&](size_t block) {
        try
        {
            Out& text = *texts[block % held];
            text.Clear();
            const size_t begin = block * blockItems;
            format(text, begin, std::min(count, begin + blockItems));
            return true;
        }
        catch (...)
        {
            fail();
            return false;
        }
    };
    auto work = [&] {
        std::unique_lock<std::mutex> guard(lock);
        for (;;)
        {
            // A block's text is free once the block held before it is written.
            changed.wait(guard, [&] { return failure || taken >= blocks || taken < written + held; });
            if (failure || taken >= blocks)
                return;
            const size_t block = taken++;
            guard.unlock();
            const bool formatted = formatBlock(block);
            guard.lock();
            if (!formatted)
                return;
            ready[block % held] = 1;
            changed.notify_all();
        }
    };
    KPoolJobs running;
    // Helpers the pool does not give leave their blocks to this thread,
    // which formats whatever is not taken while it waits.
    for (size_t i = 0; i < workers; ++i)
        if (!running.Start(work))
            break;
    for (size_t block = 0; block < blocks; ++block)
    {
        {
            // While the block is not ready, this thread formats the next
            // one not yet taken rather than wait idle.
            std::unique_lock<std::mutex> guard(lock);
            while (!ready[block % held] && !failure)
            {
                if (taken < blocks && taken < written + held)
                {
                    const size_t next = taken++;
                    guard.unlock();
                    const bool formatted = formatBlock(next);
                    guard.lock();
                    if (formatted)
                        ready[next % held] = 1;
                }
                else
                    changed.wait(guard);
            }
            if (failure)
                break;
        }
        try
        {
            const Out& text = *texts[block % held];
            out.Bytes(text.Data(), text.Size());
        }
        catch (...)
        {
            fail();
            break;
        }
        std::lock_guard<std::mutex> guard(lock);
        ready[block % held] = 0;
        written = block + 1;
        changed.notify_all();
    }
    running.Wait();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace qoxsdk_600

#endif
