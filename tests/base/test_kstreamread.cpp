// Streams read whole to a bound: pipes fed by a thread with lengths about
// the bound, an endless device, first bytes refused, and streams that
// cannot be read.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/kfile.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Pattern(size_t length)
{
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 % 251);
    return bytes;
}

// ReadStreamWhole on a pipe that a thread fills with bytes.
kStreamRead ReadPipe(const Bytes& bytes, size_t most, Bytes& read, size_t headBytes = 0,
                     bool (*accept)(const unsigned char*, size_t) = nullptr)
{
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    // The reader may stop early: the writer then meets a closed pipe.
    void (*oldPipe)(int) = std::signal(SIGPIPE, SIG_IGN);
    std::thread writer([&] {
        for (size_t done = 0; done < bytes.size();)
        {
            const ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        close(fds[1]);
    });
    FILE* in = fdopen(fds[0], "rb");
    const kStreamRead result = ReadStreamWhole(in, read, most, headBytes, accept);
    std::fclose(in);
    writer.join();
    std::signal(SIGPIPE, oldPipe);
    return result;
}

// What the accept functions below were shown last.
thread_local Bytes gShown;
bool Refuse(const unsigned char* head, size_t length)
{
    gShown.assign(head, head + length);
    return false;
}
bool Accept(const unsigned char* head, size_t length)
{
    gShown.assign(head, head + length);
    return true;
}

} // namespace

TEST(StreamReadWhole, LengthsAboutTheBound)
{
    struct Case
    {
        size_t mMost;
        size_t mLength;
        kStreamRead mResult;
    };
    // Bounds within a chunk read at once and past several of them.
    const Case cases[] = {{1, 0, kSTREAM_READ_WHOLE},          {1, 1, kSTREAM_READ_WHOLE},
                          {1, 2, kSTREAM_READ_TOO_LONG},       {200000, 0, kSTREAM_READ_WHOLE},
                          {200000, 65536, kSTREAM_READ_WHOLE}, {200000, 199999, kSTREAM_READ_WHOLE},
                          {200000, 200000, kSTREAM_READ_WHOLE}, {200000, 200001, kSTREAM_READ_TOO_LONG},
                          {200000, 600000, kSTREAM_READ_TOO_LONG}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.mMost) + " " + std::to_string(c.mLength));
        const Bytes bytes = Pattern(c.mLength);
        Bytes read(3, 'x');
        EXPECT_EQ(ReadPipe(bytes, c.mMost, read), c.mResult);
        EXPECT_EQ(read, c.mResult == kSTREAM_READ_WHOLE ? bytes : Bytes());
    }
}

TEST(StreamReadWhole, FirstBytesAreShownOnceAndARefusalStopsThere)
{
    // A stream shorter than the head is shown whole; a longer one at least
    // the head, and what was shown is what a refusal keeps.
    Bytes read;
    EXPECT_EQ(ReadPipe(Pattern(2), 100, read, 4, &Accept), kSTREAM_READ_WHOLE);
    EXPECT_EQ(gShown, Pattern(2));
    EXPECT_EQ(ReadPipe(Pattern(50), 100, read, 4, &Refuse), kSTREAM_READ_REFUSED);
    ASSERT_GE(gShown.size(), size_t(4));
    EXPECT_EQ(read, gShown);
    EXPECT_EQ(Bytes(read.begin(), read.begin() + 4), Pattern(4));
    EXPECT_EQ(ReadPipe(Pattern(0), 100, read, 4, &Refuse), kSTREAM_READ_REFUSED);
    EXPECT_TRUE(gShown.empty());

    // An endless device is given up at its first bytes, or at the bound.
    FILE* zero = std::fopen("/dev/zero", "rb");
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(ReadStreamWhole(zero, read, size_t(8) << 20, 32, &Refuse), kSTREAM_READ_REFUSED);
    EXPECT_GE(read.size(), size_t(32));
    EXPECT_LE(read.size(), size_t(1) << 16);
    EXPECT_EQ(ReadStreamWhole(zero, read, size_t(8) << 20, 32, &Accept), kSTREAM_READ_TOO_LONG);
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(ReadStreamWhole(zero, read, 1000), kSTREAM_READ_TOO_LONG);
    std::fclose(zero);
}

TEST(StreamReadWhole, StreamsThatCannotBeReadFail)
{
    Bytes read(3, 'x');
    FILE* out = std::fopen("/dev/null", "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(ReadStreamWhole(out, read, 100), kSTREAM_READ_FAILED);
    EXPECT_TRUE(read.empty());
    std::fclose(out);
}
