#include "base/ktextfile.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "base/kformattext.h"
#include "base/knumbertext.h"

namespace {

const int kInitialBufferSize = 10240;

// Reads a decimal number at p the way "%lf" of a classic C library does:
// blanks, a sign, digits with an optional fraction, an optional exponent.
// Words such as "inf" or "nan" and hexadecimal forms are not numbers here.
// Returns the end of the number, or null when there is none.
const char* ScanNumber(const char* p, double& value)
{
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    const char* start = p;
    if (*p == '+' || *p == '-')
        ++p;
    int digits = 0;
    while (isdigit(static_cast<unsigned char>(*p)))
    {
        ++p;
        ++digits;
    }
    if (*p == '.')
    {
        ++p;
        while (isdigit(static_cast<unsigned char>(*p)))
        {
            ++p;
            ++digits;
        }
    }
    if (digits == 0)
        return nullptr;
    if (*p == 'e' || *p == 'E')
    {
        const char* e = p + 1;
        if (*e == '+' || *e == '-')
            ++e;
        if (isdigit(static_cast<unsigned char>(*e)))
        {
            while (isdigit(static_cast<unsigned char>(*e)))
                ++e;
            p = e;
        }
    }
    KScanDouble(start, p, value);
    return p;
}

// Reads a decimal integer at p as "%d" does; null when there is none or it
// does not fit an int.
const char* ScanInteger(const char* p, int& value)
{
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    const char* q = p;
    if (*q == '+' || *q == '-')
        ++q;
    if (!isdigit(static_cast<unsigned char>(*q)))
        return nullptr;
    errno = 0;
    char* end = nullptr;
    long v = strtol(p, &end, 10);
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return nullptr;
    value = static_cast<int>(v);
    return end;
}

} // namespace

KTextFile::KTextFile(const char* typeWord, const char* delimiters, const char* comments, bool caseSensitive,
                     bool messages)
    : mFile(nullptr)
    , mLineCount(0)
    , mBufferSize(kInitialBufferSize)
    , mLine(kInitialBufferSize)
    , mPosition(nullptr)
    , mMessages(messages)
    , mCaseSensitive(caseSensitive)
    , mDelimiters(delimiters ? delimiters : "")
    , mStringDelimiters(delimiters ? delimiters : "")
    , mComments(comments ? comments : "")
    , mTypeWord(typeWord ? typeWord : "")
    , mAtEnd(true)
    , mSkipped(false)
    , mDebugCallback(nullptr)
    , mWarningCallback(nullptr)
    , mErrorCallback(nullptr)
{
    EmptyLine();
}

KTextFile::~KTextFile()
{
    Close();
}

void KTextFile::EmptyLine()
{
    static char sEmpty[1] = {0};
    if (mBufferSize > 0)
    {
        mLine[0] = 0;
        mPosition = mLine.data();
    }
    else
    {
        mPosition = sEmpty;
    }
}

bool KTextFile::Open(const char* path, const char* mode)
{
    if (mFile)
        Close();
    mLineCount = 0;
    if (!path || !mode)
        return true;
    mFile = fopen(path, mode);
    if (!mFile)
        return true;
    mAtEnd = false;
    NextLine();
    return false;
}

bool KTextFile::Close()
{
    bool failed = true;
    if (mFile)
    {
        failed = fclose(mFile) != 0;
        mFile = nullptr;
    }
    mLineCount = 0;
    mAtEnd = true;
    EmptyLine();
    return failed;
}

KString KTextFile::SetDel(const char* delimiters)
{
    KString previous = mDelimiters;
    mDelimiters = delimiters ? delimiters : "";
    return previous;
}

KString KTextFile::SetStringDel(const char* delimiters)
{
    KString previous = mStringDelimiters;
    mStringDelimiters = delimiters ? delimiters : "";
    return previous;
}

bool KTextFile::FirstLine()
{
    if (!mFile)
        return false;
    if (fseek(mFile, 0, SEEK_SET) != 0)
        return false;
    clearerr(mFile);
    mLineCount = 0;
    mAtEnd = false;
    return NextLine();
}

