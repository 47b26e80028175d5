#include "base/kstring.h"

#include "base/knumbertext.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Longest text a string holds: lengths whose signed reading is negative are refused.
constexpr unsigned int kMaxLen = 0x7FFFFFFFu;

// The length of a usable source text (not null, not longer than kMaxLen) in n;
// false for any other text.
bool SourceLength(const char* s, unsigned int& n)
{
    if (!s)
        return false;
    const size_t length = std::strlen(s);
    n = static_cast<unsigned int>(length);
    return length <= kMaxLen;
}

} // namespace

const KString kStringEmpty;

// ---------------------------------------------------------------------------
// Buffer management

void KString::FreeHeap()
{
    if (IsHeap())
        delete[] mText;
    mText = mInline;
}

void KString::Init()
{
    FreeHeap();
    mInline[0] = 0;
    mLen = 0;
    mCapacity = 0;
    mValid = true;
}

void KString::Empty()
{
    Init();
}

void KString::Invalidate()
{
    Init();
    mValid = false;
}

// Gives the string an exactly fitting buffer for n characters (inline when
// they fit, else a heap block of n + 1 bytes) holding n bytes of src (left
// unset when src is null). src may lie in the string's own text: the old
// buffer is released only after the copy.
bool KString::AllocBuffer(unsigned int n, const char* src)
{
    if (n > kMaxLen)
    {
        Invalidate();
        return false;
    }
    char* old = IsHeap() ? mText : nullptr;
    char* buf = mInline;
    if (n > kInlineMax)
    {
        buf = new (std::nothrow) char[static_cast<size_t>(n) + 1];
        if (!buf)
        {
            Invalidate();
            return false;
        }
    }
    if (src && n)
        std::memmove(buf, src, n);
    buf[n] = 0;
    mText = buf;
    mLen = n;
    mCapacity = n;
    mValid = true;
    delete[] old;
    return true;
}

// Appends n bytes of src. Spare room is used in place (the inline buffer
// holds every text up to kInlineMax); otherwise the buffer grows
// geometrically so that repeated appends cost amortised O(1). src may lie in
// the string's own text. An invalid string stays invalid.
void KString::ConcatInPlace(unsigned int n, const char* src)
{
    if (!mValid || n == 0)
        return;
    if (n > kMaxLen - mLen)
    {
        Invalidate();
        return;
    }
    const unsigned int newLen = mLen + n;
    const bool heap = IsHeap();
    if (heap ? newLen <= mCapacity : newLen <= kInlineMax)
    {
        std::memmove(mText + mLen, src, n);
        mText[newLen] = 0;
        mLen = newLen;
        // An inline text is allocated for its length.
        if (!heap)
            mCapacity = newLen;
        return;
    }
    // Past the inline buffer growth goes to the heap.
    unsigned int capacity = mLen <= kMaxLen / 2 ? 2 * mLen : kMaxLen;
    if (capacity < newLen)
        capacity = newLen;
    char* buf = new (std::nothrow) char[static_cast<size_t>(capacity) + 1];
    if (!buf && capacity > newLen)
    {
        capacity = newLen;
        buf = new (std::nothrow) char[static_cast<size_t>(capacity) + 1];
    }
    if (!buf)
    {
        Invalidate();
        return;
    }
    std::memcpy(buf, mText, mLen);
    std::memcpy(buf + mLen, src, n);
    buf[newLen] = 0;
    FreeHeap();
    mText = buf;
    mLen = newLen;
    mCapacity = capacity;
}

// dest := count characters from start (count cut at the end of the text).
// Invalid when this string is invalid, start is past the end, or count is
// negative when read as a signed number.
void KString::AllocCopy(KString& dest, unsigned int count, unsigned int start) const
{
    if (!mValid || start > mLen || count > kMaxLen)
    {
        dest.Invalidate();
        return;
    }
    if (count > mLen - start)
        count = mLen - start;
    dest.AllocBuffer(count, mText + start);
}

void KString::FormatDouble(double value)
{
    // Most "%f" texts fit the local area; larger magnitudes get a buffer of
    // their size. The point is a point in every locale.
    char local[64];
    const int n = KPrintDouble(local, sizeof local, value, 'f', 6);
    if (static_cast<size_t>(n) < sizeof local)
    {
        AllocBuffer(static_cast<unsigned int>(n), local);
        return;
    }
    if (AllocBuffer(static_cast<unsigned int>(n), nullptr))
        KPrintDouble(mText, static_cast<size_t>(n) + 1, value, 'f', 6);
}

