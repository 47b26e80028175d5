#ifndef QOX_FORMATS_DXF_KQOXDXFPAIRS_H
#define QOX_FORMATS_DXF_KQOXDXFPAIRS_H

// Group pairs of a DXF text file, read in place from the file's bytes held
// in memory: a group code line (a decimal integer) followed by a value line.
// Nothing is allocated per pair; the value is a view into the bytes.

#include <cstddef>
#include <cstring>
#include <string_view>

#include "formats/kqoxplaindecimal.h"

namespace qoxsdk_600 {

// The longest line read at once; a longer line is read as two lines.
constexpr size_t kDxfLineMax = 1239;

// A value line's value: [begin, end) without its leading and trailing blanks
// (a CR of a CRLF line end among them); blanks inside are kept, so a name
// such as "Wall North" stays whole. Empty when the line holds only blanks.
inline std::string_view DxfTrimmed(const char* begin, const char* end)
{
    auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (begin < end && blank(*begin))
        ++begin;
    while (end > begin && blank(end[-1]))
        --end;
    return std::string_view(begin, static_cast<size_t>(end - begin));
}

class KDxfPairReader
{
public:
    KDxfPairReader() = default;
    // The bytes are not copied and must outlive the reader.
    KDxfPairReader(const char* data, size_t size)
        : mData(data)
        , mSize(size)
    {}

    // Reads one group pair. A code line without a number leaves the code as it
    // was; a value line of blanks only leaves the value as it was; otherwise
    // the value is the whole line without leading and trailing blanks (and
    // without the CR of a CRLF line end). False when the end
    // of the bytes is reached during either line (a value line that is the
    // last line without a line break counts as a failed read).
    bool Next(int& code, std::string_view& value)
    {
        double number;
        bool plain;
        return ScanUsual<false>(code, value, number, plain) || NextGeneralCopied(code, value);
    }

    // Next, and when the value line is a plain decimal alone ("12.5",
    // "-0.25", no blanks, exponent or other text) its number, read in the
    // same pass: plain tells whether number was set.
    bool NextWithNumber(int& code, std::string_view& value, double& number, bool& plain)
    {
        plain = false;
        return ScanUsual<true>(code, value, number, plain) || NextGeneralCopied(code, value);
    }

    // The position of the next pair, and a move back to one remembered so.
    size_t Tell() const { return mPos; }
    void Seek(size_t pos) { mPos = pos <= mSize ? pos : mSize; }

private:
    // The usual pair, read inline: a code line of one to three digits after
    // blanks and a value line that ends within the length limit and holds
    // more than blanks. With withNumber, a value that is a plain decimal
    // (after a sign) is scanned on the way. False, nothing changed, for
    // every other pair, which NextGeneral reads.
    template <bool withNumber>
    bool ScanUsual(int& code, std::string_view& value, double& number, bool& plain)
    {
        const char* p = mData + mPos;
        const char* const end = mData + mSize;
        // The usual code line is three characters wide ("  8", " 10", "100").
        auto digit = [](char c) { return c >= '0' && c <= '9'; };
        int number3 = 0;
        if (end - p >= 4 && p[3] == '\n' && digit(p[2]) &&
            ((p[0] == ' ' && (p[1] == ' ' || digit(p[1]))) || (digit(p[0]) && digit(p[1]))))
        {
            number3 = (p[0] == ' ' ? 0 : (p[0] - '0') * 100) + (p[1] == ' ' ? 0 : (p[1] - '0') * 10) + (p[2] - '0');
            p += 3;
        }
        else
        {
            while (p < end && *p == ' ')
                ++p;
            const char* const digits = p;
            while (p < end && digit(*p) && p - digits < 3)
                number3 = number3 * 10 + (*p++ - '0');
            // A CRLF line end too, as files from Windows have throughout.
            if (p != digits && p < end && *p == '\r')
                ++p;
            if (p == digits || p >= end || *p != '\n' || p - (mData + mPos) >= 32)
                return false;
        }
        const char* const line = p + 1;
        if constexpr (withNumber)
        {
            // A sign and a plain decimal right up to the line end.
            const char* q = line;
            const bool negative = q < end && *q == '-';
            if (q < end && (*q == '-' || *q == '+'))
                ++q;
            double scanned;
            if (q < end && digit(*q) && KQoxScanPlainDecimal(q, end, scanned))
            {
                const char* lineEnd = q;
                if (q < end && *q == '\r')
                    ++q;
                if (q < end && *q == '\n')
                {
                    code = number3;
                    value = std::string_view(line, static_cast<size_t>(lineEnd - line));
                    number = negative ? -scanned : scanned;
                    plain = true;
                    mPos = static_cast<size_t>(q + 1 - mData);
                    return true;
                }
            }
        }
        const size_t left = static_cast<size_t>(end - line);
        const void* lf = std::memchr(line, '\n', left < kDxfLineMax ? left : kDxfLineMax);
        if (!lf)
            return false;
        const char* const lineEnd = static_cast<const char*>(lf);
        const std::string_view text = DxfTrimmed(line, lineEnd);
        if (text.empty())
            return false;
        code = number3;
        value = text;
        mPos = static_cast<size_t>(lineEnd + 1 - mData);
        return true;
    }
    // Next for every pair, the unusual ones included.
    bool NextGeneral(int& code, std::string_view& value);
    // NextGeneral through copies: the caller's variables never have their
    // address taken by an out-of-line call, so they can stay in registers.
    // In memory, a view stored in two halves and loaded whole waits for
    // every store before it to reach the cache (stores to the weld table
    // among them), which cost the usual pair more than its scan.
    bool NextGeneralCopied(int& code, std::string_view& value)
    {
        int codeCopy = code;
        std::string_view valueCopy = value;
        const bool ok = NextGeneral(codeCopy, valueCopy);
        code = codeCopy;
        value = valueCopy;
        return ok;
    }
    // Reads one line of at most kDxfLineMax characters; [begin, end) is the
    // line without its line break. False when the end was met in this read.
    bool ReadLine(const char*& begin, const char*& end);
    // Reads a code line and scans its number into code (left as it was
    // when the line holds none; set tells which); false when the end was met.
    bool ReadCodeLine(int& code, bool& set);

    const char* mData = nullptr;
    size_t mSize = 0;
    size_t mPos = 0;
    // The pair NextGeneral read last, kept because readers often step back to it
    // (Seek) and read it again: where it starts and ends, its code and
    // value and whether they were set, and its answer. mLastStart is
    // past every position when none is kept.
    size_t mLastStart = static_cast<size_t>(-1);
    size_t mLastEnd = 0;
    int mLastCode = 0;
    std::string_view mLastValue;
    bool mLastCodeSet = false;
    bool mLastValueSet = false;
    bool mLastOk = false;
};

// The longest text DxfFormatReal writes.
constexpr size_t kDxfRealMax = 32;
// Writes a real in the shortest form that reads back as the same double and
// returns the end: fixed notation ("12.5", "-0", "100000") for values below
// 1e9 with at most six decimals, else std::to_chars's shortest form, which
// may be scientific ("1e-07", "0.3333333333333333").
char* DxfFormatReal(char* out, double value);

// Scans a decimal integer as "%d" does (leading blanks, a sign, digits).
// False, value unchanged, when there is no number or it does not fit an int.
bool DxfScanInt(std::string_view text, int& value);
// Scans a real number as "%lf" does. False, value unchanged, when none.
bool DxfScanDouble(std::string_view text, double& value);

} // namespace qoxsdk_600

#endif
