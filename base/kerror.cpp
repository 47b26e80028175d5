#include "base/kerror.h"

KError::KError(const char* const* table, int count)
    : mErrorCount(count < 0 ? 0 : count)
    , mErrorStringArray(table)
{
    ClearLastError();
}

KError::~KError() = default;

const char* KError::GetErrorString(int code) const
{
    // Codes come from the owner's own enumeration; a code outside the table
    // reads as no text instead of reading past the table.
    if (!mErrorStringArray || code < 0 || code >= mErrorCount)
        return "";
    return mErrorStringArray[code];
}

void KError::SetLastErrorID(int code)
{
    mLastErrorID = code;
    if (!mErrorStringArray || code < 0 || code >= mErrorCount)
        mLastErrorString.Invalidate();
    else
        mLastErrorString = mErrorStringArray[code]; // a null entry leaves the text invalid
}

void KError::SetLastErrorString(const char* text)
{
    mLastErrorString = text; // null leaves the text invalid (reads as "")
}

void KError::SetLastError(int code, const char* text)
{
    SetLastErrorID(code);
    SetLastErrorString(text);
}

void KError::SetLastErrorCause(int code, const char* cause)
{
    SetLastErrorID(code);
    if (cause && *cause && mLastErrorString.IsOK())
    {
        mLastErrorString += ": ";
        mLastErrorString += cause;
    }
}

void KError::ClearLastError()
{
    mLastErrorID = -1;
    mLastErrorString = "";
}