// ---------------------------------------------------------------------------
// Lifetime

KString::KString(const KString& other)
{
    if (other.mValid)
        AllocBuffer(other.mLen, other.mText);
    else
        mValid = false;
}

KString::KString(KString&& other) noexcept
{
    *this = static_cast<KString&&>(other);
}

KString::KString(const char* s)
{
    *this = s;
}

KString::KString(const char* s, unsigned int n)
{
    if (s)
        AllocBuffer(n, s);
    else
        mValid = false;
}

KString::KString(char c, unsigned int n)
{
    if (n != 0 && AllocBuffer(n, nullptr))
        std::memset(mText, c, n);
}

KString::KString(int value)
{
    *this = value;
}

KString::KString(float value)
{
    FormatDouble(static_cast<double>(value));
}

KString::KString(double value)
{
    FormatDouble(value);
}

KString::~KString()
{
    if (IsHeap())
        delete[] mText;
}

// ---------------------------------------------------------------------------
// Access

char& KString::operator[](unsigned int i)
{
    if (i < mLen)
        return mText[i];
    mDummy = 0;
    return mDummy;
}

char KString::operator[](unsigned int i) const
{
    return i < mLen ? mText[i] : 0;
}

// ---------------------------------------------------------------------------
// Assignment and appending

KString& KString::operator=(const KString& other)
{
    if (&other == this)
        return *this;
    if (other.mValid)
        AllocBuffer(other.mLen, other.mText);
    else
        Invalidate();
    return *this;
}

KString& KString::operator=(KString&& other) noexcept
{
    if (&other == this)
        return *this;
    FreeHeap();
    if (other.IsHeap())
    {
        mText = other.mText;
        other.mText = other.mInline;
    }
    else
    {
        std::memcpy(mInline, other.mInline, other.mLen + 1);
    }
    mLen = other.mLen;
    mCapacity = other.mCapacity;
    mValid = other.mValid;
    other.Init();
    return *this;
}

KString& KString::operator=(const char* s)
{
    unsigned int n;
    if (SourceLength(s, n))
        AllocBuffer(n, s);
    else
        Invalidate();
    return *this;
}

KString& KString::operator=(char c)
{
    AllocBuffer(1, &c);
    return *this;
}

KString& KString::operator=(int value)
{
    char local[16];
    const int n = std::snprintf(local, sizeof local, "%d", value);
    AllocBuffer(static_cast<unsigned int>(n), local);
    return *this;
}

KString& KString::operator=(float value)
{
    FormatDouble(static_cast<double>(value));
    return *this;
}

KString& KString::operator=(double value)
{
    FormatDouble(value);
    return *this;
}

KString& KString::Copy(int n, const char* s)
{
    if (!s || n < 0)
        Invalidate();
    else
        AllocBuffer(static_cast<unsigned int>(strnlen(s, static_cast<size_t>(n))), s);
    return *this;
}

KString& KString::Append(const char* s)
{
    unsigned int n;
    if (SourceLength(s, n))
        ConcatInPlace(n, s);
    else
        Invalidate();
    return *this;
}

KString& KString::AppendN(const char* s, unsigned int n)
{
    if (!s || n == 0)
        Invalidate();
    else
        ConcatInPlace(static_cast<unsigned int>(strnlen(s, n)), s);
    return *this;
}

KString& KString::operator+=(const char* s)
{
    return Append(s);
}

KString& KString::operator+=(const KString& other)
{
    if (!other.mValid)
        Invalidate();
    else
        ConcatInPlace(other.mLen, other.mText);
    return *this;
}

KString& KString::operator+=(char c)
{
    ConcatInPlace(1, &c);
    return *this;
}

KString& KString::operator+=(int value)
{
    char local[16];
    const int n = std::snprintf(local, sizeof local, "%d", value);
    ConcatInPlace(static_cast<unsigned int>(n), local);
    return *this;
}

KString& KString::operator+=(float value)
{
    return *this += KString(value);
}

// ---------------------------------------------------------------------------
// Search

int KString::Find(char c, unsigned int start) const
{
    if (start > mLen)
        start = mLen;
    if (c == 0)
        return static_cast<int>(mLen);
    const char* p = std::strchr(mText + start, c);
    return p ? static_cast<int>(p - mText) : -1;
}

