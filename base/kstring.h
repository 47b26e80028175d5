#ifndef QOX_BASE_KSTRING_H
#define QOX_BASE_KSTRING_H

// KString: the text type of the whole system.
//
// A value type holding a NUL-terminated byte string. Texts of up to 62
// characters live in an inline buffer; longer texts live in a heap block.
// Failed allocations and null sources do not throw: they leave the string in
// an invalid state (IsOK() is false) that still reads as the empty text.
//
// Positions returned by the search members are zero-based; "not found" is -1.

#include <type_traits>

class KString
{
public:
    enum PaddingType
    {
        eRight = 0,
        eLeft = 1,
        eBoth = 2
    };

    // Lifetime and state --------------------------------------------------
    constexpr KString() noexcept {}
    KString(const KString& other);
    KString(KString&& other) noexcept;
    KString(const char* s);                 // null gives an invalid string
    KString(const char* s, unsigned int n); // exactly n bytes of s; null gives invalid
    KString(char c, unsigned int n);        // n copies of c
    KString(int value);                     // "%d"
    KString(float value);                   // "%f", with a point in every locale
    KString(double value);                  // "%f", with a point in every locale
    ~KString();

    bool IsOK() const { return mValid; }
    bool IsEmpty() const { return mLen == 0; }
    unsigned int GetLen() const { return mLen; }
    // The length the current buffer was allocated for, the terminator not
    // counted: 0 for a new, emptied or invalid string, the length of an
    // inline text; a heap block grown by appending may hold more.
    unsigned int GetAllocatedSize() const { return mCapacity; }

    void Empty();      // back to the valid empty text, buffer freed
    void Invalidate(); // buffer freed, string invalid
    void Init();       // length 0, valid empty text (frees a heap buffer)

    // Access --------------------------------------------------------------
    operator const char*() const { return mText; }
    const char* ToChars() const { return mText; }
    // Writable characters; never null. For an empty or invalid string this is
    // the string's own one-byte empty text.
    char* Buffer() { return mText; }
    char* GetBuffer() { return mText; }

    // Character i, or (past the end) a reference to this string's own scratch
    // character, set to NUL on every such call.
    char& operator[](unsigned int i);
    char operator[](unsigned int i) const;
    // Any other integer index type goes to the unsigned forms (this also keeps
    // s[i] from being ambiguous with the built-in pointer subscript).
    template <typename I, typename = std::enable_if_t<std::is_integral<I>::value && !std::is_same<I, bool>::value>>
    char& operator[](I i)
    {
        return (*this)[static_cast<unsigned int>(i)];
    }
    template <typename I, typename = std::enable_if_t<std::is_integral<I>::value && !std::is_same<I, bool>::value>>
    char operator[](I i) const
    {
        return (*this)[static_cast<unsigned int>(i)];
    }

    // Assignment and appending --------------------------------------------
    KString& operator=(const KString& other);
    KString& operator=(KString&& other) noexcept;
    KString& operator=(const char* s); // null makes the string invalid
    KString& operator=(char c);        // one character (NUL gives length 1)
    KString& operator=(int value);     // "%d"
    KString& operator=(float value);   // "%f"
    KString& operator=(double value);  // "%f"

    KString& Copy(int n, const char* s);             // first min(strlen(s), n) characters
    KString& Append(const char* s);                  // null makes the string invalid
    KString& AppendN(const char* s, unsigned int n); // up to n chars or the terminator; null or n = 0 invalidates
    KString& operator+=(const char* s);
    KString& operator+=(const KString& other);
    KString& operator+=(char c);
    KString& operator+=(int value);   // "%d"
    KString& operator+=(float value); // "%f"

    // Search --------------------------------------------------------------
    int Find(char c, unsigned int start = 0) const;
    int ReverseFind(char c) const;
    int Find(const char* s, unsigned int start = 0) const;        // null s gives 0
    int FindOneOf(const char* set, unsigned int start = 0) const; // null set gives -1
    bool FindAndReplace(const char* find, const char* replace, unsigned int start = 0);
    static bool IsIn(char c, const char* set);
    int GetTokenCount(const char* delimiters) const;
    KString GetToken(int index, const char* delimiters) const;

    // Compare (byte-wise as strcmp; a null text counts as empty) -------------
    int Compare(const char* s) const;
    int CompareNoCase(const char* s) const;

    bool operator==(const KString& s) const { return Compare(s.mText) == 0; }
    bool operator!=(const KString& s) const { return Compare(s.mText) != 0; }
    bool operator<(const KString& s) const { return Compare(s.mText) < 0; }
    bool operator<=(const KString& s) const { return Compare(s.mText) <= 0; }
    bool operator>=(const KString& s) const { return Compare(s.mText) >= 0; }
    bool operator>(const KString& s) const { return Compare(s.mText) > 0; }
    bool operator==(const char* s) const { return Compare(s) == 0; }
    bool operator!=(const char* s) const { return Compare(s) != 0; }
    bool operator<(const char* s) const { return Compare(s) < 0; }
    bool operator<=(const char* s) const { return Compare(s) <= 0; }
    bool operator>=(const char* s) const { return Compare(s) >= 0; }
    bool operator>(const char* s) const { return Compare(s) > 0; }

    // Copies ----------------------------------------------------------------
    KString Mid(unsigned int start, unsigned int count) const;
    KString Mid(unsigned int start) const;
    KString Left(unsigned int n) const;
    KString Right(unsigned int n) const;
    KString Upper() const;
    KString Lower() const;
    KString Reverse() const;
    KString Pad(PaddingType type, unsigned int width, char c = ' ') const;
    KString UnPad(PaddingType type) const;
    KString ConvertToUnix() const;
    KString ConvertToWindows() const;

private:
    // Texts of at most kInlineMax characters use the inline buffer.
    static constexpr unsigned int kInlineSize = 64;
    static constexpr unsigned int kInlineMax = 62;

    bool IsHeap() const { return mText != mInline; }
    bool AllocBuffer(unsigned int n, const char* src);   // exact-fit buffer holding n bytes of src
    void ConcatInPlace(unsigned int n, const char* src); // append n bytes of src
    void AllocCopy(KString& dest, unsigned int count, unsigned int start) const;
    void FreeHeap();
    void FormatDouble(double value);

    char* mText = mInline; // never null; NUL at mText[mLen]
    unsigned int mLen = 0;
    unsigned int mCapacity = 0; // see GetAllocatedSize
    bool mValid = true;
    char mDummy = 0; // returned by the writable operator[] past the end
    char mInline[kInlineSize] = {};
};

// Concatenations into a new string; an invalid side gives an invalid result.
KString operator+(const KString& a, const KString& b);
KString operator+(const KString& a, char c);
KString operator+(const KString& a, const char* s);
KString operator+(const KString& a, int value);
KString operator+(const KString& a, float value);

// The global empty string.
extern const KString kStringEmpty;

// The text itself when it is whole; std::bad_alloc when it lost its text for
// want of memory, where a text that reads as "" would name another file or
// object, or none.
const KString& KQoxWholeText(const KString& text);
KString KQoxWholeText(KString&& text);
// Nothing when held, a text an object keeps, reads as given (null reads as
// ""); std::bad_alloc when it does not: the object's copy lost its text for
// want of memory, and would name another file or object, or none.
void KQoxExpectText(const char* held, const char* given);

// Copies src to dst (dstSize bytes, NUL included), writing every UTF-8
// multi-byte sequence as one replacement character.
void UTF8_to_ANSI(const char* src, char* dst, int dstSize, char replacement);

#endif