bool KTextFile::ReadPhysicalLine()
{
    size_t length = 0;
    for (;;)
    {
        int room = mBufferSize - static_cast<int>(length);
        if (!fgets(mLine.data() + length, room, mFile))
        {
            mLine[length] = 0;
            return length > 0;
        }
        length += strlen(mLine.data() + length);
        if (length > 0 && mLine[length - 1] == '\n')
            return true;
        if (static_cast<int>(length) < mBufferSize - 1)
            return true; // last line, no line end
        // The line fills the buffer: enlarge it and read on.
        size_t newSize = length + kInitialBufferSize;
        if (newSize < static_cast<size_t>(mBufferSize) * 2)
            newSize = static_cast<size_t>(mBufferSize) * 2;
        if (newSize > static_cast<size_t>(INT_MAX))
            return true;
        mLine.resize(newSize);
        mBufferSize = static_cast<int>(newSize);
    }
}

bool KTextFile::NextLine()
{
    mSkipped = false;
    bool firstRead = true;
    for (;;)
    {
        if (!mFile || !ReadPhysicalLine())
        {
            mAtEnd = true;
            EmptyLine();
            return false;
        }
        if (!firstRead)
            mSkipped = true;
        firstRead = false;
        ++mLineCount;

        size_t length = strlen(mLine.data());
        if (length > 0 && mLine[length - 1] == '\n')
            mLine[length - 1] = 0;
        mPosition = mLine.data();

        char* p = mLine.data();
        bool comment = false;
        while (*p)
        {
            if (Find(mComments, *p))
            {
                comment = true;
                break;
            }
            if (!Find(mDelimiters, *p))
                break;
            ++p;
        }
        if (comment || !*p)
            continue;
        mPosition = p;
        return true;
    }
}

char* KTextFile::Strip(char* p)
{
    if (!p)
        return nullptr;
    while (*p && Find(mDelimiters, *p))
        ++p;
    return p;
}

bool KTextFile::Find(const char* set, char c)
{
    if (!set)
        return false;
    for (const char* s = set; *s; ++s)
    {
        if (static_cast<char>(tolower(static_cast<unsigned char>(*s))) == c)
            return true;
    }
    return false;
}

char* KTextFile::CmpTok(char* p, KToken& token)
{
    if (!p)
        return nullptr;
    const char* keyword = token.mKeyword ? token.mKeyword : "";
    size_t n = strlen(keyword);
    if (strncasecmp(p, keyword, n) != 0)
        return nullptr;
    return p + n;
}

void KTextFile::InitTokens(KToken* tokens)
{
    if (!tokens)
        return;
    for (KToken* t = tokens; t->mKeyword && t->mKeyword[0]; ++t)
        t->mHitCount = 0;
}

int KTextFile::Handle(KToken* tokens)
{
    if (!tokens || !mPosition)
        return -1;
    for (int i = 0; tokens[i].mKeyword && tokens[i].mKeyword[0]; ++i)
    {
        char* after = CmpTok(mPosition, tokens[i]);
        if (after)
        {
            mPosition = Strip(after);
            ++tokens[i].mHitCount;
            return i;
        }
    }
    return -1;
}

int KTextFile::Check(KToken* tokens)
{
    if (!tokens || !mPosition)
        return -1;
    for (int i = 0; tokens[i].mKeyword && tokens[i].mKeyword[0]; ++i)
    {
        if (CmpTok(mPosition, tokens[i]))
            return i;
    }
    return -1;
}

bool KTextFile::PeakChar(char& c)
{
    if (!mPosition || !*mPosition)
        return false;
    c = *mPosition;
    return true;
}

bool KTextFile::GetChar(char& c)
{
    if (!mPosition || !*mPosition)
        return false;
    c = *mPosition++;
    return true;
}

bool KTextFile::GetString(char* buffer, int max)
{
    if (!mPosition || !*mPosition || !buffer || max < 1)
        return false;
    // At most max - 1 characters, so the terminator stays inside the buffer.
    char* p = mPosition;
    int n = 0;
    while (n < max - 1 && *p && !Find(mStringDelimiters, *p))
        buffer[n++] = *p++;
    buffer[n] = 0;
    mPosition = Strip(p);
    return true;
}

