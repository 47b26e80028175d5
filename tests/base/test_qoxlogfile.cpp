#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>

#include "base/kpath.h"
#include "base/ktime.h"
#include "base/qoxlogfile.h"
#include "test_util.h"

using qoxtest::ReadFile;

namespace {

// A temporary directory that is the master directory for one test.
struct MasterDir : qoxtest::TempDir
{
    MasterDir() { KLib_SetMasterDirectory((Path() + "/").c_str()); }
    ~MasterDir() { KLib_SetMasterDirectory(""); }
};

std::string DateLine(const kLocalTime& t)
{
    char line[64];
    snprintf(line, sizeof(line), "Date: %d/%d/%d %d:%02d\n", t.mDay, t.mMonth, t.mYear, t.mHour, t.mMinute);
    return line;
}

// The reports, each as prefix + date line + body, dated at the start or the end
// of the run (earlier ones at the start, later ones at the end).
bool IsReport(const std::string& actual, const kLocalTime& before, const kLocalTime& after, const std::string& prefix,
              std::initializer_list<std::string> bodies)
{
    for (size_t split = 0; split <= bodies.size(); ++split)
    {
        std::string expected;
        size_t i = 0;
        for (const std::string& body : bodies)
            expected += prefix + (i++ < split ? DateLine(before) : DateLine(after)) + body;
        if (actual == expected)
            return true;
    }
    return false;
}

} // namespace

TEST(QoxLogFileTest, ExactReportText)
{
    MasterDir dir;
    kLocalTime before, after;
    KLib_GetCurrentLocalTime(before);
    QoxLogFile log("report.txt", "Export warnings", false, false);
    log += "Texture missing: wood.tif";
    (log += "Two\nlines") += "";
    EXPECT_TRUE(log.OutputLog());
    KLib_GetCurrentLocalTime(after);
    const std::string text = ReadFile(dir.File("report.txt"));
    EXPECT_TRUE(
        IsReport(text, before, after, "", {"Export warnings\n\n\tTexture missing: wood.tif\n\tTwo\nlines\n\t\n"}))
        << text;
}

TEST(QoxLogFileTest, AppendReplaceAndEmptyLogs)
{
    MasterDir dir;
    qoxtest::WriteFile(dir.File("old.txt"), "previous report");
    kLocalTime before, after;
    KLib_GetCurrentLocalTime(before);
    for (const char* line : {"first run", "second run"})
    {
        QoxLogFile appended("append.txt", "Import", true, true); // written at destruction
        appended += line;
        QoxLogFile replaced("replace.txt", "Import", false, true);
        replaced += line;
        QoxLogFile empty("old.txt", "Title", false, true); // no lines: nothing written
    }
    KLib_GetCurrentLocalTime(after);
    const std::string appended = ReadFile(dir.File("append.txt"));
    EXPECT_TRUE(IsReport(appended, before, after, "\n\n", {"Import\n\n\tfirst run\n", "Import\n\n\tsecond run\n"}))
        << appended;
    const std::string replaced = ReadFile(dir.File("replace.txt"));
    EXPECT_TRUE(IsReport(replaced, before, after, "", {"Import\n\n\tsecond run\n"})) << replaced;
    EXPECT_EQ(ReadFile(dir.File("old.txt")), "previous report");
}

TEST(QoxLogFileTest, PathIsTheMasterDirectoryAtConstruction)
{
    MasterDir dir;
    qoxtest::WriteFile(dir.File("late.txt"), "previous report");
    QoxLogFile log("late.txt", "T", false, false);
    log += "line";
    KLib_SetMasterDirectory("/nonexistent-master-dir/");
    EXPECT_TRUE(log.OutputLog());
    const std::string text = ReadFile(dir.File("late.txt"));
    EXPECT_EQ(text.substr(text.size() - 6), "\tline\n");

    QoxLogFile lost("x.txt", "T", false, false); // an unreachable place: a failure
    lost += "kept";
    EXPECT_FALSE(lost.OutputLog());
}

// The report goes only into a regular file of the user's own: never through
// a link, into another user's file (not even emptied) or a FIFO (not waited
// on). One made here is mode 0600.
TEST(QoxLogFileTest, WritesOnlyIntoAFileOfTheUsersOwn)
{
    const uid_t self = geteuid(), nobody = 65534;
    const int kNone = 0, kLink = -1, kFifo = -2;
    const struct
    {
        int mMode;    // of the file there beforehand, or one of the kinds above
        bool mOthers; // another user's
        bool mAppend;
        const char* mAfter; // the file's text after the log's: "" for none
        mode_t mModeAfter;
    } rows[] = {
        {kNone, false, true, "\n\nDate", 0600}, {0644, false, true, "kept\n\nDate", 0644},
        {kLink, false, false, "kept", 0777},    {0666, true, false, "kept", 0666},
        {0666, true, true, "kept", 0666},       {kFifo, false, false, "", 0600},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(std::to_string(row.mMode) + (row.mAppend ? " appended" : " replaced"));
        if (row.mOthers && self != 0)
            continue; // giving a file away takes root
        MasterDir dir;
        const std::string path = dir.File("log.txt"), target = dir.File("target.txt");
        ASSERT_TRUE(qoxtest::WriteFile(target, "kept"));
        ASSERT_TRUE(row.mMode == kNone || (row.mMode == kLink && symlink(target.c_str(), path.c_str()) == 0) ||
                    (row.mMode == kFifo && mkfifo(path.c_str(), 0600) == 0) ||
                    (row.mMode > 0 && qoxtest::WriteFile(path, "kept") && chmod(path.c_str(), row.mMode) == 0 &&
                     chown(path.c_str(), row.mOthers ? nobody : self, -1) == 0));
        // A reader waits on the FIFO, so that a writer would not wait.
        const int reader = row.mMode == kFifo ? open(path.c_str(), O_RDONLY | O_NONBLOCK) : -1;
        QoxLogFile log("log.txt", "T", row.mAppend, false);
        log += "line";
        const bool written = log.OutputLog();
        close(reader);
        struct stat info;
        ASSERT_EQ(lstat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, row.mModeAfter);
        const std::string text = S_ISFIFO(info.st_mode) ? "" : ReadFile(path);
        EXPECT_EQ(text.rfind(row.mAfter, 0), 0u) << text;
        EXPECT_EQ(written, text.size() > 6 && text.substr(text.size() - 6) == "\tline\n") << text;
        EXPECT_EQ(ReadFile(target), "kept");
    }
}

// The date line of hand-made times: minutes always in two digits.
TEST(QoxLogFileTest, TheDateLineWritesMinutesInTwoDigits)
{
    const struct
    {
        int mDay, mMonth, mYear, mHour, mMinute, mSecond;
        const char* mLine;
    } rows[] = {
        {1, 1, 2026, 0, 0, 0, "Date: 1/1/2026 0:00\n"},
        {10, 12, 2026, 16, 5, 0, "Date: 10/12/2026 16:05\n"},
        {5, 3, 2026, 9, 7, 3, "Date: 5/3/2026 9:07\n"},
        {31, 12, 1999, 23, 59, 59, "Date: 31/12/1999 23:59\n"},
    };
    for (const auto& row : rows)
    {
        kLocalTime time;
        time.mDay = row.mDay;
        time.mMonth = row.mMonth;
        time.mYear = row.mYear;
        time.mHour = row.mHour;
        time.mMinute = row.mMinute;
        time.mSecond = row.mSecond;
        EXPECT_EQ(QoxLogDateLine(time), row.mLine);
    }
}
