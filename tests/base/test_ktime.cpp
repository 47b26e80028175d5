#include "base/ktime.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// Ticks per frame and per field of modes 1 to 13 (index 0 unused); a field
// size of 0 marks a mode whose time codes carry no field.
const long long kFrame[14] = {0, 384884650, 461861580, 769769300, 923723160, 962211625,
                              1539538600, 1539538600, 1541078334, 1541078334, 1847446320,
                              1924423250, 46186158, 1926349600};
const long long kField[14] = {0, 0, 0, 0, 0, 0, 769769300, 769769300, 770539167,
                              770539167, 923723160, 0, 0, 963174800};
const long long kSecond = 46186158000LL;
const long long kHour = 3600 * kSecond;

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

KTime Code(int h, int m, int s, int f, int field, int mode)
{
    KTime t;
    t.SetTime(h, m, s, f, field, mode);
    return t;
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

struct Split
{
    long long h = -9, m = -9, s = -9, f = -9, field = -9, residual = -9;
};

Split SplitOf(long long ticks, int mode)
{
    Split p;
    EXPECT_TRUE(KTime(ticks).GetTime(p.h, p.m, p.s, p.f, p.field, p.residual, mode));
    return p;
}

} // namespace

TEST_F(KTimeTest, TickTableOfEveryMode)
{
    const int rates[14] = {0, 120, 100, 60, 50, 48, 30, 30, 0, 0, 25, 24, 1000, 0};
    for (int mode = 1; mode <= 13; ++mode) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(Code(0, 0, 0, 1, 0, mode).Get(), kFrame[mode]);
        // Only field modes take the field argument.
        EXPECT_EQ(Code(0, 0, 0, 0, 1, mode).Get(), kField[mode]);
        if (rates[mode] != 0) {
            EXPECT_EQ(kFrame[mode] * rates[mode], kSecond);
            EXPECT_EQ(KTime(kSecond).GetFrame(true, mode), rates[mode]);
        }
        EXPECT_EQ(KTime(7 * kFrame[mode]).GetFrame(true, mode), 7);
        EXPECT_EQ(KTime(7 * kFrame[mode] - 1).GetFrame(true, mode), 6);
        EXPECT_EQ(KTime(-7 * kFrame[mode] + 1).GetFrame(true, mode), -6);
        EXPECT_EQ(KTime(5 * kFrame[mode]).GetField(true, mode), mode == 12 ? 2 : 10);
    }
    // One hour of time code per counting scheme.
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 6).Get(), kHour);
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 12).Get(), kHour);
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 9).Get(), 108000 * kFrame[9]);
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 7).Get(), 107892 * kFrame[7]);
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 8).Get(), 107892 * kFrame[8]);
    EXPECT_EQ(Code(1, 0, 0, 0, 0, 13).Get(), 86292 * kFrame[13]);
    EXPECT_EQ(Code(0, 0, 0, 0, 1, 11).Get(), 0);
    EXPECT_EQ(Code(0, 0, 0, 0, 1, 10).Get(), 923723160);
}

TEST_F(KTimeTest, TimeCodeRoundTripInEveryMode)
{
    unsigned long long seed = 0x9E3779B97F4A7C15ULL;
    for (int mode = 1; mode <= 13; ++mode) {
        SCOPED_TRACE(mode);
        const long long unit = kField[mode] ? kField[mode] : kFrame[mode];
        const long long limit = LLONG_MAX / unit - 1;
        for (int i = 0; i < 4000; ++i) {
            long long k;
            if (i < 2000) {
                k = i - 1000;
            } else {
                seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
                k = static_cast<long long>(seed >> 1) % limit;
                if (i & 1)
                    k = -k;
            }
            const long long t = k * unit;
            Split p = SplitOf(t, mode);
            ASSERT_TRUE(p.m >= 0 && p.m < 60 && p.s >= 0 && p.s < 60 && p.residual >= 0 &&
                        p.residual < 100)
                << t;
            KTime back;
            back.SetTime(int(p.h), int(p.m), int(p.s), int(p.f), int(p.field), mode);
            ASSERT_EQ(back.Get(), t);

            // Off-frame times come back through the residual, at most a
            // hundredth of a frame early, never late.
            const long long odd = t + (k % 997 + 997) % 997 * (unit / 997);
            p = SplitOf(odd, mode);
            back.SetTime(int(p.h), int(p.m), int(p.s), int(p.f), 0, int(p.residual), mode);
            ASSERT_LE(back.Get(), odd);
            ASSERT_LE(odd - back.Get(), kFrame[mode] / 100 + 1);
        }
    }
}

