#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "base/kfile.h"
#include "test_util.h"

using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

typedef std::vector<std::string> Strings;

// Every line KFgets gives for the text, with the given buffer size.
Strings Lines(const std::string& text, int size)
{
    Strings lines;
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    std::vector<char> buffer(static_cast<size_t>(size) + 1, 'X');
    while (KFgets(buffer.data(), size, f))
        lines.push_back(buffer.data());
    fclose(f);
    return lines;
}

} // namespace

TEST(KFileTest, ReadWriteModeBytesAndSwaps)
{
    TempDir dir;
    const std::string name = dir.File("rw.bin"), missing = dir.File("missing.bin");
    KFile file;
    char buffer[8] = "abc";
    int value = 7;
    EXPECT_EQ(file.ReadInt32(&value, true), 0); // closed: neutral answers
    EXPECT_EQ(value, 7);
    EXPECT_EQ(file.ReadString(buffer, 8), nullptr);
    EXPECT_EQ(file.Truncate(0), -1);
    file.Format("%d", 1);
    EXPECT_FALSE(file.Open(missing.c_str(), kFILE_READ, false)); // a failed open keeps the name
    EXPECT_EQ(missing, file.GetFullFileName());

    ASSERT_TRUE(file.Open(name.c_str(), kFILE_READ_WRITE, false));
    unsigned char bytes[] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(file.Write(bytes, 6), 6u);
    file.SetPosition(0);
    EXPECT_EQ(file.ReadInt32(&value, true), 0x01020304);
    EXPECT_EQ(value, 0x01020304);
    file.Seek(kSEEK_BEGIN, 0);
    EXPECT_EQ(file.ReadInt32(&value, false), 0x04030201);
    unsigned short half = 0;
    EXPECT_EQ(file.ReadUInt16(&half, true), 0x0506);
    char c = 'x';
    EXPECT_EQ(file.ReadChar(&c), 'x'); // at the end: nothing read
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
    EXPECT_EQ(ReadFile(name), std::string("\x01\x02\x03", 3));

    EXPECT_EQ(kSwab<unsigned int>(0xA1B2C3D4u), 0xD4C3B2A1u);
    EXPECT_EQ(kSwab<short>(0x0102), 0x0201);
}

TEST(KFileTest, TextAppendAndFormat)
{
    TempDir dir;
    const std::string name = dir.File("t.txt");
    ASSERT_TRUE(WriteFile(name, "line one\n"));
    {
        KFile file;
        ASSERT_TRUE(file.Open(name.c_str(), kFILE_READ, true));
        char buffer[64];
        EXPECT_STREQ(file.ReadString(buffer, sizeof(buffer)), "line one\n");
        EXPECT_EQ(file.ReadString(buffer, sizeof(buffer)), nullptr);
        EXPECT_EQ(file.Write(buffer, 1), 0u); // read-only stream
    }
    const std::string big(40000, 'q');
    {
        KFile file;
        ASSERT_TRUE(file.Open(name.c_str(), kFILE_APPEND, false));
        file.Format("<%s|%d>", big.c_str(), 42); // any length
    }                                            // the destructor closes
    EXPECT_EQ(ReadFile(name), "line one\n<" + big + "|42>");

    const std::string other = dir.File("b");
    EXPECT_FALSE(FileExist(other.c_str()));
    EXPECT_FALSE(FileExist(""));
    EXPECT_FALSE(FileExist(nullptr));
    EXPECT_EQ(KFile::Rename(name.c_str(), other.c_str()), 0);
    EXPECT_TRUE(FileExist(other.c_str()));
    EXPECT_EQ(KFile::Remove(other.c_str()), 0);
    EXPECT_NE(KFile::Remove(other.c_str()), 0);
}

