#include "base/kchainedfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>
#include <string>

#include "test_util.h"

using qoxtest::NewBottom;
using qoxtest::ReadFile;

namespace {

class ChainedFileTest : public qoxtest::FileTest
{};

// A layer that counts its destruction, to see who deletes whom.
class CountingLayer : public KChainedFile
{
public:
    explicit CountingLayer(int* destroyed)
        : KChainedFile(0, nullptr, eClosed, false)
        , mDestroyed(destroyed)
    {}
    ~CountingLayer() override { ++*mDestroyed; }

private:
    int* mDestroyed;
};

} // namespace

TEST_F(ChainedFileTest, OpenSetsTheMode)
{
    KChainedFile file(0, nullptr, KChainedFile::eClosed, false);
    const struct
    {
        const char* modeText;
        kFileMode mode;
        KChainedFile::EMode expected;
    } cases[] = {
        {"wb", kFILE_READ, KChainedFile::eWrite},          {"rb", kFILE_READ, KChainedFile::eRead},
        {"r+b", kFILE_READ, KChainedFile::eRead},          {nullptr, kFILE_READ, KChainedFile::eRead},
        {nullptr, kFILE_READ_WRITE, KChainedFile::eWrite}, {nullptr, kFILE_WRITE, KChainedFile::eWrite},
        {nullptr, kFILE_APPEND, KChainedFile::eWrite},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(c.modeText ? file.Open(mName.c_str(), c.modeText) : file.Open(mName.c_str(), c.mode, false));
        EXPECT_EQ(c.expected, file.GetMode()) << (c.modeText ? c.modeText : "") << c.mode;
    }
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(KChainedFile::eClosed, file.GetMode());
    // Failed opens leave the layer closed.
    ASSERT_TRUE(file.Open(mName.c_str(), "rb"));
    EXPECT_FALSE(file.Open(mDir.File("missing.bin").c_str(), "rb"));
    EXPECT_EQ(KChainedFile::eClosed, file.GetMode());
    ASSERT_TRUE(file.Open(mName.c_str(), "rb"));
    EXPECT_FALSE(file.Open(static_cast<void*>(nullptr), 4u));
    EXPECT_EQ(KChainedFile::eClosed, file.GetMode());
    // An unopened bottom layer answers like a closed file.
    KChainedFile unopened(7, nullptr, KChainedFile::eWrite, false);
    char buffer[8] = "abc";
    EXPECT_EQ(0u, unopened.Read(buffer, 3));
    EXPECT_EQ(0u, unopened.Write(buffer, 3));
    EXPECT_EQ(nullptr, unopened.ReadString(buffer, 8));
    EXPECT_EQ(-1, unopened.Truncate(0));
    unopened.Format("%s", "text");
    EXPECT_TRUE(unopened.Close());
}

TEST_F(ChainedFileTest, UpperLayerPassesEverythingDown)
{
    KChainedFile* bottom = NewBottom();
    KChainedFile top(1, bottom, KChainedFile::eClosed, true);
    ASSERT_TRUE(top.Open(mName.c_str(), kFILE_READ_WRITE, false));
    EXPECT_EQ(KChainedFile::eWrite, bottom->GetMode());
    char data[] = "line one\nline two\n";
    EXPECT_EQ(18u, top.Write(data, 18));
    top.Format("%d-%s", 12, "x");
    EXPECT_EQ(22, top.GetPosition());
    top.SetPosition(5);
    char buffer[32] = {0};
    EXPECT_EQ(3u, top.Read(buffer, 3));
    EXPECT_STREQ("one", buffer);
    top.Seek(kSEEK_CURRENT, 1);
    EXPECT_STREQ("line two\n", top.ReadString(buffer, sizeof(buffer)));
    top.Seek(kSEEK_END, -4);
    EXPECT_EQ(4u, top.Read(buffer, 10));
    EXPECT_EQ(0, std::memcmp(buffer, "12-x", 4));
    EXPECT_TRUE(top.EndOfFile());
    top.ClearError();
    EXPECT_FALSE(top.EndOfFile());
    EXPECT_EQ(0, top.Truncate(9));
    EXPECT_TRUE(top.Close());
    EXPECT_EQ(KChainedFile::eClosed, bottom->GetMode());
    EXPECT_EQ("line one\n", Slurp());
}

TEST_F(ChainedFileTest, OwnershipOfTheLowerLayer)
{
    int destroyed = 0;
    {
        KChainedFile owner(0, new CountingLayer(&destroyed), KChainedFile::eClosed, true);
    }
    EXPECT_EQ(1, destroyed);
    // A layer that does not own the one below leaves it usable.
    KChainedFile bottom(0, nullptr, KChainedFile::eClosed, false);
    ASSERT_TRUE(bottom.Open(mName.c_str(), kFILE_READ_WRITE, false));
    {
        KChainedFile upper(0, &bottom, KChainedFile::eWrite, false);
        char text[] = "abc";
        EXPECT_EQ(3u, upper.Write(text, 3));
    }
    char more[] = "def";
    EXPECT_EQ(3u, bottom.Write(more, 3));
    EXPECT_TRUE(bottom.Close());
    EXPECT_EQ("abcdef", Slurp());
}

TEST_F(ChainedFileTest, StreamErrorsAndReopening)
{
    KChainedFile file(0, nullptr, KChainedFile::eClosed, false);
    ASSERT_TRUE(file.Open(mName.c_str(), "wb"));
    char buffer[4];
    EXPECT_EQ(0u, file.Read(buffer, 4)); // a write-only stream cannot be read
    EXPECT_NE(0, file.GetError());
    EXPECT_FALSE(file.Close()); // and Close reports it

    const std::string second = mDir.File("second.bin");
    ASSERT_TRUE(file.Open(mName.c_str(), "wb"));
    char a[] = "A", b[] = "B";
    EXPECT_EQ(1u, file.Write(a, 1));
    ASSERT_TRUE(file.Open(second.c_str(), "wb")); // the first file is closed by the swap
    EXPECT_EQ(1u, file.Write(b, 1));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ("A", Slurp());
    EXPECT_EQ("B", ReadFile(second));
}

TEST_F(ChainedFileTest, BufferedBytesThatCannotReachTheDiskFailTheClose)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full on this machine";
    // The bytes stay in the stream's buffer until the close, where the full
    // device refuses them.
    KChainedFile file(0, nullptr, KChainedFile::eClosed, false);
    ASSERT_TRUE(file.Open("/dev/full", "wb"));
    char text[] = "some bytes";
    EXPECT_EQ(10u, file.Write(text, 10));
    EXPECT_FALSE(file.Close());
    // A later good file is not marked by the earlier failure.
    ASSERT_TRUE(file.Open(mName.c_str(), "wb"));
    EXPECT_TRUE(file.Close());
}
