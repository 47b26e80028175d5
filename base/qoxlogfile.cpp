#include "base/qoxlogfile.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kfilecause.h"
#include "base/kpath.h"
#include "base/kstringlist.h"
#include "base/ktime.h"

namespace {

// The report's file opened for writing: only a regular file of this user's
// own, never through a symbolic link (nor waiting on a FIFO); one made here
// is mode 0600. Null when there is no such file to be had.
FILE* OpenReport(const char* path, bool append)
{
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : 0);
    const int fd = open(path, flags, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return nullptr;
    struct stat status;
    FILE* file = nullptr;
    // Emptied only once it is known to be the user's.
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid() &&
        (append || ftruncate(fd, 0) == 0))
        file = fdopen(fd, append ? "a" : "w");
    if (!file)
        close(fd);
    return file;
}

} // namespace

std::string QoxLogDateLine(const kLocalTime& time)
{
    char line[96];
    std::snprintf(line, sizeof line, "Date: %d/%d/%d %d:%02d\n", time.mDay, time.mMonth, time.mYear, time.mHour,
                  time.mMinute);
    return line;
}

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

    FILE* file = OpenReport(mPath, mAppend);
    if (!file)
        return false;

    bool ok = true;
    if (mAppend && fputs("\n\n", file) == EOF)
        ok = false;

    kLocalTime now;
    KLib_GetCurrentLocalTime(now);
    if (fputs(QoxLogDateLine(now).c_str(), file) == EOF)
        ok = false;
    if (fprintf(file, "%s\n\n", static_cast<const char*>(mTitle)) < 0)
        ok = false;
    for (int i = 0; i < count; ++i)
    {
        if (fprintf(file, "\t%s\n", KEscapeControls(mLines->GetStringAt(i), true).c_str()) < 0)
            ok = false;
    }
    if (fclose(file) != 0)
        ok = false;
    return ok;
}