TEST(KFgetsTest, LineEndsAndBufferSizes)
{
    EXPECT_EQ(Lines("ab\r\ncd", 5), (Strings{"ab\r\n", "cd"}));
    EXPECT_EQ(Lines("a\rb", 16), (Strings{"a\r", "b"}));
    EXPECT_EQ(Lines("x\ny\n", 16), (Strings{"x\n", "y\n"}));
    EXPECT_EQ(Lines("a\r\r\n", 16), (Strings{"a\r", "\r\n"}));
    // Size 4 holds three characters: after "ab\r" the "\n" is pushed back.
    EXPECT_EQ(Lines("ab\r\ncd", 4), (Strings{"ab\r", "\n", "cd"}));
    EXPECT_EQ(Lines("abcdefg\n", 4), (Strings{"abc", "def", "g\n"}));

    std::string text = "abc";
    FILE* f = fmemopen(&text[0], text.size(), "r");
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

// Positioned reads: the bytes at the position, the position Read goes on
// from left where it was; cut by the end; written bytes not yet flushed
// are seen in the modes that write; a closed file reads nothing.
TEST(KFileTest, ReadAtLeavesThePosition)
{
    TempDir dir;
    const std::string name = dir.File("at.bin");
    std::string data;
    for (int i = 0; i < 70000; ++i)
        data += static_cast<char>(i * 7 + i / 256);
    ASSERT_TRUE(WriteFile(name, data));
    KFile file;
    char buffer[64] = {};
    EXPECT_EQ(file.ReadAt(0, buffer, 8), 0u);
    ASSERT_TRUE(file.Open(name.c_str(), kFILE_READ, false));
    file.SetPosition(100);
    char one = 0;
    ASSERT_EQ(file.Read(&one, 1), 1u); // the stream's buffer is filled here
    for (long at : {0l, 5000l, 65535l, 69990l})
    {
        const unsigned int want = 20;
        std::string got(want, '\0');
        const unsigned int n = file.ReadAt(at, &got[0], want);
        got.resize(n);
        EXPECT_EQ(got, data.substr(static_cast<size_t>(at), want)) << at;
    }
    EXPECT_EQ(file.GetPosition(), 101);
    ASSERT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), data.substr(101, 4));
    EXPECT_EQ(file.ReadAt(70000, buffer, 8), 0u);
    EXPECT_EQ(file.ReadAt(-1, buffer, 8), 0u);
    std::string whole(data.size(), '\0');
    EXPECT_EQ(file.ReadAt(0, &whole[0], static_cast<unsigned int>(whole.size())), data.size());
    EXPECT_EQ(whole, data);
    file.Close();

    // Written and not flushed: still read back.
    ASSERT_TRUE(file.Open(name.c_str(), kFILE_READ_WRITE, false));
    ASSERT_EQ(file.Write(const_cast<char*>("written"), 7), 7u);
    ASSERT_EQ(file.ReadAt(2, buffer, 5), 5u);
    EXPECT_EQ(std::string(buffer, 5), "itten");
    EXPECT_EQ(file.GetPosition(), 7);
    EXPECT_EQ(file.ReadAt(7, buffer, 8), 0u);
    file.Close();
    EXPECT_EQ(file.ReadAt(0, buffer, 8), 0u);
}

// Positions past 4 GB (a sparse file): read where they are, read-only and not.
TEST(KFileTest, ReadAtPastFourGigabytes)
{
    TempDir dir;
    const std::string name = dir.File("sparse.bin");
    const long far = (5l << 30) + 123;
    {
        FILE* f = std::fopen(name.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fseeko(f, static_cast<off_t>(far), SEEK_SET), 0);
        ASSERT_EQ(std::fwrite("far away", 1, 8, f), 8u);
        ASSERT_EQ(std::fclose(f), 0);
    }
    for (bool readOnly : {true, false})
    {
        KFile file;
        ASSERT_TRUE(file.Open(name.c_str(), readOnly ? "rb" : "r+b"));
        char buffer[16] = {};
        EXPECT_EQ(file.ReadAt(far + 4, buffer, 16), 4u);
        EXPECT_EQ(std::string(buffer, 4), "away");
        EXPECT_EQ(file.ReadAt(far - 2, buffer, 4), 4u);
        EXPECT_EQ(std::string(buffer, 4), std::string("\0\0fa", 4));
        EXPECT_EQ(file.GetPosition(), 0);
    }
    std::remove(name.c_str());
}

// Only a regular file opens (through a link too): a folder, a FIFO without a
// writer and a device are refused at once, with EINVAL, and nothing is read
// from them; a missing name keeps its own errno.
TEST(KFileTest, OpenRegularFileRefusesWhatIsNoFile)
{
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("image.png"), "pixels"));
    ASSERT_EQ(symlink(dir.File("image.png").c_str(), dir.File("link.png").c_str()), 0);
    ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink(dir.File("pipe").c_str(), dir.File("link-to-pipe").c_str()), 0);
    const struct
    {
        std::string name;
        int error; // 0: opens
    } cases[] = {{dir.File("image.png"), 0},    {dir.File("link.png"), 0},      {dir.File("folder"), EINVAL},
                 {dir.File("pipe"), EINVAL},    {dir.File("link-to-pipe"), EINVAL}, {"/dev/zero", EINVAL},
                 {dir.File("none"), ENOENT},    {"", ENOENT}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        errno = 0;
        FILE* stream = OpenRegularFile(c.name.c_str());
        EXPECT_EQ(RegularFileExist(c.name.c_str()), c.error == 0);
        if (c.error != 0)
        {
            EXPECT_EQ(stream, nullptr);
            EXPECT_EQ(errno, c.error);
            continue;
        }
        ASSERT_NE(stream, nullptr);
        char bytes[16] = {};
        EXPECT_EQ(fread(bytes, 1, sizeof bytes, stream), 6u);
        EXPECT_STREQ(bytes, "pixels");
        fclose(stream);
    }
}