TEST_F(KTimeTest, DropFrameNumbering)
{
    const long long F = kFrame[8];
    EXPECT_EQ(Code(0, 1, 0, 0, 0, 8).Get(), 1800 * F);
    EXPECT_EQ(Code(0, 1, 0, 1, 0, 8).Get(), 1800 * F);   // numbers 0 and 1 do not exist
    EXPECT_EQ(Code(0, 1, 0, 2, 0, 8).Get(), 1800 * F);
    EXPECT_EQ(Code(0, 1, 1, 0, 0, 8).Get(), 1828 * F);
    EXPECT_EQ(Code(0, 10, 0, 0, 0, 8).Get(), 17982 * F);
    EXPECT_EQ(Code(0, 11, 0, 2, 0, 8).Get(), 19782 * F);

    Split p = SplitOf(1800 * F, 8);
    EXPECT_EQ(p.h * 1000000 + p.m * 10000 + p.s * 100 + p.f, 10002);   // 0:01:00.02
    p = SplitOf(17982 * F, 8);
    EXPECT_EQ(p.h * 1000000 + p.m * 10000 + p.s * 100 + p.f, 100000);  // 0:10:00.00
    p = SplitOf(1799 * F, 8);
    EXPECT_EQ(p.h * 1000000 + p.m * 10000 + p.s * 100 + p.f, 5929);    // 0:00:59.29

    // 30 drop numbers like 29.97 drop; 23.976 drops two of 24 numbers.
    EXPECT_EQ(Code(0, 1, 0, 2, 0, 7).Get(), 1800 * kFrame[7]);
    EXPECT_EQ(Code(0, 1, 0, 2, 0, 13).Get(), 1440 * kFrame[13]);
    EXPECT_EQ(Code(0, 10, 0, 0, 0, 13).Get(), 14382 * kFrame[13]);
    EXPECT_EQ(Text(1440 * kFrame[13], 4, 13, 0), "000:01:00.02");
    // Full 29.97 keeps every number.
    EXPECT_EQ(Code(0, 1, 0, 0, 0, 9).Get(), 1800 * kFrame[9]);
}

TEST_F(KTimeTest, SplitOfNegativeAndOffFrameTimes)
{
    Split p = SplitOf(-kFrame[10], 10);
    EXPECT_EQ(p.h, -1);
    EXPECT_EQ(p.m, 59);
    EXPECT_EQ(p.s, 59);
    EXPECT_EQ(p.f, 24);
    p = SplitOf(kFrame[6] / 2, 6);   // half a frame is the second field
    EXPECT_EQ(p.field, 1);
    EXPECT_EQ(p.residual, 50);
    p = SplitOf(kFrame[4] / 4, 4);
    EXPECT_EQ(p.field, 0);
    EXPECT_EQ(p.residual, 25);

    Split untouched;
    EXPECT_FALSE(KTime(5).GetTime(untouched.h, untouched.m, untouched.s, untouched.f,
                                  untouched.field, untouched.residual, 14));
    EXPECT_EQ(untouched.h, -9);
    EXPECT_EQ(untouched.residual, -9);
    KTime t(42);
    t.SetTime(1, 0, 0, 0, 0, 99);
    EXPECT_EQ(t.Get(), 42);

    const KTime x(-(5 * kHour / 2));   // -2.5 h
    EXPECT_EQ(x.GetHour(true), -2);
    EXPECT_EQ(x.GetHour(false, 6), -3);
    EXPECT_EQ(x.GetMinute(false, 6), 30);
    EXPECT_EQ(x.GetMinute(true), -150);
    EXPECT_EQ(x.GetSecond(true), -9000);
    EXPECT_EQ(KTime(kFrame[6] / 2).GetResidual(6), 50);
    EXPECT_EQ(KTime(kFrame[6]).GetFrame(true, 99), 0);
    EXPECT_EQ(KTime(kFrame[6]).GetField(true, 99), 0);
}