int KString::ReverseFind(char c) const
{
    const char* p = std::strrchr(mText, c);
    return p ? static_cast<int>(p - mText) : -1;
}

int KString::Find(const char* s, unsigned int start) const
{
    if (!s)
        return 0;
    if (start > mLen)
        start = mLen;
    const char* p = std::strstr(mText + start, s);
    return p ? static_cast<int>(p - mText) : -1;
}

int KString::FindOneOf(const char* set, unsigned int start) const
{
    if (!set)
        return -1;
    if (start > mLen)
        start = mLen;
    const char* p = std::strpbrk(mText + start, set);
    return p ? static_cast<int>(p - mText) : -1;
}

bool KString::FindAndReplace(const char* find, const char* replace, unsigned int start)
{
    // An empty search text would "match" forever; callers loop until false.
    if (!find || !*find || !mValid)
        return false;
    const int at = Find(find, start);
    if (at < 0)
        return false;
    if (!replace)
        replace = "";
    const size_t p = static_cast<size_t>(at);
    const size_t findLen = std::strlen(find);
    const size_t replaceLen = std::strlen(replace);
    const size_t tailLen = mLen - p - findLen;
    const size_t total = p + replaceLen + tailLen;
    if (total > kMaxLen)
        return false;
    KString result;
    if (!result.AllocBuffer(static_cast<unsigned int>(total), nullptr))
        return false;
    std::memcpy(result.mText, mText, p);
    std::memcpy(result.mText + p, replace, replaceLen);
    std::memcpy(result.mText + p + replaceLen, mText + p + findLen, tailLen);
    *this = static_cast<KString&&>(result);
    return true;
}

bool KString::IsIn(char c, const char* set)
{
    if (!set || !*set || c == 0)
        return false;
    return std::strchr(set, c) != nullptr;
}

int KString::GetTokenCount(const char* delimiters) const
{
    if (!mValid || mLen == 0)
        return 0;
    const char* d = delimiters ? delimiters : "";
    int count = 0;
    const char* p = mText;
    for (;;)
    {
        p += std::strspn(p, d);
        if (!*p)
            break;
        ++count;
        p += std::strcspn(p, d);
    }
    return count;
}

// Splits as strtok would split a copy of the text, but with local state only.
KString KString::GetToken(int index, const char* delimiters) const
{
    if (index < 0 || !mValid)
        return KString();
    const char* d = delimiters ? delimiters : "";
    const char* p = mText;
    for (int i = 0;; ++i)
    {
        p += std::strspn(p, d);
        if (!*p)
            return KString();
        const size_t n = std::strcspn(p, d);
        if (i == index)
            return KString(p, static_cast<unsigned int>(n));
        p += n;
    }
}

// ---------------------------------------------------------------------------
// Compare

int KString::Compare(const char* s) const
{
    return std::strcmp(mText, s ? s : "");
}

// Same result as Compare on upper-cased copies of both texts, without the copies.
int KString::CompareNoCase(const char* s) const
{
    const unsigned char* a = reinterpret_cast<const unsigned char*>(mText);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(s ? s : "");
    for (;; ++a, ++b)
    {
        const unsigned char ua = static_cast<unsigned char>(std::toupper(*a));
        const unsigned char ub = static_cast<unsigned char>(std::toupper(*b));
        if (ua != ub)
            return ua < ub ? -1 : 1;
        if (ua == 0)
            return 0;
    }
}

// ---------------------------------------------------------------------------
// Copies

KString KString::Mid(unsigned int start, unsigned int count) const
{
    KString result;
    AllocCopy(result, count, start);
    return result;
}

KString KString::Mid(unsigned int start) const
{
    KString result;
    AllocCopy(result, mLen, start);
    return result;
}

KString KString::Left(unsigned int n) const
{
    KString result;
    AllocCopy(result, n, 0);
    return result;
}

KString KString::Right(unsigned int n) const
{
    KString result;
    AllocCopy(result, n, n > mLen ? 0 : mLen - n);
    return result;
}

KString KString::Upper() const
{
    KString result(*this);
    for (unsigned int i = 0; i < result.mLen; ++i)
        result.mText[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(result.mText[i])));
    return result;
}

KString KString::Lower() const
{
    KString result(*this);
    for (unsigned int i = 0; i < result.mLen; ++i)
        result.mText[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(result.mText[i])));
    return result;
}

KString KString::Reverse() const
{
    KString result(*this);
    std::reverse(result.mText, result.mText + result.mLen);
    return result;
}

