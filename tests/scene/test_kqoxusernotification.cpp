// User notification: which hooks run when, and the exact log lines written.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/kpath.h"
#include "common/qox_test_common.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxusernotification.h"
#include "scene_test_helpers.h"

namespace {

using namespace qoxsdk_600;

// Records every hook call as a short text.
class RecordingNotification : public KQoxUserNotification
{
public:
    RecordingNotification(const std::string& directory)
        : KQoxUserNotification(KString("notes.txt"), KString("Import of test.qox"))
        , mDirectory(directory)
    {}

    std::vector<std::string> mCalls;
    bool mAnswer = true;
    bool mPostTerminate = false;

protected:
    void GetLogFilePath(KString& path) override { path = (mDirectory + "/").c_str(); }
    void Init() override { mCalls.push_back("Init"); }
    void PostInit() override { mCalls.push_back("PostInit"); }
    void PreTerminate() override { mCalls.push_back("PreTerminate"); }
    void Terminate() override { mCalls.push_back("Terminate"); }
    bool PostTerminate() override
    {
        mCalls.push_back("PostTerminate");
        return mPostTerminate;
    }
    bool OutputEntry(AccumulatorEntry* entry, bool flag) override
    {
        mCalls.push_back(std::string("Entry ") + entry->mIdentifier.ToChars() + (flag ? " true" : " false"));
        return mAnswer;
    }
    bool OutputAllEntries(KArrayTemplate<AccumulatorEntry*>& entries, bool flag) override
    {
        mCalls.push_back("All " + std::to_string(entries.GetCount()) + (flag ? " true" : " false"));
        return mAnswer;
    }

private:
    std::string mDirectory;
};

// The lines after the date and title of a written log.
std::vector<std::string> LogLines(const std::string& path)
{
    const std::string content = qoxtest::ReadFile(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size())
    {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

class UserNotificationTest : public ::testing::Test
{
protected:
    UserNotificationTest()
        : mSavedMaster(KLib_GetMasterDirectory())
        , mNotes(mDir.Path())
    {}
    ~UserNotificationTest() override { KLib_SetMasterDirectory(mSavedMaster.c_str()); }

    qoxtest::TempDir mDir;
    std::string mSavedMaster;
    RecordingNotification mNotes;
};

TEST_F(UserNotificationTest, HookCallPatterns)
{
    mNotes.AddEntry(KString("Old"), KString("Before"));
    mNotes.InitAccumulator();
    EXPECT_EQ(mNotes.mCalls, (std::vector<std::string>{"Init", "PostInit"}));
    EXPECT_EQ(std::string(KLib_GetMasterDirectory()).rfind(mDir.Path(), 0), 0u);
    EXPECT_EQ(mNotes.AddEntry(KString("E1"), KString("First")), 0);
    EXPECT_EQ(mNotes.AddEntry(KString("E1"), KString("Again")), 1);
    mNotes.mCalls.clear();

    mNotes.AddDetail(0, KString(""), false);
    EXPECT_EQ(mNotes.GetEntry(0)->mDetails.GetCount(), 0);
    mNotes.AddDetail(1, KString("x"), true);
    mNotes.AddDetail(5, KString("y"), true);
    mNotes.AddDetail(0, static_cast<KQoxNode*>(nullptr), true);
    mNotes.mAnswer = false;
    EXPECT_FALSE(mNotes.Output(1, true));
    EXPECT_FALSE(mNotes.Output(7, true));
    const std::vector<std::string> expected = {"Entry E1 false", "Entry E1 true", "Entry E1 true", "All 2 true"};
    EXPECT_EQ(mNotes.mCalls, expected);

    mNotes.mCalls.clear();
    mNotes.ClearAccumulator();
    EXPECT_EQ(mNotes.mCalls, (std::vector<std::string>{"PreTerminate", "Terminate", "PostTerminate"}));
    EXPECT_EQ(mNotes.GetNbEntries(), 0);
    EXPECT_FALSE(mNotes.GetTerminated());
    mNotes.mPostTerminate = true;
    mNotes.ClearAccumulator();
    EXPECT_TRUE(mNotes.GetTerminated());
    // Nothing was logged: no file.
    bool exists = true;
    qoxtest::ReadFile(mDir.File("notes.txt"), &exists);
    EXPECT_FALSE(exists);
}

TEST_F(UserNotificationTest, ExactLogLines)
{
    scenetest::TestManager manager;
    KQoxNode* node = manager.CreateKQoxNode("Hip");
    mNotes.InitAccumulator();
    mNotes.AddEntry(KString("E1"), KString("First"));
    mNotes.AddEntry(KString("E2"), KString("Second"));
    mNotes.AddDetail(0, KString("a"));
    mNotes.AddDetail(0, KString("b"));
    mNotes.mCalls.clear();
    EXPECT_TRUE(mNotes.Output(-1, false));
    EXPECT_EQ(mNotes.mCalls, std::vector<std::string>{"All 2 true"});
    mNotes.AddDetail(1, node);
    EXPECT_STREQ(mNotes.GetEntry(1)->mDetails[0]->ToChars(), "Model::Hip");
    mNotes.Output(1, false);
    mNotes.Output(1, true);
    mNotes.ClearAccumulator();

    const std::vector<std::string> lines = LogLines(mDir.File("notes.txt"));
    // An appended report starts with two empty lines.
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2].rfind("Date: ", 0), 0u);
    EXPECT_EQ(lines[3], "Import of test.qox");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "\t[E1] First");
    EXPECT_EQ(lines[6], "    a");
    EXPECT_EQ(lines[7], "\t[E1] First");
    EXPECT_EQ(lines[8], "    b");
    EXPECT_EQ(lines[9], "\t[E2] Second");
    EXPECT_EQ(lines[10], "    Model::Hip");

    // A second period appends to the file.
    mNotes.InitAccumulator();
    mNotes.AddEntry(KString("E3"), KString("Third"));
    mNotes.AddDetail(0, KString("c"));
    mNotes.Output(0, false);
    mNotes.ClearAccumulator();
    const std::vector<std::string> more = LogLines(mDir.File("notes.txt"));
    ASSERT_EQ(more.size(), 11u + 7u);
    EXPECT_EQ(more.back(), "    c");
}

TEST_F(UserNotificationTest, LoggingWithoutAPeriodIsRefused)
{
    mNotes.AddEntry(KString("E1"), KString("First"));
    mNotes.AddDetail(0, KString("a"));
    mNotes.mCalls.clear();
    EXPECT_TRUE(mNotes.Output(0, false));
    EXPECT_EQ(mNotes.mCalls, std::vector<std::string>{"Entry E1 true"});
    bool exists = true;
    qoxtest::ReadFile(mDir.File("notes.txt"), &exists);
    EXPECT_FALSE(exists);
}

} // namespace