TEST_F(KTimeTest, ResidualSetter)
{
    KTime t;
    t.SetTime(0, 0, 0, 1, 0, 50, 6);
    EXPECT_EQ(t.Get(), 2309307900LL);
    t.SetTime(0, 0, 0, 0, 0, 1, 1);   // a hundredth of 384884650 rounds up
    EXPECT_EQ(t.Get(), 3848847);
}

TEST_F(KTimeTest, SecondsAndArithmetic)
{
    KTime t;
    t.SetSecondDouble(1.0);
    EXPECT_EQ(t.Get(), kSecond);
    t.SetSecondDouble(-0.5);
    EXPECT_EQ(t.Get(), -23093079000LL);
    t.SetSecondDouble(0.041666666666666664);
    EXPECT_EQ(t.Get(), 1924423250LL);
    t.SetSecondDouble(3e-11);   // 1.39 ticks
    EXPECT_EQ(t.Get(), 1);
    t.SetSecondDouble(-3e-11);
    EXPECT_EQ(t.Get(), -1);
    t.SetSecondDouble(1e300);
    EXPECT_EQ(t, KTIME_INFINITE);
    t.SetSecondDouble(std::nan(""));
    EXPECT_EQ(t.Get(), 0);
    EXPECT_DOUBLE_EQ(KTime(23093079000LL).GetSecondDouble(), 0.5);

    EXPECT_EQ((KTime(7) + KTime(5)).Get(), 12);
    EXPECT_EQ((KTime(7) - KTime(5)).Get(), 2);
    EXPECT_EQ((KTime(7) * -3).Get(), -21);
    EXPECT_EQ((KTime(7) * KTime(6)).Get(), 42);
    EXPECT_EQ((KTime(-7) / KTime(2)).Get(), -3);
    EXPECT_EQ((KTime(LLONG_MIN) / KTime(-1)).Get(), LLONG_MIN);
    EXPECT_EQ((KTime(9) / KTime(0)).Get(), 0);
    EXPECT_EQ((KTIME_INFINITE + KTime(1)).Get(), LLONG_MIN);   // wraps
    KTime u(10);
    u += KTime(5);
    u -= KTime(1);
    EXPECT_EQ(u.Get(), 14);
    EXPECT_TRUE(KTIME_MINUS_INFINITE < KTime(0) && KTime(0) <= KTime(0) && KTIME_INFINITE > u);
    EXPECT_EQ(KTIME_MINUS_INFINITE.Get(), LLONG_MIN + 1);
}

TEST_F(KTimeTest, FramedTime)
{
    KTime::SetGlobalTimeMode(6);
    const long long F = kFrame[6];
    EXPECT_EQ(KTime(F + F * 3 / 10).GetFramedTime(false).Get(), F);
    EXPECT_EQ(KTime(F + F * 3 / 10).GetFramedTime(true).Get(), F);
    EXPECT_EQ(KTime(F + F / 2).GetFramedTime(true).Get(), 2 * F);
    EXPECT_EQ(KTime(F + F * 7 / 10).GetFramedTime(false).Get(), F);
    EXPECT_EQ(KTime(-F - F * 7 / 10).GetFramedTime(true).Get(), -2 * F);
    EXPECT_EQ(KTime(-F - F * 3 / 10).GetFramedTime(true).Get(), -F);
    EXPECT_EQ(KTIME_INFINITE.GetFramedTime(true).Get(), LLONG_MAX / F * F);
}

TEST_F(KTimeTest, TimeCodeText)
{
    EXPECT_EQ(Text(-kFrame[10], 4, 10, 0), "-01:59:59.24");
    const long long half = kFrame[6] / 2;
    EXPECT_EQ(Text(half, 5, 6, 0), "000:00:00.00*");
    EXPECT_EQ(Text(half, 6, 6, 0), "000:00:00.00 (50)");
    EXPECT_EQ(Text(half, 5, 6, 1), "0*");
    const long long t = Code(1, 2, 3, 4, 0, 6).Get();
    EXPECT_EQ(Text(t, 1, 6, 0), "001");
    EXPECT_EQ(Text(t, 2, 6, 0), "001:02");
    EXPECT_EQ(Text(t, 3, 6, 0), "001:02:03");
    EXPECT_EQ(Text(t, 4, 6, 0), "001:02:03.04");
    EXPECT_EQ(Text(t, 5, 6, 0), "001:02:03.04");
    EXPECT_EQ(Text(t, 0, 6, 0), "");
    EXPECT_EQ(Text(t, 7, 6, 0), "");
    EXPECT_EQ(Text(t, 4, 14, 0), "");
    EXPECT_EQ(Text(119 * kFrame[1], 4, 1, 0), "000:00:00.119");

    KTime::SetGlobalTimeMode(10);
    KTime::SetGlobalTimeProtocol(0);
    EXPECT_EQ(Text(-kFrame[10], 4, 0, 2), "-01:59:59.24");

    // A small buffer is never overrun.
    char tiny[6];
    memset(tiny, 'x', sizeof(tiny));
    KTime(t).GetTimeString(tiny, 5, 4, 6, 0);
    EXPECT_STREQ(tiny, "001:");
    EXPECT_EQ(tiny[5], 'x');
}

