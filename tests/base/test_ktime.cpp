#include "base/ktime.h"
#include "common/qox_test_common.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Ticks per frame and per field of modes 1 to 13 (index 0 unused); a field
// size of 0 marks a mode whose time codes carry no field.
const long long kFrame[14] = {0,          384884650,  461861580,  769769300,  923723160,  962211625, 1539538600,
                              1539538600, 1541078334, 1541078334, 1847446320, 1924423250, 46186158,  1926349600};
const long long kField[14] = {0, 0, 0, 0, 0, 0, 769769300, 769769300, 770539167, 770539167, 923723160, 0, 0, 963174800};
const long long kSecond = qoxtest::kTicksPerSecond;
const long long kHour = 3600 * kSecond;
const long long F6 = kFrame[6];

// Restores the process-wide mode and protocol after each case.
class KTimeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mMode = KTime::GetGlobalTimeMode();
        mProtocol = KTime::GetGlobalTimeProtocol();
    }
    void TearDown() override
    {
        KTime::SetGlobalTimeMode(mMode);
        KTime::SetGlobalTimeProtocol(mProtocol);
    }
    int mMode = 6;
    int mProtocol = 1;
};

long long Code(int h, int m, int s, int f, int field, int mode)
{
    KTime t;
    t.SetTime(h, m, s, f, field, mode);
    return t.Get();
}

std::string Text(long long ticks, int detail, int mode, int protocol)
{
    char buffer[KTIME_STRING_SIZE];
    return KTime(ticks).GetTimeString(buffer, detail, mode, protocol);
}

long long Parse(const char* text, int mode, int protocol, long long start = 777)
{
    KTime t(start);
    t.SetTimeString(text, mode, protocol);
    return t.Get();
}

// h, m, s, frame, field, residual.
typedef std::vector<long long> Split;

Split SplitOf(long long ticks, int mode)
{
    Split p(6, -9);
    EXPECT_TRUE(KTime(ticks).GetTime(p[0], p[1], p[2], p[3], p[4], p[5], mode));
    return p;
}

} // namespace

TEST_F(KTimeTest, TickTableOfEveryMode)
{
    const int rates[14] = {0, 120, 100, 60, 50, 48, 30, 30, 0, 0, 25, 24, 1000, 0};
    for (int mode = 1; mode <= 13; ++mode)
    {
        SCOPED_TRACE(mode);
        EXPECT_EQ(Code(0, 0, 0, 1, 0, mode), kFrame[mode]);
        EXPECT_EQ(Code(0, 0, 0, 0, 1, mode), kField[mode]); // only field modes take a field
        if (rates[mode] != 0)
        {
            EXPECT_EQ(kFrame[mode] * rates[mode], kSecond);
            EXPECT_EQ(KTime(kSecond).GetFrame(true, mode), rates[mode]);
        }
        EXPECT_EQ(KTime(7 * kFrame[mode]).GetFrame(true, mode), 7);
        EXPECT_EQ(KTime(7 * kFrame[mode] - 1).GetFrame(true, mode), 6);
        EXPECT_EQ(KTime(-7 * kFrame[mode] + 1).GetFrame(true, mode), -6);
        EXPECT_EQ(KTime(5 * kFrame[mode]).GetField(true, mode), mode == 12 ? 2 : 10);
    }
    // One hour of time code per counting scheme.
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 6), kHour);
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 12), kHour);
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 9), 108000 * kFrame[9]);
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 7), 107892 * kFrame[7]);
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 8), 107892 * kFrame[8]);
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 13), 86292 * kFrame[13]);
}

