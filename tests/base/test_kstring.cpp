#include "base/kstring.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace {

bool IsInline(const KString& s)
{
    const char* p = s.ToChars();
    const char* self = reinterpret_cast<const char*>(&s);
    return p >= self && p < self + sizeof(KString);
}

// Caps the address space a little above what the process uses now, so that
// a large allocation fails instead of succeeding through overcommit.
void CapAddressSpace()
{
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (256u << 20);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
}

}  // namespace

TEST(KStringState, ConstructionForms)
{
    KString nul(static_cast<const char*>(nullptr));
    EXPECT_FALSE(nul.IsOK());
    EXPECT_EQ(0u, nul.GetLen());
    EXPECT_STREQ("", nul);
    EXPECT_FALSE(KString(nul).IsOK());
    EXPECT_FALSE(KString(nullptr, 3).IsOK());

    EXPECT_STREQ("ab", KString("abc", 2));
    KString zeros("a\0b", 3);
    EXPECT_EQ(3u, zeros.GetLen());
    EXPECT_EQ('b', zeros[2u]);
    EXPECT_STREQ("xxx", KString('x', 3));
    EXPECT_TRUE(KString('x', 0).IsOK());
    EXPECT_TRUE(KString('x', 0).IsEmpty());

    EXPECT_STREQ("-42", KString(-42));
    EXPECT_STREQ("1.500000", KString(1.5f));
    EXPECT_STREQ("-2.250000", KString(-2.25));

    KString e;
    EXPECT_TRUE(e.IsOK());
    EXPECT_TRUE(e.IsEmpty());
    EXPECT_TRUE(kStringEmpty.IsOK());
    EXPECT_STREQ("", kStringEmpty);
}

TEST(KStringState, InlineHeapBoundary)
{
    const std::string t62(62, 'a'), t63(63, 'b');
    KString s62(t62.c_str()), s63(t63.c_str());
    EXPECT_TRUE(IsInline(s62));
    EXPECT_FALSE(IsInline(s63));
    EXPECT_EQ(t63, std::string(s63));

    // Appending across the boundary moves to the heap; a short assignment comes back.
    KString s(t62.c_str());
    s += 'c';
    EXPECT_FALSE(IsInline(s));
    EXPECT_EQ(t62 + "c", std::string(s));
    s = "short";
    EXPECT_TRUE(IsInline(s));
    EXPECT_STREQ("short", s);

    KString copy(s63);
    EXPECT_NE(copy.ToChars(), s63.ToChars());
    EXPECT_EQ(copy, s63);
}

TEST(KStringState, InvalidStateSourcesAndRecovery)
{
    KString s("abc");
    s = static_cast<const char*>(nullptr);
    EXPECT_FALSE(s.IsOK());
    s += "more";  // appending does not revive it
    EXPECT_FALSE(s.IsOK());
    EXPECT_STREQ("", s);
    s = "ok";
    EXPECT_TRUE(s.IsOK());

    EXPECT_FALSE(KString("a").Copy(2, nullptr).IsOK());
    EXPECT_STREQ("ab", KString().Copy(2, "abc"));
    EXPECT_STREQ("abc", KString().Copy(10, "abc"));
    EXPECT_FALSE(KString("a").Append(nullptr).IsOK());
    EXPECT_FALSE(KString("a").AppendN(nullptr, 3).IsOK());
    EXPECT_FALSE(KString("a").AppendN("abc", 0).IsOK());
    EXPECT_STREQ("xab", KString("x").AppendN("ab", 5));
    EXPECT_STREQ("xa", KString("x").AppendN("ab", 1));

    KString bad(static_cast<const char*>(nullptr));
    KString good("g");
    good += bad;
    EXPECT_FALSE(good.IsOK());
    EXPECT_FALSE((KString("a") + bad).IsOK());
    EXPECT_FALSE((bad + KString("a")).IsOK());
    EXPECT_FALSE((KString("a") + static_cast<const char*>(nullptr)).IsOK());

    bad.Empty();
    EXPECT_TRUE(bad.IsOK());
    good.Invalidate();
    EXPECT_FALSE(good.IsOK());
}