bool KTextFile::GetString(KString& text)
{
    char buffer[1024];
    if (!GetString(buffer, sizeof(buffer)))
        return false;
    text = buffer;
    return true;
}

bool KTextFile::GetInteger(int& value)
{
    if (!mPosition)
        return false;
    int v = 0;
    const char* end = ScanInteger(mPosition, v);
    if (!end)
        return false;
    value = v;
    mPosition = Strip(mPosition + (end - mPosition));
    return true;
}

bool KTextFile::GetDouble(double& value, double scale)
{
    if (!mPosition)
        return false;
    int (*compare)(const char*, const char*) = mCaseSensitive ? strcmp : strcasecmp;
    if (compare(mPosition, "-inf") == 0 || compare(mPosition, "inf") == 0)
    {
        value = mPosition[0] == '-' ? -HUGE_VAL : HUGE_VAL;
        mPosition += strlen(mPosition);
        return true;
    }
    double v = 0.0;
    const char* end = ScanNumber(mPosition, v);
    if (!end)
        return false;
    value = v * scale;
    mPosition = Strip(mPosition + (end - mPosition));
    return true;
}

bool KTextFile::GetPair(double* two, double scale)
{
    if (!mPosition || !two)
        return false;
    char* p = mPosition;
    for (int i = 0; i < 2; ++i)
    {
        if (strncasecmp(p, "-inf", 4) == 0 || strncasecmp(p, "inf", 3) == 0)
        {
            two[i] = *p == '-' ? -HUGE_VAL : HUGE_VAL;
            // Past the whole word.
            while (*p && !Find(mDelimiters, *p))
                ++p;
        }
        else
        {
            double v = 0.0;
            const char* end = ScanNumber(p, v);
            if (!end)
                return false;
            two[i] = v * scale;
            p += end - p;
        }
        p = Strip(p);
    }
    mPosition = p;
    return true;
}

bool KTextFile::GetVector(double* three, double scale)
{
    if (!mPosition || !three)
        return false;
    double v[3];
    const char* p = mPosition;
    for (int i = 0; i < 3; ++i)
    {
        p = ScanNumber(p, v[i]);
        if (!p)
            return false;
    }
    for (int i = 0; i < 3; ++i)
        three[i] = v[i] * scale;
    mPosition = Strip(mPosition + (p - mPosition));
    return true;
}

void KTextFile::Message(MessageCallback callback, const char* head, const char* format, va_list args)
{
    if (!mMessages || !callback)
        return;
    char prefix[64];
    snprintf(prefix, sizeof(prefix), " read %s (line %d): ", head, mLineCount);
    std::string text = static_cast<const char*>(mTypeWord);
    text += prefix;
    text += KFormatText(format, args);
    callback(text.c_str());
}

bool KTextFile::Debug(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Message(mDebugCallback, "debug", format, args);
    va_end(args);
    return false;
}

bool KTextFile::Warning(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Message(mWarningCallback, "warning", format, args);
    va_end(args);
    return false;
}

bool KTextFile::Error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Message(mErrorCallback, "error", format, args);
    va_end(args);
    return true;
}

void KTextFile::Print(int level, const char* format, ...)
{
    if (!mFile || !format)
        return;
    for (int i = 0; i < level; ++i)
        fputs("  ", mFile);
    va_list args;
    va_start(args, format);
    vfprintf(mFile, format, args);
    va_end(args);
}

void KTextFile::SetDebugCallback(MessageCallback callback)
{
    mDebugCallback = callback;
}

void KTextFile::SetWarningCallback(MessageCallback callback)
{
    mWarningCallback = callback;
}

void KTextFile::SetErrorCallback(MessageCallback callback)
{
    mErrorCallback = callback;
}

size_t KByteOrderMarkLength(const void* bytes, size_t length)
{
    static const unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
    return bytes && length >= sizeof kMark && std::memcmp(bytes, kMark, sizeof kMark) == 0 ? sizeof kMark : 0;
}
