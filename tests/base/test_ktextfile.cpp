#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/ktextfile.h"
#include "test_util.h"

namespace {

// A parser over KTextFile that shows the reader's state.
class Reader : public KTextFile
{
public:
    explicit Reader(bool caseSensitive = false, bool messages = true)
        : KTextFile("X", " \t", "#", caseSensitive, messages)
    {}
    int LineCount() const { return mLineCount; }
    bool Skipped() const { return mSkipped; }
    bool AtEnd() const { return mAtEnd; }
    const char* Position() const { return mPosition; }
    const char* Line() const { return mLine.data(); }
};

std::vector<std::string> gMessages;
void Collect(const char* text)
{
    gMessages.push_back(text);
}

// Writes the text to a file and opens the reader on it.
class KTextFileTest : public ::testing::Test
{
protected:
    void Open(Reader& reader, const std::string& text)
    {
        const std::string name = mDir.File("input.txt");
        qoxtest::WriteFile(name, text);
        ASSERT_FALSE(reader.Open(name.c_str(), "r"));
    }
    qoxtest::TempDir mDir;
};

} // namespace

TEST_F(KTextFileTest, LinesCommentsAndLongLines)
{
    Reader reader;
    Open(reader, "   \n# a comment\n  a b\n" + std::string(30000, 'z') + "\nlast");
    EXPECT_EQ(reader.LineCount(), 3);
    EXPECT_TRUE(reader.Skipped());
    EXPECT_STREQ(reader.Position(), "a b");
    ASSERT_TRUE(reader.NextLine());
    EXPECT_EQ(std::string(reader.Position()), std::string(30000, 'z')); // read whole
    ASSERT_TRUE(reader.NextLine());
    EXPECT_STREQ(reader.Position(), "last"); // no final line end
    EXPECT_FALSE(reader.NextLine());
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_STREQ(reader.Line(), "");
    EXPECT_TRUE(reader.FirstLine());
    EXPECT_EQ(reader.LineCount(), 3);
    EXPECT_STREQ(reader.Position(), "a b");
    EXPECT_FALSE(reader.Close());
    EXPECT_TRUE(reader.Close()); // nothing open any more

    Reader missing; // failure is reported as true
    EXPECT_TRUE(missing.Open(mDir.File("missing").c_str(), "r"));
    EXPECT_FALSE(missing.NextLine());
}

TEST_F(KTextFileTest, KeywordTables)
{
    Reader reader;
    Open(reader, "frames   12\n");
    KToken tokens[] = {{"FRAMES", 5}, {"FPS", 5}, {"", 0}};
    reader.InitTokens(tokens);
    EXPECT_EQ(reader.Check(tokens), 0); // Check does not move
    EXPECT_EQ(reader.Handle(tokens), 0);
    EXPECT_EQ(tokens[0].mHitCount, 1);
    EXPECT_STREQ(reader.Position(), "12");
    EXPECT_EQ(reader.Handle(tokens), -1);
    char text[] = "abc";
    KToken longer = {"abcd", 0};
    EXPECT_EQ(reader.CmpTok(text, longer), nullptr);
}

TEST_F(KTextFileTest, NumbersPairsAndInfinityWords)
{
    Reader reader;
    Open(reader, "1.5 -INF  0.25e1 7 -3 nan 4 5 6\n");
    double two[2] = {}, three[3] = {}, value = 0.0;
    EXPECT_TRUE(reader.GetPair(two, 2.0));
    EXPECT_EQ(two[0], 3.0);
    EXPECT_TRUE(std::isinf(two[1]) && two[1] < 0);
    EXPECT_TRUE(reader.GetDouble(value, 10.0));
    EXPECT_EQ(value, 25.0);
    int integer = 0;
    EXPECT_TRUE(reader.GetInteger(integer));
    EXPECT_TRUE(reader.GetInteger(integer));
    EXPECT_EQ(integer, -3);
    EXPECT_FALSE(reader.GetDouble(value, 1.0)); // "nan" is no number here
    EXPECT_FALSE(reader.GetInteger(integer));
    char c = 0;
    EXPECT_TRUE(reader.GetChar(c));
    EXPECT_EQ(c, 'n');
    KString rest;
    EXPECT_TRUE(reader.GetString(rest));
    EXPECT_EQ(rest, "an");
    EXPECT_TRUE(reader.GetVector(three, 0.5));
    EXPECT_EQ(three[2], 3.0);
    EXPECT_FALSE(reader.PeakChar(c));
    EXPECT_FALSE(reader.GetString(rest));
    // Infinity words follow the case flag.
    const struct
    {
        bool caseSensitive;
        const char* text;
        bool ok;
        double expected;
    } cases[] = {{false, "INF", true, INFINITY}, {true, "INF", false, 0}, {true, "-inf", true, -INFINITY}};
    for (const auto& k : cases)
    {
        Reader r(k.caseSensitive);
        Open(r, std::string(k.text) + "\n");
        EXPECT_EQ(r.GetDouble(value, 2.0), k.ok) << k.text;
        if (k.ok)
        {
            EXPECT_EQ(value, k.expected);
        }
        else
        {
            EXPECT_STREQ(r.Position(), k.text);
        }
    }
}