TEST_F(KTimeTest, TimeCodeRoundTripInEveryMode)
{
    unsigned long long seed = 0x9E3779B97F4A7C15ULL;
    for (int mode = 1; mode <= 13; ++mode)
    {
        SCOPED_TRACE(mode);
        const long long unit = kField[mode] ? kField[mode] : kFrame[mode];
        const long long limit = LLONG_MAX / unit - 1;
        for (int i = 0; i < 4000; ++i)
        {
            long long k = i - 1000;
            if (i >= 2000)
            {
                seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
                k = static_cast<long long>(seed >> 1) % limit * ((i & 1) ? -1 : 1);
            }
            const long long t = k * unit;
            Split p = SplitOf(t, mode);
            ASSERT_TRUE(p[1] >= 0 && p[1] < 60 && p[2] >= 0 && p[2] < 60 && p[5] >= 0 && p[5] < 100) << t;
            KTime back;
            back.SetTime(int(p[0]), int(p[1]), int(p[2]), int(p[3]), int(p[4]), mode);
            ASSERT_EQ(back.Get(), t);
            // Off-frame times come back through the residual, at most a
            // hundredth of a frame early, never late.
            const long long odd = t + (k % 997 + 997) % 997 * (unit / 997);
            p = SplitOf(odd, mode);
            back.SetTime(int(p[0]), int(p[1]), int(p[2]), int(p[3]), 0, int(p[5]), mode);
            ASSERT_LE(back.Get(), odd);
            ASSERT_LE(odd - back.Get(), kFrame[mode] / 100 + 1);
        }
    }
}

TEST_F(KTimeTest, DropFrameNumbering)
{
    const long long F = kFrame[8];
    EXPECT_EQ(Code(0, 1, 0, 0, 0, 8), 1800 * F); // numbers 0 and 1 do not exist
    EXPECT_EQ(Code(0, 1, 0, 1, 0, 8), 1800 * F);
    EXPECT_EQ(Code(0, 1, 0, 2, 0, 8), 1800 * F);
    EXPECT_EQ(Code(0, 1, 1, 0, 0, 8), 1828 * F);
    EXPECT_EQ(Code(0, 10, 0, 0, 0, 8), 17982 * F);
    EXPECT_EQ(Code(0, 11, 0, 2, 0, 8), 19782 * F);
    EXPECT_EQ(SplitOf(1800 * F, 8), (Split{0, 1, 0, 2, 0, 0}));   // 0:01:00.02
    EXPECT_EQ(SplitOf(17982 * F, 8), (Split{0, 10, 0, 0, 0, 0})); // 0:10:00.00
    EXPECT_EQ(SplitOf(1799 * F, 8), (Split{0, 0, 59, 29, 0, 0}));
    // 30 drop numbers like 29.97 drop; 23.976 drops two of 24 numbers; full 29.97 keeps all.
    EXPECT_EQ(Code(0, 1, 0, 2, 0, 7), 1800 * kFrame[7]);
    EXPECT_EQ(Code(0, 1, 0, 2, 0, 13), 1440 * kFrame[13]);
    EXPECT_EQ(Code(0, 10, 0, 0, 0, 13), 14382 * kFrame[13]);
    EXPECT_EQ(Text(1440 * kFrame[13], 4, 13, 0), "000:01:00.02");
    EXPECT_EQ(Code(0, 1, 0, 0, 0, 9), 1800 * kFrame[9]);
}

TEST_F(KTimeTest, SplitsAndSetters)
{
    EXPECT_EQ(SplitOf(-kFrame[10], 10), (Split{-1, 59, 59, 24, 0, 0}));
    EXPECT_EQ(SplitOf(F6 / 2, 6), (Split{0, 0, 0, 0, 1, 50})); // half a frame is the second field
    EXPECT_EQ(SplitOf(kFrame[4] / 4, 4), (Split{0, 0, 0, 0, 0, 25}));
    KTime kept(42); // an unknown mode changes nothing
    kept.SetTime(1, 0, 0, 0, 0, 99);
    EXPECT_EQ(kept.Get(), 42);

    const KTime x(-(5 * kHour / 2)); // -2.5 h
    EXPECT_EQ(x.GetHour(true), -2);
    EXPECT_EQ(x.GetHour(false, 6), -3);
    EXPECT_EQ(x.GetMinute(false, 6), 30);
    EXPECT_EQ(x.GetSecond(true), -9000);

    KTime t;
    t.SetTime(0, 0, 0, 1, 0, 50, 6);
    EXPECT_EQ(t.Get(), 2309307900LL);
    t.SetTime(0, 0, 0, 0, 0, 1, 1); // a hundredth of 384884650 rounds up
    EXPECT_EQ(t.Get(), 3848847);
}

