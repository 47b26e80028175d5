#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <vector>

#include "base/ktextfile.h"

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path);
}

struct TempDir
{
    TempDir()
    {
        char pattern[] = "/tmp/qox_ktext_XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }
    std::string File(const char* name) const { return path + "/" + name; }
    std::string path;
};

// A parser over KTextFile that can show the reader's state.
class Reader : public KTextFile
{
public:
    Reader(const char* type, bool caseSensitive = false, bool messages = true)
        : KTextFile(type, " \t", "#", caseSensitive, messages)
    {
    }
    int LineCount() const { return mLineCount; }
    bool Skipped() const { return mSkipped; }
    bool AtEnd() const { return mAtEnd; }
    const char* Position() const { return mPosition; }
    const char* Line() const { return mLine; }
};

std::vector<std::string> gMessages;
void Collect(const char* text)
{
    gMessages.push_back(text);
}

// Writes the text to a file in dir and opens the reader on it.
void OpenWith(Reader& reader, const TempDir& dir, const std::string& text)
{
    std::string name = dir.File("input.txt");
    FILE* f = fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    ASSERT_FALSE(reader.Open(name.c_str(), "r"));
}

} // namespace

TEST(KTextFileTest, SkipsBlankAndCommentLines)
{
    TempDir dir;
    Reader reader("X");
    OpenWith(reader, dir, "   \n# a comment\n  a b\n");
    EXPECT_EQ(reader.LineCount(), 3);
    EXPECT_TRUE(reader.Skipped());
    EXPECT_STREQ(reader.Position(), "a b");
    EXPECT_FALSE(reader.AtEnd());

    EXPECT_FALSE(reader.NextLine());
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_STREQ(reader.Line(), "");

    EXPECT_TRUE(reader.FirstLine());
    EXPECT_EQ(reader.LineCount(), 3);
    EXPECT_STREQ(reader.Position(), "a b");
    EXPECT_FALSE(reader.Close());
    EXPECT_TRUE(reader.Close());  // nothing open any more
}

TEST(KTextFileTest, OpenReportsFailureAsTrue)
{
    TempDir dir;
    Reader reader("X");
    EXPECT_TRUE(reader.Open(dir.File("missing").c_str(), "r"));
    EXPECT_FALSE(reader.NextLine());
}

TEST(KTextFileTest, VeryLongLinesAreReadWhole)
{
    TempDir dir;
    Reader reader("X");
    std::string longLine(30000, 'z');
    OpenWith(reader, dir, "first\n" + longLine + "\nlast");
    EXPECT_STREQ(reader.Position(), "first");
    ASSERT_TRUE(reader.NextLine());
    EXPECT_EQ(std::string(reader.Position()), longLine);
    EXPECT_EQ(reader.LineCount(), 2);
    ASSERT_TRUE(reader.NextLine());
    EXPECT_STREQ(reader.Position(), "last");  // no final line end
    EXPECT_FALSE(reader.NextLine());
}

TEST(KTextFileTest, KeywordTables)
{
    TempDir dir;
    Reader reader("X");
    OpenWith(reader, dir, "frames   12\n");
    KToken tokens[] = {{"FRAMES", 5}, {"FPS", 5}, {"", 0}};
    reader.InitTokens(tokens);
    EXPECT_EQ(tokens[0].mHitCount, 0);
    EXPECT_EQ(reader.Check(tokens), 0);
    EXPECT_STREQ(reader.Position(), "frames   12");
    EXPECT_EQ(reader.Handle(tokens), 0);
    EXPECT_EQ(tokens[0].mHitCount, 1);
    EXPECT_STREQ(reader.Position(), "12");
    EXPECT_EQ(reader.Handle(tokens), -1);
    EXPECT_EQ(reader.Handle(nullptr), -1);

    KToken empty = {"", 0};
    char text[] = "abc";
    EXPECT_EQ(reader.CmpTok(text, empty), text);
    KToken longer = {"abcd", 0};
    EXPECT_EQ(reader.CmpTok(text, longer), nullptr);
}

TEST(KTextFileTest, InfinityWordsFollowTheCaseFlag)
{
    TempDir dir;
    double value = 0.0;
    {
        Reader reader("X", false);
        OpenWith(reader, dir, "INF\n");
        EXPECT_TRUE(reader.GetDouble(value, 2.0));
        EXPECT_TRUE(std::isinf(value) && value > 0);
    }
    {
        Reader reader("X", true);
        OpenWith(reader, dir, "INF\n");
        EXPECT_FALSE(reader.GetDouble(value, 2.0));
        EXPECT_STREQ(reader.Position(), "INF");
    }
    {
        Reader reader("X", true);
        OpenWith(reader, dir, "-inf\n");
        EXPECT_TRUE(reader.GetDouble(value, 2.0));
        EXPECT_TRUE(std::isinf(value) && value < 0);
    }
}