TEST_F(KTimeTest, InfiniteTimes)
{
    const long long minusInf[2] = {LLONG_MIN, LLONG_MIN + 1};
    EXPECT_EQ(Text(LLONG_MAX, 5, 6, 0), "---:--:--.--");
    EXPECT_EQ(Text(LLONG_MAX, 6, 6, 0), "---:--:--.-- (--)");
    EXPECT_EQ(Text(LLONG_MAX, 4, 6, 0), "55472:11:59.16");   // plain split below level 5
    EXPECT_EQ(Text(LLONG_MAX, 4, 6, 1), "---");
    EXPECT_EQ(Text(LLONG_MAX, 5, 6, 1), "  ---");
    EXPECT_EQ(Text(LLONG_MAX, 6, 6, 1), "  --- (--)");
    for (long long m : minusInf) {
        EXPECT_EQ(Text(m, 5, 6, 0), "- ---:--:--.--");
        EXPECT_EQ(Text(m, 6, 6, 0), "- ---:--:--.-- (--)");
        EXPECT_EQ(Text(m, 1, 6, 1), "---");
        EXPECT_EQ(Text(m, 5, 6, 1), "- ---");
        EXPECT_EQ(Text(m, 6, 6, 1), "- --- (--)");
    }
    EXPECT_EQ(Text(LLONG_MIN + 2, 4, 6, 1), "- 5990997586");
}

TEST_F(KTimeTest, FrameCountText)
{
    const long long F = kFrame[6];
    EXPECT_EQ(Text(12 * F, 4, 6, 1), "12");
    EXPECT_EQ(Text(12 * F + F / 4, 5, 6, 1), "12*");
    EXPECT_EQ(Text(12 * F + F / 4, 6, 6, 1), "12 (25)");
    EXPECT_EQ(Text(-3 * F, 4, 6, 1), "- 3");
    // Negative times print their magnitude, fraction included.
    EXPECT_EQ(Text(-3 * F - F / 4, 6, 6, 1), "- 3 (25)");
    EXPECT_EQ(Text(-F / 2, 5, 6, 1), "- 0*");
    EXPECT_EQ(Text(12 * F, 4, 6, 7), "12");   // any other protocol counts frames
}

TEST_F(KTimeTest, ParseTimeCode)
{
    const long long F = kFrame[6];
    EXPECT_EQ(Parse("1:02:03.04", 6, 0), Code(1, 2, 3, 4, 0, 6).Get());
    EXPECT_EQ(Parse("1;02;03.04", 6, 0), Code(1, 2, 3, 4, 0, 6).Get());
    EXPECT_EQ(Parse(".15", 6, 0), 15 * F);
    EXPECT_EQ(Parse("12", 6, 0), 12 * kSecond);
    EXPECT_EQ(Parse("01:30", 6, 0), 90 * kSecond);
    EXPECT_EQ(Parse("1:02:03.04 (50)", 6, 0), Code(1, 2, 3, 4, 0, 6).Get() + F / 2);
    EXPECT_EQ(Parse("0:00:00.01.5", 6, 0), F + F / 2);
    EXPECT_EQ(Parse("0:00:00.01.255", 6, 0), F + F / 4);
    EXPECT_EQ(Parse("-01:59:59.24", 10, 0), -kFrame[10]);
    EXPECT_EQ(Parse("000000001:00:00.00", 6, 0), kHour);   // 18 characters
    EXPECT_EQ(Parse("0000000001:00:00.00", 6, 0), 777);    // 19: ignored
    EXPECT_EQ(Parse("", 6, 0), 777);
    EXPECT_EQ(Parse(nullptr, 6, 0), 777);
    // Missing fields read as 0 instead of reading through a null token.
    EXPECT_EQ(Parse("::", 6, 0), 0);
    EXPECT_EQ(Parse("(", 6, 0), 0);
    EXPECT_EQ(Parse("1:2:3.4.", 6, 0), Code(1, 2, 3, 4, 0, 6).Get());
    KTime::SetGlobalTimeMode(10);
    KTime::SetGlobalTimeProtocol(0);
    EXPECT_EQ(Parse(".3", 0, 2), 3 * kFrame[10]);

    // The text forms read back: level 6 exactly, levels 4 and 5 to the frame.
    for (long long frame : {0LL, 5 * F, 36 * kHour + 17 * F, -F, -kHour - 3 * F}) {
        for (long long t : {frame, frame + F / 2}) {
            const std::string text = Text(t, 6, 6, 0);
            EXPECT_EQ(Parse(text.c_str(), 6, 0), t) << text;
            EXPECT_EQ(Parse(Text(t, 4, 6, 0).c_str(), 6, 0), frame);
            EXPECT_EQ(Parse(Text(t, 5, 6, 0).c_str(), 6, 0), frame);
        }
    }
}