TEST_F(KTimeTest, SecondsArithmeticAndFraming)
{
    const struct
    {
        double seconds;
        long long ticks;
    } seconds[] = {{1.0, kSecond},   {-0.5, -23093079000LL}, {0.041666666666666664, 1924423250LL},
                   {3e-11, 1},       {-3e-11, -1},           {1e300, LLONG_MAX},
                   {std::nan(""), 0}};
    for (const auto& c : seconds)
    {
        KTime t;
        t.SetSecondDouble(c.seconds);
        EXPECT_EQ(t.Get(), c.ticks) << c.seconds;
    }
    EXPECT_DOUBLE_EQ(KTime(23093079000LL).GetSecondDouble(), 0.5);

    EXPECT_EQ((KTime(-7) / KTime(2)).Get(), -3);
    EXPECT_EQ((KTime(LLONG_MIN) / KTime(-1)).Get(), LLONG_MIN);
    EXPECT_EQ((KTime(9) / KTime(0)).Get(), 0);
    EXPECT_EQ((KTIME_INFINITE + KTime(1)).Get(), LLONG_MIN); // wraps
    EXPECT_EQ(KTIME_MINUS_INFINITE.Get(), LLONG_MIN + 1);

    KTime::SetGlobalTimeMode(6);
    const struct
    {
        long long ticks;
        bool round;
        long long framed;
    } framed[] = {{F6 + F6 * 3 / 10, true, F6},   {F6 + F6 / 2, true, 2 * F6},
                  {F6 + F6 * 7 / 10, false, F6},  {-F6 - F6 * 7 / 10, true, -2 * F6},
                  {-F6 - F6 * 3 / 10, true, -F6}, {LLONG_MAX, true, LLONG_MAX / F6 * F6}};
    for (const auto& c : framed)
        EXPECT_EQ(KTime(c.ticks).GetFramedTime(c.round).Get(), c.framed) << c.ticks;
}

