#ifndef QOX_BASE_KERROR_H
#define QOX_BASE_KERROR_H

// KError: the last-error record a class embeds. The owner passes its static
// table of message texts (entry i is the text of the owner's error code i);
// the table is neither copied nor owned. Nothing is thrown: a failing
// operation sets the last error and returns a failure value.

#include "base/kstring.h"

class KError
{
public:
    KError(const char* const* table, int count);
    ~KError();

    int GetErrorCount() const { return mErrorCount; }
    // Table entry code; "" for a code outside the table.
    const char* GetErrorString(int code) const;

    void SetLastErrorID(int code);                 // code and the table's text
    void SetLastErrorString(const char* text);     // text only; the code is kept
    void SetLastError(int code, const char* text); // code with an explicit text
    // Code with the table's text followed by ": " and cause ("File not
    // opened: no such file"); the table's text alone for a null or "" cause.
    void SetLastErrorCause(int code, const char* cause);
    int GetLastErrorID() const { return mLastErrorID; }
    const char* GetLastErrorString() const { return mLastErrorString; }
    void ClearLastError(); // code -1, text ""

private:
    int mLastErrorID = -1;
    int mErrorCount;
    KString mLastErrorString;
    const char* const* mErrorStringArray;
};

// Base of a class that reports its failures through one KError of its own:
// the holder and its three accessors. Assigning the owner leaves the error
// record alone unless the derived class says otherwise.
class KErrorOwner
{
public:
    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

protected:
    KErrorOwner(const char* const* table, int count)
        : mError(table, count)
    {}
    KErrorOwner(const KErrorOwner& other) = delete;
    KErrorOwner& operator=(const KErrorOwner& other)
    {
        (void)other;
        return *this;
    }
    // Sets code as the last error; false, for returning at once.
    bool Fail(int code)
    {
        mError.SetLastErrorID(code);
        return false;
    }

    KError mError;
};

#endif