TEST_F(KTimeTest, ParseFrameCount)
{
    const long long F = kFrame[6];
    EXPECT_EQ(Parse("12.5", 6, 1), 12 * F + F / 2);
    EXPECT_EQ(Parse("12", 6, 1), 12 * F);
    EXPECT_EQ(Parse("12.05", 6, 1), 12 * F + (5 * F + 99) / 100);
    EXPECT_EQ(Parse("12 (25)", 6, 1), 12 * F + F / 4);
    EXPECT_EQ(Parse(".5", 6, 1), F / 2);
    EXPECT_EQ(Parse("(50)", 6, 1), F / 2);
    EXPECT_EQ(Parse("abc", 6, 1), 777);
    EXPECT_EQ(Parse("-", 6, 1), 777);
    EXPECT_EQ(Parse("12.5", 99, 1), 777);
    // A leading minus negates the whole value.
    EXPECT_EQ(Parse("-0.5", 6, 1), -F / 2);
    EXPECT_EQ(Parse("-0.25", 6, 1), -F / 4);
    EXPECT_EQ(Parse("-3.5", 6, 1), -3 * F - F / 2);
    EXPECT_EQ(Parse("-0", 6, 1), 0);
    // The written forms of negative times read back.
    for (long long t : {-3 * F, -3 * F - F / 4, -F / 2, 7 * F + F / 2}) {
        const std::string text = Text(t, 6, 6, 1);
        EXPECT_EQ(Parse(text.c_str(), 6, 1), t) << text;
        EXPECT_EQ(Parse(Text(t, 4, 6, 1).c_str(), 6, 1), t / F * F);
    }
}

TEST_F(KTimeTest, GlobalSettingsAndTable)
{
    EXPECT_EQ(KTime_GetGlobalTimeMode(), KTime::GetGlobalTimeMode());
    KTime_SetGlobalTimeMode(11);
    KTime_SetGlobalTimeFormat(0);
    EXPECT_EQ(KTime::GetGlobalTimeMode(), 11);
    EXPECT_EQ(KTime_GetGlobalTimeFormat(), 0);
    EXPECT_EQ(Code(0, 0, 0, 1, 0, 0).Get(), kFrame[11]);
    EXPECT_DOUBLE_EQ(KTime::GetFrameRate(0), 24.0);

    EXPECT_DOUBLE_EQ(KTime::GetFrameRate(8), 29.97002617);
    EXPECT_DOUBLE_EQ(KTime::GetFrameRate(12), 30.0);
    EXPECT_DOUBLE_EQ(KTime::GetFrameRate(13), 23.976);
    EXPECT_EQ(KTime::ConvertFrameRateToTimeMode(30.0, 0.0), 6);
    EXPECT_EQ(KTime::ConvertFrameRateToTimeMode(29.97, 0.01), 8);
    EXPECT_EQ(KTime::ConvertFrameRateToTimeMode(1000.0, 0.5), 0);
    EXPECT_EQ(KTime::ConvertFrameRateToTimeMode(48.0, 0.0), 5);

    EXPECT_EQ(KTime_GetOldTimeModeCorrespondance(1), 8);
    EXPECT_EQ(KTime_GetOldTimeModeCorrespondance(7), 10);
    EXPECT_EQ(KTime_GetOldTimeModeCorrespondance(12), 3);
    EXPECT_EQ(KTime_GetTimeModeFromOldValue(3), 6);
    EXPECT_EQ(KTime_GetTimeModeFromOldValue(10), 7);
    EXPECT_EQ(KTime_GetTimeModeFromOldValue(4), 8);
    EXPECT_EQ(KTime_GetTimeModeFromOldValue(99), 6);
    EXPECT_EQ(KTime_GetTimeModeFromFrameRate("PAL"), 10);
    EXPECT_EQ(KTime_GetTimeModeFromFrameRate("29.97 drop"), 8);
    EXPECT_EQ(KTime_GetTimeModeFromFrameRate("NTSC Full"), 9);
    EXPECT_EQ(KTime_GetTimeModeFromFrameRate("pal"), 6);
    EXPECT_EQ(KTime_GetTimeModeFromFrameRate(nullptr), 6);
    EXPECT_STREQ(KTime_GetGlobalFrameRateString(7), "30 Drop");
    EXPECT_STREQ(KTime_GetGlobalTimeModeString(8), "NTSC Drop");
    EXPECT_STREQ(KTime_GetTimeModeName(13), "23.976 fps");
    EXPECT_STREQ(KTime_GetTimeModeName(12), "");
    EXPECT_STREQ(KTime_GetGlobalFrameRateString(0), "");
}

