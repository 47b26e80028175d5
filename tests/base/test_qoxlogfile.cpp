#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <string>
#include <sys/stat.h>

#include "base/kpath.h"
#include "base/ktime.h"
#include "base/qoxlogfile.h"

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path);
}

// A temporary directory that is the master directory for one test.
struct MasterDir
{
    MasterDir()
    {
        char pattern[] = "/tmp/qox_log_XXXXXX";
        path = mkdtemp(pattern);
        path += "/";
        KLib_SetMasterDirectory(path.c_str());
    }
    ~MasterDir()
    {
        KLib_SetMasterDirectory("");
        nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    std::string File(const char* name) const { return path + name; }
    std::string path;
};

std::string ReadAll(const std::string& path)
{
    std::string text;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) text.append(buffer, n);
    fclose(f);
    return text;
}

void WriteAll(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

std::string DateLine(const kLocalTime& t)
{
    char line[64];
    snprintf(line, sizeof(line), "Date: %d/%d/%d %d:%d\n", t.mDay, t.mMonth, t.mYear, t.mHour, t.mMinute);
    return line;
}

// The report expected for the body, dated at any minute the run spanned.
void ExpectReport(const std::string& actual, const kLocalTime& before, const kLocalTime& after,
                  const std::string& prefix, const std::string& body)
{
    std::string early = prefix + DateLine(before) + body;
    std::string late = prefix + DateLine(after) + body;
    EXPECT_TRUE(actual == early || actual == late) << "actual:\n" << actual << "\nexpected:\n" << early;
}

} // namespace

TEST(QoxLogFileTest, ExactReportText)
{
    MasterDir dir;
    kLocalTime before;
    KLib_GetCurrentLocalTime(before);
    QoxLogFile log("report.txt", "Export warnings", false, false);
    log += "Texture missing: wood.tif";
    (log += "Two\nlines") += "";
    EXPECT_TRUE(log.OutputLog());
    kLocalTime after;
    KLib_GetCurrentLocalTime(after);
    ExpectReport(ReadAll(dir.File("report.txt")), before, after, "",
                 "Export warnings\n\n"
                 "\tTexture missing: wood.tif\n"
                 "\tTwo\nlines\n"
                 "\t\n");
}

TEST(QoxLogFileTest, EmptyLogWritesNothing)
{
    MasterDir dir;
    {
        QoxLogFile log("none.txt", "Title", false, true);
        EXPECT_TRUE(log.OutputLog());
    }
    EXPECT_EQ(ReadAll(dir.File("none.txt")), "<missing>");

    WriteAll(dir.File("old.txt"), "previous report");
    {
        QoxLogFile log("old.txt", "Title", false, true);
    }
    EXPECT_EQ(ReadAll(dir.File("old.txt")), "previous report");
}

TEST(QoxLogFileTest, AppendAndReplace)
{
    MasterDir dir;
    kLocalTime before;
    KLib_GetCurrentLocalTime(before);
    for (int run = 0; run < 2; ++run) {
        QoxLogFile log("append.txt", "Import", true, true);
        log += run == 0 ? "first run" : "second run";
    }
    for (int run = 0; run < 2; ++run) {
        QoxLogFile log("replace.txt", "Import", false, true);
        log += run == 0 ? "first run" : "second run";
    }
    kLocalTime after;
    KLib_GetCurrentLocalTime(after);

    std::string appended = ReadAll(dir.File("append.txt"));
    std::string one = "\n\n" + DateLine(before) + "Import\n\n\tfirst run\n";
    std::string two = "\n\n" + DateLine(before) + "Import\n\n\tsecond run\n";
    std::string oneLate = "\n\n" + DateLine(after) + "Import\n\n\tfirst run\n";
    std::string twoLate = "\n\n" + DateLine(after) + "Import\n\n\tsecond run\n";
    EXPECT_TRUE(appended == one + two || appended == one + twoLate || appended == oneLate + twoLate)
        << appended;
    ExpectReport(ReadAll(dir.File("replace.txt")), before, after, "", "Import\n\n\tsecond run\n");
}

TEST(QoxLogFileTest, PathIsTheMasterDirectoryAtConstruction)
{
    MasterDir dir;
    QoxLogFile log("late.txt", "T", false, false);
    log += "line";
    KLib_SetMasterDirectory("/nonexistent-master-dir/");
    EXPECT_TRUE(log.OutputLog());
    EXPECT_NE(ReadAll(dir.File("late.txt")), "<missing>");

    // An unreachable place: nothing is written and the lines stay.
    QoxLogFile lost("x.txt", "T", false, false);
    lost += "kept";
    EXPECT_FALSE(lost.OutputLog());
    KLib_SetMasterDirectory(dir.path.c_str());
    EXPECT_TRUE(log.OutputLog());
    std::string text = ReadAll(dir.File("late.txt"));
    EXPECT_EQ(text.substr(text.size() - 6), "\tline\n");
}
