#ifndef QOX_BASE_QOXLOGFILE_H
#define QOX_BASE_QOXLOGFILE_H

// QoxLogFile collects the warnings of one import or export in memory and
// writes them as a small text report in the application's master
// directory:
//
//   Date: 5/3/2026 9:07
//   <title>
//
//   <tab><line 1>
//   <tab><line 2>

#include <memory>
#include <string>
#include "base/kstring.h"

class KStringList;
struct kLocalTime;

// The report's first line for the time given, its minutes in two digits:
// "Date: 5/3/2026 9:07\n".
std::string QoxLogDateLine(const kLocalTime& time);

class QoxLogFile
{
public:
    // The report's path is the master directory (at this moment) followed
    // directly by fileName. With append, a report is added to an existing
    // file; with writeOnDestroy, the destructor writes the report.
    QoxLogFile(const char* fileName, const char* title, bool append, bool writeOnDestroy);
    ~QoxLogFile();

    QoxLogFile(const QoxLogFile&) = delete;
    QoxLogFile& operator=(const QoxLogFile&) = delete;

    // Appends a copy of the text as one more entry; its control characters
    // but its line breaks are written escaped (KEscapeControls), so that
    // nothing in it drives a terminal. A name from a file is escaped whole
    // by the caller, so that it cannot break the entry's lines.
    QoxLogFile& operator+=(const char* text);

    // Writes the report when the log holds at least one line; the lines
    // stay. The report goes only into a regular file of this user's own,
    // never through a symbolic link; one made here is mode 0600. False when
    // the file could not be opened (or is not such a file) or written.
    bool OutputLog();

private:
    KString mPath;
    KString mTitle;
    bool mAppend;
    bool mWriteOnDestroy;
    std::unique_ptr<KStringList> mLines;
};

#endif