TEST_F(KTimeTest, ControlStringList)
{
    const char* expected = "120 fps~100 fps~60 fps~50 fps~48 fps~30 fps~NTSC Drop~NTSC Full~"
                           "PAL~24 fps~23.976 fps";
    char buffer[KTIME_CONTROL_STRING_SIZE];
    EXPECT_STREQ(KTime_GetControlStringList(buffer, 0), expected);
    EXPECT_EQ(strlen(buffer), 85u);
    EXPECT_STREQ(KTimeMode::GetControlStringList(buffer, 1), expected);
    EXPECT_STREQ(KTimeMode::GetControlStringList(buffer, 2), "");
    char small[20];
    EXPECT_STREQ(KTimeMode::GetControlStringList(small, sizeof(small), 0), "120 fps~100 fps~");

    KTime::SetGlobalTimeProtocol(1);
    EXPECT_EQ(KTime_GetFrameRateStringListIndex(13), 10);
    EXPECT_EQ(KTime_GetFrameRateStringListIndex(1), 0);
    EXPECT_EQ(KTime_GetFrameRateStringListIndex(10), 8);
    EXPECT_EQ(KTime_GetFrameRateStringListIndex(12), 0);
    EXPECT_EQ(KTime_GetFrameRateStringListIndex(7), -1);
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

    EXPECT_TRUE(a & KTime(0));
    EXPECT_TRUE(a & KTime(9));
    EXPECT_FALSE(a & KTime(10));
    EXPECT_FALSE(a & KTime(-1));
    const KTimeSpan reversed(10, 0);
    EXPECT_TRUE(reversed & KTime(0));
    EXPECT_FALSE(reversed & KTime(10));
    EXPECT_FALSE(KTimeSpan(4, 4) & KTime(4));

    EXPECT_TRUE(a != KTimeSpan(0, 11));
    EXPECT_TRUE(a != KTimeSpan(1, 10));
    EXPECT_FALSE(a != KTimeSpan(0, 10));
    KTimeSpan b;
    b.Set(3, 4);
    b.SetStop(KTime(9));
    EXPECT_EQ(b.GetStart().Get(), 3);
    EXPECT_EQ(b.GetStop().Get(), 9);
}

TEST_F(KTimeTest, LocalTimeRecord)
{
    kLocalTime t;
    EXPECT_EQ(t.mYear + t.mMonth + t.mDay + t.mHour + t.mMinute + t.mSecond + t.mMillisecond, 0);
    KLib_GetCurrentLocalTime(t);
    EXPECT_GE(t.mYear, 2020);
    EXPECT_TRUE(t.mMonth >= 1 && t.mMonth <= 12);
    EXPECT_TRUE(t.mDay >= 1 && t.mDay <= 31);
    EXPECT_TRUE(t.mHour >= 0 && t.mHour <= 23);
    EXPECT_EQ(t.mMillisecond, 0);
}
