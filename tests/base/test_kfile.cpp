#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <unistd.h>

#include "base/kfile.h"

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path);
}

struct TempDir
{
    TempDir()
    {
        char pattern[] = "/tmp/qox_kfile_XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }
    std::string File(const char* name) const { return path + "/" + name; }
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

// Reads every line KFgets gives for the text, with the given buffer size.
std::vector<std::string> Lines(const std::string& text, int size)
{
    std::vector<std::string> lines;
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    std::vector<char> buffer(static_cast<size_t>(size) + 1, 'X');
    while (KFgets(buffer.data(), size, f)) lines.push_back(buffer.data());
    fclose(f);
    return lines;
}

} // namespace

TEST(KFileTest, ClosedFileAnswersNeutrally)
{
    KFile file;
    char buffer[8] = "abc";
    int value = 7;
    EXPECT_FALSE(file.IsOpened());
    EXPECT_EQ(file.Read(buffer, 4), 0u);
    EXPECT_EQ(file.Write(buffer, 4), 0u);
    EXPECT_EQ(file.GetPosition(), 0);
    EXPECT_EQ(file.ReadInt32(&value, true), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(file.ReadString(buffer, 8), nullptr);
    EXPECT_EQ(file.Truncate(0), -1);
    EXPECT_FALSE(file.EndOfFile());
    EXPECT_EQ(file.GetError(), 0);
    EXPECT_STREQ(file.GetFullFileName(), "");
    file.Format("%d", 1);  // nothing happens
    file.Seek(kSEEK_END, 0);
}

TEST(KFileTest, FailedOpenKeepsTheName)
{
    TempDir dir;
    KFile file;
    std::string missing = dir.File("missing.bin");
    EXPECT_FALSE(file.Open(missing.c_str(), kFILE_READ, false));
    EXPECT_FALSE(file.IsOpened());
    EXPECT_EQ(missing, file.GetFullFileName());
}

TEST(KFileTest, ReadWriteModeCreatesAndReadsBack)
{
    TempDir dir;
    std::string name = dir.File("rw.bin");
    KFile file;
    ASSERT_TRUE(file.Open(name.c_str(), kFILE_READ_WRITE, false));
    unsigned char bytes[] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(file.Write(bytes, 6), 6u);
    EXPECT_EQ(file.GetPosition(), 6);
    file.SetPosition(0);
    int swapped = 0;
    EXPECT_EQ(file.ReadInt32(&swapped, true), 0x01020304);
    EXPECT_EQ(swapped, 0x01020304);
    file.Seek(kSEEK_BEGIN, 0);
    int plain = 0;
    EXPECT_EQ(file.ReadInt32(&plain, false), 0x04030201);
    unsigned short half = 0;
    EXPECT_EQ(file.ReadUInt16(&half, true), 0x0506);
    char c = 'x';
    EXPECT_EQ(file.ReadChar(&c), 'x');  // at the end: nothing read
    EXPECT_TRUE(file.EndOfFile());
    file.ClearError();
    EXPECT_FALSE(file.EndOfFile());
    file.Seek(kSEEK_END, -2);
    unsigned char uc = 0;
    EXPECT_EQ(file.ReadUChar(&uc), 5);
    file.Seek(kSEEK_CURRENT, -2);
    EXPECT_EQ(file.ReadUChar(&uc), 4);
    EXPECT_EQ(file.Truncate(3), 0);
    file.Close();
    EXPECT_EQ(ReadAll(name), std::string("\x01\x02\x03", 3));
}

TEST(KFileTest, TextModeOpensForReading)
{
    TempDir dir;
    std::string name = dir.File("t.txt");
    WriteAll(name, "line one\nline two\n");
    KFile file;
    ASSERT_TRUE(file.Open(name.c_str(), kFILE_READ, true));
    char buffer[64];
    EXPECT_STREQ(file.ReadString(buffer, sizeof(buffer)), "line one\n");
    EXPECT_STREQ(file.ReadString(buffer, sizeof(buffer)), "line two\n");
    EXPECT_EQ(file.ReadString(buffer, sizeof(buffer)), nullptr);
    EXPECT_EQ(file.Write(buffer, 1), 0u);  // read-only stream
}

TEST(KFileTest, AppendModeAddsAtTheEnd)
{
    TempDir dir;
    std::string name = dir.File("a.txt");
    WriteAll(name, "ab");
    KFile file;
    ASSERT_TRUE(file.Open(name.c_str(), kFILE_APPEND, false));
    char text[] = "cd";
    EXPECT_EQ(file.Write(text, 2), 2u);
    file.Close();
    EXPECT_EQ(ReadAll(name), "abcd");
}

TEST(KFileTest, FormatWritesTextsOfAnyLength)
{
    TempDir dir;
    std::string name = dir.File("f.txt");
    std::string big(40000, 'q');
    {
        KFile file;
        ASSERT_TRUE(file.Open(name.c_str(), kFILE_WRITE, true));
        file.Format("<%s|%d>", big.c_str(), 42);
    }  // the destructor closes
    EXPECT_EQ(ReadAll(name), "<" + big + "|42>");
}

TEST(KFileTest, RemoveAndRename)
{
    TempDir dir;
    std::string a = dir.File("a"), b = dir.File("b");
    WriteAll(a, "x");
    EXPECT_EQ(KFile::Rename(a.c_str(), b.c_str()), 0);
    EXPECT_EQ(ReadAll(b), "x");
    EXPECT_EQ(KFile::Remove(b.c_str()), 0);
    EXPECT_NE(KFile::Remove(b.c_str()), 0);
}

TEST(KFileTest, SwabReversesBytes)
{
    EXPECT_EQ(kSwab<int>(0x01020304), 0x04030201);
    EXPECT_EQ(kSwab<unsigned int>(0xA1B2C3D4u), 0xD4C3B2A1u);
    EXPECT_EQ(kSwab<short>(0x0102), 0x0201);
    EXPECT_EQ(kSwab<unsigned short>(0xFF00), 0x00FF);
}

TEST(KFileTest, FileExist)
{
    TempDir dir;
    std::string name = dir.File("e");
    EXPECT_FALSE(FileExist(""));
    EXPECT_FALSE(FileExist(nullptr));
    EXPECT_FALSE(FileExist(name.c_str()));
    WriteAll(name, "");
    EXPECT_TRUE(FileExist(name.c_str()));
}

TEST(KFgetsTest, AllThreeLineEnds)
{
    EXPECT_EQ(Lines("ab\r\ncd", 5), (std::vector<std::string>{"ab\r\n", "cd"}));
    EXPECT_EQ(Lines("a\rb", 16), (std::vector<std::string>{"a\r", "b"}));
    EXPECT_EQ(Lines("x\ny\n", 16), (std::vector<std::string>{"x\n", "y\n"}));
    EXPECT_EQ(Lines("a\r\r\n", 16), (std::vector<std::string>{"a\r", "\r\n"}));
}

TEST(KFgetsTest, LongLinesAreSplitAtTheBufferSize)
{
    // Size 4 holds three characters: after "ab\r" the "\n" is pushed back.
    EXPECT_EQ(Lines("ab\r\ncd", 4), (std::vector<std::string>{"ab\r", "\n", "cd"}));
    EXPECT_EQ(Lines("abcdefg\n", 4), (std::vector<std::string>{"abc", "def", "g\n"}));
}

TEST(KFgetsTest, TinyBuffersAndTheEnd)
{
    std::string text = "abc";
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    char buffer[8] = "zzzzzzz";
    EXPECT_EQ(KFgets(buffer, 0, f), nullptr);
    EXPECT_EQ(buffer[0], 'z');
    EXPECT_EQ(KFgets(buffer, 1, f), buffer);
    EXPECT_STREQ(buffer, "");
    EXPECT_STREQ(KFgets(buffer, 8, f), "abc");
    strcpy(buffer, "zz");
    EXPECT_EQ(KFgets(buffer, 8, f), nullptr);
    EXPECT_STREQ(buffer, "");
    fclose(f);
}

TEST(KFileTest, PathConversionsDoNothing)
{
    KString out("keep");
    EXPECT_FALSE(KPathUtilities::ConvertFromHFSToPOSIX("a:b", out));
    EXPECT_FALSE(KPathUtilities::ConvertFromWindowsToPOSIX("a\\b", out));
    EXPECT_FALSE(KPathUtilities::ConvertFromPOSIXToWindows("a/b", out));
    EXPECT_EQ(out, "keep");
}