TEST_F(KTextFileTest, FailedReadsLeaveThePosition)
{
    Reader reader;
    Open(reader, "1 2 x\n99999999999 y\n");
    double three[3] = {}, two[2] = {};
    EXPECT_FALSE(reader.GetVector(three, 1.0));
    EXPECT_STREQ(reader.Position(), "1 2 x");
    EXPECT_TRUE(reader.GetPair(two, 1.0));
    EXPECT_FALSE(reader.GetPair(two, 1.0));
    EXPECT_STREQ(reader.Position(), "x");
    ASSERT_TRUE(reader.NextLine());
    int integer = 5;
    EXPECT_FALSE(reader.GetInteger(integer)); // does not fit an int
    EXPECT_EQ(integer, 5);
}

TEST_F(KTextFileTest, StringsStayInsideTheirBuffers)
{
    Reader reader;
    Open(reader, "abcdefghij next\n" + std::string(1500, 'w') + "\n");
    char buffer[8];
    memset(buffer, '#', sizeof(buffer));
    EXPECT_TRUE(reader.GetString(buffer, 4));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], '#');
    EXPECT_FALSE(reader.GetString(buffer, 0));
    EXPECT_TRUE(reader.GetString(buffer, 1));
    EXPECT_STREQ(buffer, "");
    reader.SetStringDel(" f"); // its own delimiters end strings elsewhere
    EXPECT_TRUE(reader.GetString(buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "de");
    EXPECT_EQ(reader.SetDel(" \t"), " \t");

    ASSERT_TRUE(reader.NextLine());
    KString text; // KString tokens are limited to 1,023 characters
    EXPECT_TRUE(reader.GetString(text));
    EXPECT_EQ(text.GetLen(), 1023u);
}

TEST_F(KTextFileTest, MessagesGoToTheCallbacks)
{
    gMessages.clear();
    Reader quiet(false, false);
    quiet.SetErrorCallback(Collect);
    EXPECT_TRUE(quiet.Error("bad %d", 1));
    EXPECT_TRUE(gMessages.empty());

    Reader reader;
    Open(reader, "1\n2\n3\n4\n5\n6\n7\n");
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(reader.NextLine());
    EXPECT_FALSE(reader.Warning("value %s", "odd")); // no callback yet
    EXPECT_TRUE(gMessages.empty());
    reader.SetWarningCallback(Collect);
    reader.SetDebugCallback(Collect);
    reader.SetErrorCallback(Collect);
    EXPECT_FALSE(reader.Warning("value %s", "odd"));
    EXPECT_FALSE(reader.Debug("d"));
    EXPECT_TRUE(reader.Error("e%d", 2));
    const std::string longText(5000, 'm');
    reader.Warning("%s", longText.c_str());
    EXPECT_EQ(gMessages,
              (std::vector<std::string>{"X read warning (line 7): value odd", "X read debug (line 7): d",
                                        "X read error (line 7): e2", "X read warning (line 7): " + longText}));

    const std::string name = mDir.File("out.txt"); // Print indents by two blanks a level
    {
        Reader writer;
        ASSERT_FALSE(writer.Open(name.c_str(), "w"));
        writer.Print(2, "Inner %d\n", 1);
    }
    EXPECT_EQ(qoxtest::ReadFile(name), "    Inner 1\n");
}