TEST(KStringDeathTest, FailedAllocationLeavesInvalidString)
{
    EXPECT_EXIT(
        {
            CapAddressSpace();
            KString big('x', 0x7FFFFFF0u);
            KString grown(std::string(100, 'y').c_str());
            grown.AppendN(std::string(200, 'z').c_str(), 200);
            std::exit(!big.IsOK() && big.GetLen() == 0 && grown.IsOK() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(KStringState, SelfAssignmentAndSelfAppend)
{
    KString s("hello");
    const KString& alias = s;
    s = alias;
    EXPECT_STREQ("hello", s);

    s += s;
    EXPECT_STREQ("hellohello", s);
    s = s.Buffer() + 5;  // from its own text
    EXPECT_STREQ("hello", s);

    const std::string long70(70, 'q');
    KString h(long70.c_str());
    h = alias;  // heap string assigned from another
    h = h;
    EXPECT_STREQ("hello", h);
    KString l(long70.c_str());
    l += l;
    EXPECT_EQ(long70 + long70, std::string(l));
    l = l.Buffer() + 100;
    EXPECT_EQ(std::string(40, 'q'), std::string(l));

    KString moved(std::move(l));
    EXPECT_EQ(std::string(40, 'q'), std::string(moved));
}

TEST(KStringState, AppendsGrowGeometrically)
{
    // Count buffer moves over many one-character appends: geometric growth
    // keeps them logarithmic in the final length.
    KString s;
    std::string expect;
    const char* last = s.ToChars();
    int moves = 0;
    for (int i = 0; i < 20000; ++i)
    {
        const char c = static_cast<char>('a' + i % 26);
        s += c;
        expect += c;
        if (s.ToChars() != last)
            ++moves, last = s.ToChars();
    }
    EXPECT_EQ(expect, std::string(s));
    EXPECT_LE(moves, 20);
}

TEST(KStringAccess, IndexOperators)
{
    KString s("abc");
    s[1u] = 'X';
    EXPECT_STREQ("aXc", s);
    const KString& cs = s;
    EXPECT_EQ('c', cs[2u]);
    EXPECT_EQ(0, cs[3u]);
    EXPECT_EQ(0, cs[100]);

    // Past the end: a scratch character of this string, reset to NUL on every call.
    char& scratch = s[10u];
    EXPECT_EQ(0, scratch);
    scratch = 'Z';
    EXPECT_STREQ("aXc", s);
    EXPECT_EQ(3u, s.GetLen());
    EXPECT_EQ(0, s[11u]);

    // Another string's scratch is not shared.
    KString other("q");
    char& mine = s[20u];
    mine = 'M';
    EXPECT_EQ(0, other[5u]);
    EXPECT_EQ('M', mine);
}

TEST(KStringAppend, NumbersAndConcatenation)
{
    KString s("n=");
    s += -17;
    EXPECT_STREQ("n=-17", s);
    s += 0.5f;
    EXPECT_STREQ("n=-170.500000", s);
    EXPECT_STREQ("abc5", KString("abc") + 5);
    EXPECT_STREQ("abcx", KString("abc") + 'x');
    EXPECT_STREQ("abcdef", KString("abc") + "def");
    EXPECT_STREQ("abc0.250000", KString("abc") + 0.25f);
    EXPECT_STREQ("abcdef", KString("abc") + KString("def"));

    KString c;
    c = 'q';
    EXPECT_STREQ("q", c);
    c = '\0';
    EXPECT_EQ(1u, c.GetLen());
    c = 12;
    EXPECT_STREQ("12", c);
    c = 3.0;
    EXPECT_STREQ("3.000000", c);
}

TEST(KStringAppend, LargeDoublesAreFormattedWhole)
{
    // "%f" texts longer than 63 characters are kept whole.
    const double values[] = {1e56, -1e100, 1e300};
    for (double v : values)
    {
        char expect[512];
        std::snprintf(expect, sizeof expect, "%f", v);
        ASSERT_GT(std::strlen(expect), 63u);
        EXPECT_STREQ(expect, KString(v));
        KString a;
        a = v;
        EXPECT_STREQ(expect, a);
    }
}

TEST(KStringSearch, FindForms)
{
    KString s("abcabc");
    EXPECT_EQ(2, s.Find('c'));
    EXPECT_EQ(5, s.Find('c', 3));
    EXPECT_EQ(-1, KString("abc").Find('c', 10));
    EXPECT_EQ(6, s.Find('\0'));
    EXPECT_EQ(5, s.ReverseFind('c'));
    EXPECT_EQ(-1, s.ReverseFind('z'));
    EXPECT_EQ(-1, KString("abc").Find("xyz", 0));
    EXPECT_EQ(0, KString("abc").Find(static_cast<const char*>(nullptr), 0));
    EXPECT_EQ(3, s.Find("ab", 1));
    EXPECT_EQ(-1, s.Find("ab", 100));
    EXPECT_EQ(-1, KString("abc").FindOneOf(nullptr, 0));
    EXPECT_EQ(1, s.FindOneOf("cb", 0));
    EXPECT_EQ(4, s.FindOneOf("cb", 3));
    EXPECT_EQ(-1, s.FindOneOf("", 0));

    EXPECT_TRUE(KString::IsIn('b', "abc"));
    EXPECT_FALSE(KString::IsIn('d', "abc"));
    EXPECT_FALSE(KString::IsIn('a', ""));
    EXPECT_FALSE(KString::IsIn('a', nullptr));
}

TEST(KStringSearch, FindAndReplace)
{
    KString s("a b c");
    EXPECT_TRUE(s.FindAndReplace(" ", "_", 0));
    EXPECT_STREQ("a_b c", s);
    while (s.FindAndReplace(" ", "_", 0))
    {
    }
    EXPECT_STREQ("a_b_c", s);
    EXPECT_FALSE(s.FindAndReplace("zz", "y", 0));
    EXPECT_TRUE(s.FindAndReplace("_", "---", 2));
    EXPECT_STREQ("a_b---c", s);
    EXPECT_TRUE(s.FindAndReplace("---", nullptr, 0));
    EXPECT_STREQ("a_bc", s);
    EXPECT_FALSE(s.FindAndReplace("", "x", 0));
    EXPECT_FALSE(s.FindAndReplace(nullptr, "x", 0));
    EXPECT_STREQ("a_bc", s);

    // Matches and results beyond 4,095 characters are handled in full.
    std::string big(4096, '.');
    big += "needle";
    KString b(big.c_str());
    EXPECT_TRUE(b.FindAndReplace("needle", std::string(5000, 'N').c_str(), 0));
    EXPECT_EQ(std::string(4096, '.') + std::string(5000, 'N'), std::string(b));
}

TEST(KStringSearch, Tokens)
{
    KString s(",a,, b ,");
    EXPECT_EQ(2, s.GetTokenCount(" ,"));
    EXPECT_STREQ("a", s.GetToken(0, " ,"));
    EXPECT_STREQ("b", s.GetToken(1, " ,"));
    EXPECT_STREQ("", s.GetToken(2, " ,"));
    EXPECT_STREQ("", s.GetToken(-1, " ,"));
    EXPECT_TRUE(s.GetToken(2, " ,").IsOK());

    KString words("v 1.0 2.5\t3");
    EXPECT_EQ(4, words.GetTokenCount(" \t"));
    EXPECT_STREQ("3", words.GetToken(3, " \t"));
    EXPECT_EQ(1, words.GetTokenCount(nullptr));
    EXPECT_STREQ("v 1.0 2.5\t3", words.GetToken(0, nullptr));
    EXPECT_EQ(0, KString("").GetTokenCount(","));
    EXPECT_EQ(0, KString(static_cast<const char*>(nullptr)).GetTokenCount(","));
    EXPECT_EQ(0, KString(",,,").GetTokenCount(","));

    // Interleaved calls on two strings keep their own positions.
    KString x("1 2 3"), y("a b c");
    EXPECT_STREQ("2", x.GetToken(1, " "));
    EXPECT_STREQ("c", y.GetToken(2, " "));
    EXPECT_STREQ("3", x.GetToken(2, " "));
}

TEST(KStringCompare, Ordering)
{
    KString abc("abc");
    EXPECT_EQ(0, abc.CompareNoCase("ABC"));
    EXPECT_FALSE(abc == "ABC");
    EXPECT_FALSE(abc == KString("ABC"));
    EXPECT_TRUE(abc == "abc");
    EXPECT_TRUE(abc != "abd");
    EXPECT_LT(abc.Compare("abd"), 0);
    EXPECT_GT(abc.Compare(nullptr), 0);
    EXPECT_EQ(0, KString().Compare(nullptr));
    EXPECT_LT(abc.CompareNoCase("ABD"), 0);
    EXPECT_GT(KString("b").CompareNoCase("A"), 0);
    EXPECT_TRUE(abc < "abd");
    EXPECT_TRUE(abc <= KString("abc"));
    EXPECT_TRUE(abc >= "ab");
    EXPECT_TRUE(abc > KString("ab"));
    EXPECT_TRUE(KString("\xC3") > "a");  // bytes compare unsigned, as strcmp
}

TEST(KStringCopies, Extraction)
{
    KString five("abcde");
    EXPECT_TRUE(five.Mid(5).IsOK());
    EXPECT_STREQ("", five.Mid(5));
    EXPECT_FALSE(five.Mid(6).IsOK());
    EXPECT_STREQ("cd", five.Mid(2, 2));
    EXPECT_STREQ("cde", five.Mid(2, 100));
    EXPECT_FALSE(five.Mid(1, 0x80000000u).IsOK());
    KString abc("abc");
    EXPECT_STREQ("abc", abc.Left(100));
    EXPECT_STREQ("ab", abc.Left(2));
    EXPECT_STREQ("bc", abc.Right(2));
    EXPECT_STREQ("abc", abc.Right(5));
    EXPECT_FALSE(KString(static_cast<const char*>(nullptr)).Left(1).IsOK());

    EXPECT_STREQ("ABC1", KString("aBc1").Upper());
    EXPECT_STREQ("abc1", KString("aBC1").Lower());
    EXPECT_STREQ("cba", abc.Reverse());
    EXPECT_STREQ("abc", abc);
}

TEST(KStringCopies, PadAndUnPad)
{
    KString abc("abc");
    EXPECT_STREQ("**abc**", abc.Pad(KString::eBoth, 7, '*'));
    EXPECT_STREQ("*abc**", abc.Pad(KString::eBoth, 6, '*'));
    EXPECT_STREQ("ab", abc.Pad(KString::eRight, 2, ' '));
    EXPECT_STREQ("abc--", abc.Pad(KString::eRight, 5, '-'));
    EXPECT_STREQ("--abc", abc.Pad(KString::eLeft, 5, '-'));
    EXPECT_STREQ("abc", abc.Pad(static_cast<KString::PaddingType>(7), 5, '-'));
    EXPECT_EQ(std::string(70, '0') + "abc", std::string(abc.Pad(KString::eLeft, 73, '0')));

    KString sp("  a  ");
    EXPECT_STREQ("a  ", sp.UnPad(KString::eLeft));
    EXPECT_STREQ("  a", sp.UnPad(KString::eRight));
    EXPECT_STREQ("a", KString("\t a \n").UnPad(KString::eBoth));
    EXPECT_STREQ("", KString("   ").UnPad(KString::eBoth));
    EXPECT_FALSE(KString(static_cast<const char*>(nullptr)).UnPad(KString::eBoth).IsOK());
}

TEST(KStringCopies, LineEnds)
{
    EXPECT_STREQ("a\r\nb", KString("a\nb").ConvertToWindows());
    EXPECT_STREQ("a\r\nb\r\n", KString("a\r\nb\n").ConvertToWindows());
    EXPECT_STREQ("\r\n\r\n", KString("\n\n").ConvertToWindows());
    EXPECT_STREQ("a\nb", KString("a\r\nb").ConvertToUnix());
    EXPECT_STREQ("\r\n\nx\r", KString("\r\r\n\r\nx\r").ConvertToUnix());
    KString bad(static_cast<const char*>(nullptr));
    EXPECT_TRUE(bad.ConvertToUnix().IsOK());
    EXPECT_TRUE(bad.ConvertToWindows().IsOK());
}

TEST(KStringUtf8, ToAnsi)
{
    char out[16];
    UTF8_to_ANSI("\xC3\xA9x", out, sizeof out, '?');
    EXPECT_STREQ("?x", out);
    std::memset(out, 'Q', sizeof out);
    UTF8_to_ANSI("\xC3\xA9x", out, 1, '?');
    EXPECT_STREQ("", out);
    std::memset(out, 'Q', sizeof out);
    UTF8_to_ANSI("abc", out, 0, '?');
    EXPECT_EQ('Q', out[0]);
    // Four-byte sequence, stray continuation byte, truncation to dstSize - 1.
    UTF8_to_ANSI("a\xF0\x9F\x98\x80" "b\x80" "c", out, sizeof out, '#');
    EXPECT_STREQ("a#b\x80" "c", out);
    UTF8_to_ANSI("abcdef", out, 4, '#');
    EXPECT_STREQ("abc", out);
}