TEST(KTextFileTest, NumbersAndPairs)
{
    TempDir dir;
    Reader reader("X");
    OpenWith(reader, dir, "1.5 -INF  0.25e1 7 -3 nan 4 5 6\n");
    double two[2] = {};
    EXPECT_TRUE(reader.GetPair(two, 2.0));
    EXPECT_EQ(two[0], 3.0);
    EXPECT_TRUE(std::isinf(two[1]) && two[1] < 0);
    double value = 0.0;
    EXPECT_TRUE(reader.GetDouble(value, 10.0));
    EXPECT_EQ(value, 25.0);
    int integer = 0;
    EXPECT_TRUE(reader.GetInteger(integer));
    EXPECT_EQ(integer, 7);
    EXPECT_TRUE(reader.GetInteger(integer));
    EXPECT_EQ(integer, -3);
    EXPECT_FALSE(reader.GetDouble(value, 1.0));  // "nan" is no number here
    EXPECT_FALSE(reader.GetInteger(integer));
    char c = 0;
    EXPECT_TRUE(reader.GetChar(c));
    EXPECT_EQ(c, 'n');
    KString rest;
    EXPECT_TRUE(reader.GetString(rest));
    EXPECT_EQ(rest, "an");
    double three[3] = {};
    EXPECT_TRUE(reader.GetVector(three, 0.5));
    EXPECT_EQ(three[0], 2.0);
    EXPECT_EQ(three[1], 2.5);
    EXPECT_EQ(three[2], 3.0);
    EXPECT_FALSE(reader.PeakChar(c));
    EXPECT_FALSE(reader.GetString(rest));
}

TEST(KTextFileTest, FailedReadsLeaveThePosition)
{
    TempDir dir;
    Reader reader("X");
    OpenWith(reader, dir, "1 2 x\n99999999999 y\n");
    double three[3] = {};
    EXPECT_FALSE(reader.GetVector(three, 1.0));
    EXPECT_STREQ(reader.Position(), "1 2 x");
    double two[2] = {};
    EXPECT_TRUE(reader.GetPair(two, 1.0));
    EXPECT_FALSE(reader.GetPair(two, 1.0));
    EXPECT_STREQ(reader.Position(), "x");
    ASSERT_TRUE(reader.NextLine());
    int integer = 5;
    EXPECT_FALSE(reader.GetInteger(integer));  // does not fit an int
    EXPECT_EQ(integer, 5);
}

TEST(KTextFileTest, GetStringStaysInsideItsBuffer)
{
    TempDir dir;
    Reader reader("X");
    OpenWith(reader, dir, "abcdefghij next\n");
    char buffer[8];
    memset(buffer, '#', sizeof(buffer));
    EXPECT_TRUE(reader.GetString(buffer, 4));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], '#');
    EXPECT_FALSE(reader.GetString(buffer, 0));
    EXPECT_TRUE(reader.GetString(buffer, 1));
    EXPECT_STREQ(buffer, "");

    // A separate string-delimiter set ends strings at other characters.
    reader.SetStringDel(" f");
    EXPECT_TRUE(reader.GetString(buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "de");
    KString previous = reader.SetDel(" \t");
    EXPECT_EQ(previous, " \t");
}

TEST(KTextFileTest, KStringTokensAreLimitedTo1023Characters)
{
    TempDir dir;
    Reader reader("X");
    OpenWith(reader, dir, std::string(1500, 'w') + "\n");
    KString text;
    EXPECT_TRUE(reader.GetString(text));
    EXPECT_EQ(text.GetLen(), 1023u);
}

TEST(KTextFileTest, MessagesGoToTheCallbacks)
{
    TempDir dir;
    gMessages.clear();
    {
        Reader quiet("X", false, false);
        quiet.SetErrorCallback(Collect);
        EXPECT_TRUE(quiet.Error("bad %d", 1));
        EXPECT_TRUE(gMessages.empty());
    }

    Reader reader("X");
    OpenWith(reader, dir, "1\n2\n3\n4\n5\n6\n7\n");
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(reader.NextLine());
    EXPECT_EQ(reader.LineCount(), 7);
    EXPECT_FALSE(reader.Warning("value %s", "odd"));  // no callback yet
    EXPECT_TRUE(gMessages.empty());
    reader.SetWarningCallback(Collect);
    reader.SetDebugCallback(Collect);
    reader.SetErrorCallback(Collect);
    EXPECT_FALSE(reader.Warning("value %s", "odd"));
    EXPECT_FALSE(reader.Debug("d"));
    EXPECT_TRUE(reader.Error("e%d", 2));
    std::string longText(5000, 'm');
    reader.Warning("%s", longText.c_str());
    ASSERT_EQ(gMessages.size(), 4u);
    EXPECT_EQ(gMessages[0], "X read warning (line 7): value odd");
    EXPECT_EQ(gMessages[1], "X read debug (line 7): d");
    EXPECT_EQ(gMessages[2], "X read error (line 7): e2");
    EXPECT_EQ(gMessages[3], "X read warning (line 7): " + longText);
}

TEST(KTextFileTest, PrintIndents)
{
    TempDir dir;
    std::string name = dir.File("out.txt");
    {
        Reader writer("X");
        ASSERT_FALSE(writer.Open(name.c_str(), "w"));
        writer.Print(0, "Top %d\n", 1);
        writer.Print(2, "Inner\n");
    }
    FILE* f = fopen(name.c_str(), "rb");
    char buffer[64] = {};
    size_t n = fread(buffer, 1, sizeof(buffer) - 1, f);
    fclose(f);
    EXPECT_EQ(std::string(buffer, n), "Top 1\n    Inner\n");
}