TEST_F(KTimeTest, TimeTexts)
{
    const long long t = Code(1, 2, 3, 4, 0, 6);
    const struct
    {
        long long ticks;
        int detail, mode, protocol;
        const char* text;
    } cases[] = {
        {-kFrame[10], 4, 10, 0, "-01:59:59.24"},
        {F6 / 2, 5, 6, 0, "000:00:00.00*"},
        {F6 / 2, 6, 6, 0, "000:00:00.00 (50)"},
        {F6 / 2, 5, 6, 1, "0*"},
        {t, 1, 6, 0, "001"},
        {t, 3, 6, 0, "001:02:03"},
        {t, 5, 6, 0, "001:02:03.04"},
        {t, 0, 6, 0, ""},
        {t, 7, 6, 0, ""},
        {t, 4, 14, 0, ""},
        {119 * kFrame[1], 4, 1, 0, "000:00:00.119"},
        // Frame counts; negative times print their magnitude, fraction included.
        {12 * F6, 4, 6, 1, "12"},
        {12 * F6 + F6 / 4, 5, 6, 1, "12*"},
        {12 * F6 + F6 / 4, 6, 6, 1, "12 (25)"},
        {-3 * F6, 4, 6, 1, "- 3"},
        {-3 * F6 - F6 / 4, 6, 6, 1, "- 3 (25)"},
        {-F6 / 2, 5, 6, 1, "- 0*"},
        {12 * F6, 4, 6, 7, "12"}, // any other protocol counts frames
        // Infinite times.
        {LLONG_MAX, 5, 6, 0, "---:--:--.--"},
        {LLONG_MAX, 6, 6, 0, "---:--:--.-- (--)"},
        {LLONG_MAX, 4, 6, 0, "55472:11:59.16"}, // plain split below level 5
        {LLONG_MAX, 4, 6, 1, "---"},
        {LLONG_MAX, 5, 6, 1, "  ---"},
        {LLONG_MAX, 6, 6, 1, "  --- (--)"},
        {LLONG_MIN + 2, 4, 6, 1, "- 5990997586"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text(c.ticks, c.detail, c.mode, c.protocol), c.text) << c.ticks;
    for (long long m : {LLONG_MIN, LLONG_MIN + 1})
    {
        EXPECT_EQ(Text(m, 5, 6, 0), "- ---:--:--.--");
        EXPECT_EQ(Text(m, 6, 6, 0), "- ---:--:--.-- (--)");
        EXPECT_EQ(Text(m, 1, 6, 1), "---");
        EXPECT_EQ(Text(m, 6, 6, 1), "- --- (--)");
    }
    KTime::SetGlobalTimeMode(10);
    KTime::SetGlobalTimeProtocol(0);
    EXPECT_EQ(Text(-kFrame[10], 4, 0, 2), "-01:59:59.24");

    char tiny[6]; // a small buffer is never overrun
    memset(tiny, 'x', sizeof(tiny));
    KTime(t).GetTimeString(tiny, 5, 4, 6, 0);
    EXPECT_STREQ(tiny, "001:");
    EXPECT_EQ(tiny[5], 'x');
}

TEST_F(KTimeTest, ParseTimeCodeAndFrameCount)
{
    const long long t = Code(1, 2, 3, 4, 0, 6);
    const struct
    {
        const char* text;
        int mode, protocol;
        long long ticks;
    } cases[] = {
        {"1:02:03.04", 6, 0, t},
        {"1;02;03.04", 6, 0, t},
        {".15", 6, 0, 15 * F6},
        {"12", 6, 0, 12 * kSecond},
        {"01:30", 6, 0, 90 * kSecond},
        {"1:02:03.04 (50)", 6, 0, t + F6 / 2},
        {"0:00:00.01.5", 6, 0, F6 + F6 / 2},
        {"0:00:00.01.255", 6, 0, F6 + F6 / 4},
        {"-01:59:59.24", 10, 0, -kFrame[10]},
        {"000000001:00:00.00", 6, 0, kHour}, // 18 characters
        {"0000000001:00:00.00", 6, 0, 777},  // 19: ignored
        {"", 6, 0, 777},
        {nullptr, 6, 0, 777},
        // Missing fields read as 0 instead of reading through a null token.
        {"::", 6, 0, 0},
        {"(", 6, 0, 0},
        {"1:2:3.4.", 6, 0, t},
        // Frame counts; a leading minus negates the whole value.
        {"12.5", 6, 1, 12 * F6 + F6 / 2},
        {"12.05", 6, 1, 12 * F6 + (5 * F6 + 99) / 100},
        {"12 (25)", 6, 1, 12 * F6 + F6 / 4},
        {"(50)", 6, 1, F6 / 2},
        {"abc", 6, 1, 777},
        {"-", 6, 1, 777},
        {"12.5", 99, 1, 777},
        {"-0.5", 6, 1, -F6 / 2},
        {"-3.5", 6, 1, -3 * F6 - F6 / 2},
        {"-0", 6, 1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.text, c.mode, c.protocol), c.ticks) << (c.text ? c.text : "null");
    KTime::SetGlobalTimeMode(10);
    KTime::SetGlobalTimeProtocol(0);
    EXPECT_EQ(Parse(".3", 0, 2), 3 * kFrame[10]);
    // The written forms read back: level 6 exactly, levels 4 and 5 to the frame.
    for (long long frame : {0LL, 5 * F6, 36 * kHour + 17 * F6, -F6, -kHour - 3 * F6})
    {
        for (long long u : {frame, frame + F6 / 2})
        {
            const std::string text = Text(u, 6, 6, 0);
            EXPECT_EQ(Parse(text.c_str(), 6, 0), u) << text;
            EXPECT_EQ(Parse(Text(u, 4, 6, 0).c_str(), 6, 0), frame);
            EXPECT_EQ(Parse(Text(u, 5, 6, 0).c_str(), 6, 0), frame);
        }
    }
    for (long long u : {-3 * F6, -3 * F6 - F6 / 4, -F6 / 2, 7 * F6 + F6 / 2})
    {
        const std::string text = Text(u, 6, 6, 1);
        EXPECT_EQ(Parse(text.c_str(), 6, 1), u) << text;
        EXPECT_EQ(Parse(Text(u, 4, 6, 1).c_str(), 6, 1), u / F6 * F6);
    }
}

TEST_F(KTimeTest, GlobalSettingsAndTable)
{
    KTime_SetGlobalTimeMode(11);
    KTime_SetGlobalTimeFormat(0);
    EXPECT_EQ(KTime::GetGlobalTimeMode(), 11);
    EXPECT_EQ(KTime_GetGlobalTimeFormat(), 0);
    EXPECT_EQ(Code(0, 0, 0, 1, 0, 0), kFrame[11]);
    EXPECT_DOUBLE_EQ(KTime::GetFrameRate(8), 29.97002617);
    const double rateToMode[][3] = {{30.0, 0.0, 6}, {29.97, 0.01, 8}, {1000.0, 0.5, 0}, {48.0, 0.0, 5}};
    for (const auto& c : rateToMode)
        EXPECT_EQ(KTime::ConvertFrameRateToTimeMode(c[0], c[1]), c[2]) << c[0];

    EXPECT_EQ(KTime_GetTimeModeFromOldValue(99), 6);
    EXPECT_EQ(KTime_GetTimeModeFromOldValue(KTime_GetOldTimeModeCorrespondance(7)), 7);
    const std::pair<const char*, int> rates[] = {
        {"PAL", 10}, {"29.97 drop", 8}, {"NTSC Full", 9}, {"pal", 6}, {nullptr, 6}};
    for (const auto& c : rates)
        EXPECT_EQ(KTime_GetTimeModeFromFrameRate(c.first), c.second);
    EXPECT_STREQ(KTime_GetGlobalFrameRateString(7), "30 Drop");

    const char* expected = "120 fps~100 fps~60 fps~50 fps~48 fps~30 fps~NTSC Drop~NTSC Full~PAL~24 fps~23.976 fps";
    char buffer[KTIME_CONTROL_STRING_SIZE];
    EXPECT_STREQ(KTime_GetControlStringList(buffer, 0), expected);
    EXPECT_STREQ(KTimeMode::GetControlStringList(buffer, 1), expected);
    EXPECT_STREQ(KTimeMode::GetControlStringList(buffer, 2), "");
    char small[20];
    EXPECT_STREQ(KTimeMode::GetControlStringList(small, sizeof(small), 0), "120 fps~100 fps~");
    KTime::SetGlobalTimeProtocol(1);
    const int listIndex[][2] = {{13, 10}, {10, 8}, {12, 0}, {7, -1}};
    for (const auto& c : listIndex)
        EXPECT_EQ(KTime_GetFrameRateStringListIndex(c[0]), c[1]) << c[0];
}

TEST_F(KTimeTest, Spans)
{
    const KTimeSpan a(0, 10);
    EXPECT_EQ(a & KTimeSpan(5, 20), KTimeSpan(5, 10));
    EXPECT_EQ(a & KTimeSpan(10, 20), KTimeSpan(10, 10));
    EXPECT_EQ(a & KTimeSpan(20, 5), KTimeSpan(0, 0));
    EXPECT_EQ(a & KTimeSpan(20, 30), KTimeSpan(0, 0));
    EXPECT_EQ(KTimeSpan(10, 0) & KTimeSpan(20, 5), KTimeSpan(10, 5));
    EXPECT_EQ(KTimeSpan(10, 0) & KTimeSpan(30, 20), KTimeSpan(0, 0));
    EXPECT_EQ(KTimeSpan(KTIME_MINUS_INFINITE, KTIME_INFINITE) & a, a);
    EXPECT_TRUE((a & KTime(9)) && !(a & KTime(10)) && !(a & KTime(-1)));
    EXPECT_TRUE((KTimeSpan(10, 0) & KTime(0)) && !(KTimeSpan(10, 0) & KTime(10)));
    EXPECT_FALSE(KTimeSpan(4, 4) & KTime(4));
    EXPECT_TRUE(a != KTimeSpan(0, 11) && a != KTimeSpan(1, 10) && !(a != KTimeSpan(0, 10)));
}
