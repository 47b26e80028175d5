#ifndef QOX_FORMATS_OBJ_KQOXOBJSCAN_H
#define QOX_FORMATS_OBJ_KQOXOBJSCAN_H

// Statement reading and number scanning for OBJ and material library text.
// Statements are cut out of a block buffer in place: no allocation per line
// and no limit on a line's length.

#include <climits>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace qoxsdk_600 {

constexpr long long kIntMax = INT_MAX;
constexpr long long kIntMin = INT_MIN;

// White space as isspace tells in the C locale.
inline bool ObjIsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Both ends (or only the right end) without white space.
std::string_view ObjTrim(std::string_view text);
std::string_view ObjTrimRight(std::string_view text);

// Reads statements: a keyword of at most 20 characters after any white
// space (blank lines included), then the rest of its physical line, trimmed
// at both ends. Lines end at LF, CR LF or a lone CR. With joining, a rest
// ending in a backslash continues on the next physical line (the backslash
// becomes a blank). The last line needs no line break.
class KObjStatementReader
{
public:
    enum
    {
        eKEYWORD_SIZE = 20
    };

    explicit KObjStatementReader(FILE* file = nullptr, bool joinContinuations = true);
    void SetFile(FILE* file);
    // Back to the start of the file.
    void Rewind();
    // The next statement; false at the end of the file or on a read error.
    // Both views stay valid until the next call.
    bool Next(std::string_view& keyword, std::string_view& rest);
    // Whether the file could not be read (as opposed to ended).
    bool ReadFailed() const { return mReadFailed; }
    // Bytes consumed so far.
    size_t Position() const { return mConsumed + mPos; }

private:
    // Moves the unread bytes to the front and reads more; false when
    // nothing more could be read.
    bool Fill();
    // Index of the end of the physical line starting at mPos (the first CR
    // or LF, or the end of the data at the end of the file).
    size_t LineEnd();
    // Skips the line break at mPos, if any.
    void SkipBreak();

    FILE* mFile;
    bool mJoin;
    std::vector<char> mBuffer;
    size_t mPos = 0;
    size_t mEnd = 0;
    size_t mConsumed = 0;
    size_t mScan = 0; // where the search for the line end goes on
    bool mEof = false;
    bool mReadFailed = false;
    char mKeyword[eKEYWORD_SIZE + 1];
    std::string mJoined;
};

// Scanners in the manner of "%lf", "%d" and "%s": each skips white space
// first and advances p past what it read; false, p unchanged, when nothing
// could be read. Integers outside the 32-bit range do not read.
bool ObjScanDouble(const char*& p, const char* end, double& value);
bool ObjScanWord(const char*& p, const char* end, std::string_view& word);
// Called for every index of every face: inline.
inline bool ObjScanInt(const char*& p, const char* end, int& value)
{
    const char* s = p;
    while (s < end && ObjIsSpace(*s))
        ++s;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-'))
    {
        negative = *s == '-';
        ++s;
    }
    const char* digits = s;
    long long magnitude = 0;
    while (s < end && *s >= '0' && *s <= '9')
    {
        magnitude = magnitude * 10 + (*s - '0');
        if (magnitude > static_cast<long long>(kIntMax) + 1)
            return false;
        ++s;
    }
    if (s == digits)
        return false;
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > kIntMax || signedValue < kIntMin)
        return false;
    value = static_cast<int>(signedValue);
    p = s;
    return true;
}

// Up to count doubles in a row; the number read.
int ObjScanDoubles(std::string_view text, double* values, int count);

// Splits at runs of the separator; empty fields vanish.
template <class F>
void ObjSplit(std::string_view text, char separator, F&& onField)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n)
    {
        while (i < n && text[i] == separator)
            ++i;
        const size_t start = i;
        while (i < n && text[i] != separator)
            ++i;
        if (i > start && !onField(text.substr(start, i - start)))
            return;
    }
}

} // namespace qoxsdk_600

#endif
