#include "base/qoxlogfile.h"

#include <cstdio>

#include "base/kpath.h"
#include "base/kstringlist.h"
#include "base/ktime.h"

QoxLogFile::QoxLogFile(const char* fileName, const char* title, bool append, bool writeOnDestroy)
    : mPath(KLib_GetMasterDirectory())
    , mTitle(title ? title : "")
    , mAppend(append)
    , mWriteOnDestroy(writeOnDestroy)
    , mLines(std::make_unique<KStringList>())
{
    mPath += fileName ? fileName : "";
}

QoxLogFile::~QoxLogFile()
{
    if (mWriteOnDestroy)
        OutputLog();
    mLines->KStringListTemplate<KStringListItem>::Clear();
}

QoxLogFile& QoxLogFile::operator+=(const char* text)
{
    mLines->Add(text ? text : "", 0);
    return *this;
}

bool QoxLogFile::OutputLog()
{
    int count = mLines->GetCount();
    if (count == 0)
        return true;

    FILE* file = fopen(mPath, mAppend ? "a+" : "w");
    if (!file)
        return false;

    bool ok = true;
    if (mAppend && fputs("\n\n", file) == EOF)
        ok = false;

    kLocalTime now;
    KLib_GetCurrentLocalTime(now);
    if (fprintf(file, "Date: %d/%d/%d %d:%d\n", now.mDay, now.mMonth, now.mYear, now.mHour, now.mMinute) < 0)
        ok = false;
    if (fprintf(file, "%s\n\n", static_cast<const char*>(mTitle)) < 0)
        ok = false;
    for (int i = 0; i < count; ++i)
    {
        if (fprintf(file, "\t%s\n", mLines->GetStringAt(i)) < 0)
            ok = false;
    }
    if (fclose(file) != 0)
        ok = false;
    return ok;
}
