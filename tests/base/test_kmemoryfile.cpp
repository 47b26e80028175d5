#include "base/kmemoryfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(KMemoryFile, OpeningAndClosedAnswers)
{
    KMemoryFile file;
    char buffer[8] = "abc";
    int v = 7;
    EXPECT_TRUE(file.EndOfFile());
    EXPECT_EQ(0u, file.Read(buffer, 4));
    EXPECT_EQ(0u, file.Write(buffer, 4));
    EXPECT_EQ(nullptr, file.ReadString(buffer, 8));
    EXPECT_EQ(0, file.ReadInt32(&v, false));
    EXPECT_EQ(7, v);
    file.SetPosition(2);
    EXPECT_EQ(0, file.GetPosition());
    file.Format("%d", 12);
    EXPECT_STREQ("abc", buffer);

    EXPECT_FALSE(file.Open(static_cast<void*>(nullptr), 10u));
    // No disk file behind it: every open by name fails, through the plain file interface too.
    KFile* asFile = &file;
    EXPECT_FALSE(file.Open(KString("/dev/null"), KString("rb")));
    EXPECT_FALSE(asFile->Open("/dev/null", "rb"));
    EXPECT_FALSE(asFile->Open("/dev/null", kFILE_READ, false));
    EXPECT_EQ(-1, asFile->Truncate(0));

    char empty[1];
    EXPECT_TRUE(file.Open(static_cast<void*>(empty), 0u));
    EXPECT_TRUE(file.IsOpened());
    EXPECT_TRUE(file.EndOfFile());
    file.Close();
    EXPECT_FALSE(file.IsOpened());
}

TEST(KMemoryFile, ExactClampedAndTypedReads)
{
    unsigned char bytes[] = {0x01, 0x02, 0x03, 0x04, 0x01, 0x02, 0x03, 0x04, 0xFF, 0x80, 0x7F};
    KMemoryFile file;
    ASSERT_TRUE(file.Open(bytes, sizeof(bytes)));
    int v = 0;
    EXPECT_EQ(0x01020304, file.ReadInt32(&v, true));
    EXPECT_EQ(0x01020304, v);
    unsigned int u = 0;
    unsigned short us = 0;
    EXPECT_EQ(0x04030201u, file.ReadUInt32(&u, false));
    EXPECT_EQ(0xFF80u, file.ReadUInt16(&us, true));
    // One byte left: a 16-bit read fails, leaving value and position.
    short s = 5;
    EXPECT_EQ(0, file.ReadInt16(&s, false));
    EXPECT_EQ(5, s);
    EXPECT_EQ(10, file.GetPosition());
    char c = 0;
    EXPECT_EQ(0x7F, file.ReadChar(&c));
    unsigned char uc = 9;
    EXPECT_EQ(0, file.ReadUChar(&uc));
    EXPECT_EQ(9, uc);
    EXPECT_EQ(0, file.ReadInt32(nullptr, false));

    file.SetPosition(8);
    unsigned char dst[8];
    std::memset(dst, 0xAA, sizeof(dst));
    EXPECT_EQ(0u, file.Read(dst, 4, true)); // exact: nothing when too few are left
    EXPECT_EQ(8, file.GetPosition());
    EXPECT_EQ(0xAA, dst[0]);
    EXPECT_EQ(3u, file.Read(dst, 5)); // clamped
    EXPECT_EQ(0, std::memcmp(dst, "\xFF\x80\x7F\xAA", 4));
    EXPECT_TRUE(file.EndOfFile());
}

TEST(KMemoryFile, SeekClampsToBuffer)
{
    char bytes[10] = {0};
    KMemoryFile file;
    ASSERT_TRUE(file.Open(bytes, sizeof(bytes)));
    const struct
    {
        kSeekPos from;
        long offset;
        long position;
    } steps[] = {
        {kSEEK_END, 4, 6},       {kSEEK_END, -4, 6}, // from the end, either sign
        {kSEEK_CURRENT, -20, 0}, {kSEEK_BEGIN, 50, 10}, {kSEEK_END, 0, 10},
        {kSEEK_END, 40, 0},      {kSEEK_CURRENT, 3, 3}, {static_cast<kSeekPos>(3), 5, 0}, // an unknown origin: 0
    };
    for (const auto& s : steps)
    {
        file.Seek(s.from, s.offset);
        EXPECT_EQ(s.position, file.GetPosition()) << s.from << " " << s.offset;
    }
    file.SetPosition(4);
    file.SetPosition(11); // out of range: ignored
    file.SetPosition(-1);
    EXPECT_EQ(4, file.GetPosition());
    file.SetPosition(10);
    EXPECT_TRUE(file.EndOfFile());
}

TEST(KMemoryFile, WritesAndFormatStopAtTheEnd)
{
    char bytes[8];
    std::memset(bytes, '.', sizeof(bytes));
    KMemoryFile file;
    ASSERT_TRUE(file.Open(bytes, sizeof(bytes)));
    file.SetPosition(3);
    char src[9] = "ABCDEFGH";
    EXPECT_EQ(5u, file.Write(src, 8));
    EXPECT_EQ(0, std::memcmp(bytes, "...ABCDE", 8));
    EXPECT_EQ(0u, file.Write(src, 1));
    EXPECT_EQ(0u, file.Write(nullptr, 1));

    const std::string big(40000, 'x');
    std::string buffer(50000, '-');
    ASSERT_TRUE(file.Open(&buffer[0], 30000));
    file.Format("%d:", 42);
    file.Format("%s", big.c_str()); // longer than 16,384 and than the room left
    EXPECT_EQ(30000, file.GetPosition());
    EXPECT_EQ("42:xxx", buffer.substr(0, 6));
    EXPECT_EQ('x', buffer[29999]);
    EXPECT_EQ('-', buffer[30000]); // nothing past the buffer's size
}

TEST(KMemoryFile, ReadStringLines)
{
    char text[] = "ab\ncdef";
    KMemoryFile file;
    ASSERT_TRUE(file.Open(text, 7));
    char line[16];
    EXPECT_EQ(line, file.ReadString(line, 1));
    EXPECT_STREQ("", line);
    EXPECT_EQ(0, file.GetPosition());
    EXPECT_STREQ("ab\n", file.ReadString(line, 16));
    EXPECT_STREQ("cd", file.ReadString(line, 3));
    EXPECT_STREQ("ef", file.ReadString(line, 16));
    EXPECT_STREQ("", file.ReadString(line, 16));
    EXPECT_EQ(nullptr, file.ReadString(line, 0));
}

// Positioned reads on a memory file: its bytes, the position left where it was.
TEST(KMemoryFile, ReadAtLeavesThePosition)
{
    char image[] = "0123456789";
    KMemoryFile file;
    char buffer[8] = {};
    EXPECT_EQ(0u, file.ReadAt(0, buffer, 4));
    ASSERT_TRUE(file.Open(image, 10u));
    file.SetPosition(3);
    EXPECT_EQ(4u, file.ReadAt(5, buffer, 4));
    EXPECT_EQ(std::string(buffer, 4), "5678");
    EXPECT_EQ(3, file.GetPosition());
    EXPECT_EQ(2u, file.ReadAt(8, buffer, 4));
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(3, file.GetPosition());
}