KString KString::Pad(PaddingType type, unsigned int width, char c) const
{
    KString cut = Left(width);
    const long long missing = static_cast<long long>(width) - cut.mLen;
    if (!cut.mValid || missing < 1)
        return cut;
    unsigned int before;
    switch (type)
    {
    case eRight: before = 0; break;
    case eLeft: before = static_cast<unsigned int>(missing); break;
    case eBoth: before = static_cast<unsigned int>(missing / 2); break;
    default: return cut;
    }
    const unsigned int after = static_cast<unsigned int>(missing) - before;
    KString result;
    if (!result.AllocBuffer(width, nullptr))
        return result;
    std::memset(result.mText, c, before);
    std::memcpy(result.mText + before, cut.mText, cut.mLen);
    std::memset(result.mText + before + cut.mLen, c, after);
    return result;
}

KString KString::UnPad(PaddingType type) const
{
    if (!mValid)
        return *this;
    unsigned int begin = 0;
    unsigned int end = mLen;
    if (type == eRight || type == eBoth)
        while (end > begin && std::isspace(static_cast<unsigned char>(mText[end - 1])))
            --end;
    if (type == eLeft || type == eBoth)
        while (begin < end && std::isspace(static_cast<unsigned char>(mText[begin])))
            ++begin;
    return KString(mText + begin, end - begin);
}

KString KString::ConvertToUnix() const
{
    KString result;
    if (!mValid || mLen == 0)
        return result;
    unsigned int pairs = 0;
    for (unsigned int i = 0; i + 1 < mLen; ++i)
        if (mText[i] == '\r' && mText[i + 1] == '\n')
            ++pairs, ++i;
    if (!result.AllocBuffer(mLen - pairs, nullptr))
        return result;
    char* out = result.mText;
    for (unsigned int i = 0; i < mLen; ++i)
    {
        if (mText[i] == '\r' && i + 1 < mLen && mText[i + 1] == '\n')
            continue; // the '\n' that follows is kept
        *out++ = mText[i];
    }
    return result;
}

KString KString::ConvertToWindows() const
{
    KString result;
    if (!mValid || mLen == 0)
        return result;
    unsigned int lone = 0;
    for (unsigned int i = 0; i < mLen; ++i)
        if (mText[i] == '\n' && (i == 0 || mText[i - 1] != '\r'))
            ++lone;
    if (lone > kMaxLen - mLen || !result.AllocBuffer(mLen + lone, nullptr))
    {
        result.Invalidate();
        return result;
    }
    char* out = result.mText;
    for (unsigned int i = 0; i < mLen; ++i)
    {
        if (mText[i] == '\n' && (i == 0 || mText[i - 1] != '\r'))
            *out++ = '\r';
        *out++ = mText[i];
    }
    return result;
}

// ---------------------------------------------------------------------------
// Free functions

KString operator+(const KString& a, const KString& b)
{
    KString result(a);
    result += b;
    return result;
}

KString operator+(const KString& a, char c)
{
    KString result(a);
    result += c;
    return result;
}

KString operator+(const KString& a, const char* s)
{
    KString result(a);
    result += KString(s);
    return result;
}

KString operator+(const KString& a, int value)
{
    KString result(a);
    result += value;
    return result;
}

KString operator+(const KString& a, float value)
{
    KString result(a);
    result += KString(value);
    return result;
}

void UTF8_to_ANSI(const char* src, char* dst, int dstSize, char replacement)
{
    if (!dst || dstSize < 1)
        return;
    int written = 0;
    if (src)
    {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(src);
        while (*p && written < dstSize - 1)
        {
            if ((*p & 0xC0) != 0xC0)
            {
                dst[written++] = static_cast<char>(*p++);
                continue;
            }
            // A lead byte: one replacement for the whole sequence.
            dst[written++] = replacement;
            ++p;
            while ((*p & 0xC0) == 0x80)
                ++p;
        }
    }
    dst[written] = 0;
}

const KString& KQoxWholeText(const KString& text)
{
    if (!text.IsOK())
        throw std::bad_alloc();
    return text;
}

KString KQoxWholeText(KString&& text)
{
    if (!text.IsOK())
        throw std::bad_alloc();
    return static_cast<KString&&>(text);
}

void KQoxExpectText(const char* held, const char* given)
{
    if (std::strcmp(held ? held : "", given ? given : "") != 0)
        throw std::bad_alloc();
}
