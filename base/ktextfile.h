#ifndef QOX_BASE_KTEXTFILE_H
#define QOX_BASE_KTEXTFILE_H

// KTextFile: the line-oriented tokenizer under the text file parsers. It
// reads a file one meaningful line at a time (skipping blank and comment
// lines), lets the parser take tokens from the current line, reports
// problems through caller-installed callbacks with the file type and line
// number, and can print indented lines to the file it has open.

#include <vector>
#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include "base/kstring.h"

// How many bytes a UTF-8 byte order mark takes at the start of bytes: 3,
// or 0 when there is none. Editors on some systems begin a text with one.
size_t KByteOrderMarkLength(const void* bytes, size_t length);

// One entry of a keyword table; a table ends with an entry whose keyword is
// empty.
struct KToken
{
    const char* mKeyword;
    int mHitCount;
};

class KTextFile
{
public:
    typedef void (*MessageCallback)(const char* text);

    KTextFile(const char* typeWord, const char* delimiters, const char* comments, bool caseSensitive, bool messages);
    virtual ~KTextFile();

    KTextFile(const KTextFile&) = delete;
    KTextFile& operator=(const KTextFile&) = delete;

    // Opens the file and reads its first meaningful line. Returns true when
    // opening FAILED, false on success.
    bool Open(const char* path, const char* mode);
    // True when no file was open or closing failed.
    bool Close();

    // Replace a character set; return the previous one.
    KString SetDel(const char* delimiters);
    KString SetStringDel(const char* delimiters);

    // Rewinds and reads the first meaningful line.
    bool FirstLine();
    // Reads the next meaningful line; false at the end of the file.
    bool NextLine();

    // First position at or after p that is not a delimiter (null for null).
    char* Strip(char* p);
    // Whether c is in the set (set characters are compared in lower case).
    bool Find(const char* set, char c);
    // Just past the token's keyword when the text at p begins with it
    // (without regard to case); else null.
    char* CmpTok(char* p, KToken& token);
    void InitTokens(KToken* tokens);
    // Index of the keyword at the current position (moved past it and the
    // delimiters, hit counted); -1 when none.
    int Handle(KToken* tokens);
    // The same without moving or counting.
    int Check(KToken* tokens);

    bool PeakChar(char& c);
    bool GetChar(char& c);
    // Copies the next string token into buffer (max bytes, terminator
    // included); false when the line is used up.
    bool GetString(char* buffer, int max);
    bool GetString(KString& text);
    bool GetInteger(int& value);
    bool GetDouble(double& value, double scale);
    bool GetPair(double* two, double scale);
    bool GetVector(double* three, double scale);

    // Messages through the callbacks. Debug and Warning return false, Error true.
    bool Debug(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    bool Warning(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    bool Error(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // Two spaces per level, then the text, to the open file.
    void Print(int level, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;

    void SetDebugCallback(MessageCallback callback);
    void SetWarningCallback(MessageCallback callback);
    void SetErrorCallback(MessageCallback callback);

protected:
    FILE* mFile;
    int mLineCount;
    int mBufferSize;
    std::vector<char> mLine; // mBufferSize bytes
    char* mPosition;
    bool mMessages;
    bool mCaseSensitive;
    KString mDelimiters;
    KString mStringDelimiters;
    KString mComments;
    KString mTypeWord;
    bool mAtEnd;
    bool mSkipped;
    MessageCallback mDebugCallback;
    MessageCallback mWarningCallback;
    MessageCallback mErrorCallback;

private:
    // Reads one physical line whole into the buffer; false at the end.
    bool ReadPhysicalLine();
    void EmptyLine();
    void Message(MessageCallback callback, const char* head, const char* format, va_list args);
};

#endif
