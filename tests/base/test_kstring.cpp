#include "base/kstring.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "test_util.h"

namespace {

bool IsInline(const KString& s)
{
    const char* p = s.ToChars();
    return p >= reinterpret_cast<const char*>(&s) && p < reinterpret_cast<const char*>(&s) + sizeof(KString);
}

const char* const kNull = nullptr;

} // namespace

TEST(KStringState, ConstructionFormsAndInlineHeapBoundary)
{
    EXPECT_STREQ("ab", KString("abc", 2));
    KString zeros("a\0b", 3);
    EXPECT_EQ(3u, zeros.GetLen());
    EXPECT_EQ('b', zeros[2u]);
    EXPECT_STREQ("xxx", KString('x', 3));
    EXPECT_STREQ("1.500000", KString(1.5f));
    EXPECT_STREQ("abc5-2.250000x", KString("abc") + 5 + KString(-2.25) + 'x');
    // "%f" texts longer than the inline area are kept whole.
    for (double v : {1e56, -1e100, 1e300})
    {
        char expect[512];
        std::snprintf(expect, sizeof expect, "%f", v);
        KString a;
        a = v;
        EXPECT_STREQ(expect, a);
    }

    const std::string t62(62, 'a'), t63(63, 'b');
    KString s62(t62.c_str()), s63(t63.c_str());
    EXPECT_TRUE(IsInline(s62));
    EXPECT_FALSE(IsInline(s63));
    EXPECT_EQ(t63, std::string(s63));
    s62 += 'c'; // across the boundary by appending, and back by assigning
    EXPECT_FALSE(IsInline(s62));
    EXPECT_EQ(t62 + "c", std::string(s62));
    s62 = "short";
    EXPECT_TRUE(IsInline(s62));
    KString copy(s63);
    EXPECT_NE(copy.ToChars(), s63.ToChars());
    EXPECT_EQ(copy, s63);
    // Appending one character at a time moves the buffer a logarithmic number of times.
    KString grown;
    const char* last = grown.ToChars();
    int moves = 0;
    for (int i = 0; i < 20000; ++i)
    {
        grown += static_cast<char>('a' + i % 26);
        if (grown.ToChars() != last)
            ++moves, last = grown.ToChars();
    }
    EXPECT_EQ(20000u, grown.GetLen());
    EXPECT_EQ('z', grown[25u]);
    EXPECT_EQ('f', grown[19999u]);
    EXPECT_LE(moves, 20);
}

// The allocated size: none for a new, emptied or invalid string; an
// assignment allocates exactly its length, inline or on the heap; an append
// inline fits the new length, one on the heap may keep room ahead.
TEST(KStringState, AllocatedSizeFollowsTheBuffer)
{
    KString fresh;
    EXPECT_EQ(0u, fresh.GetAllocatedSize());
    EXPECT_EQ(0u, kStringEmpty.GetAllocatedSize());
    EXPECT_EQ(0u, KString("").GetAllocatedSize());
    KString s("abc");
    EXPECT_EQ(3u, s.GetAllocatedSize());
    s += 'd';
    EXPECT_EQ(4u, s.GetAllocatedSize());
    EXPECT_TRUE(IsInline(s));
    s.Empty();
    EXPECT_EQ(0u, s.GetAllocatedSize());
    s = "xy";
    s.Invalidate();
    EXPECT_EQ(0u, s.GetAllocatedSize());
    EXPECT_EQ(0u, KString(kNull).GetAllocatedSize());
    const std::string t63(63, 'h');
    KString heap(t63.c_str());
    EXPECT_EQ(63u, heap.GetAllocatedSize());
    heap += 'i';
    EXPECT_GE(heap.GetAllocatedSize(), 64u);
    heap = "short";
    EXPECT_EQ(5u, heap.GetAllocatedSize());
    KString moved(std::move(s = "moved"));
    EXPECT_EQ(5u, moved.GetAllocatedSize());
    EXPECT_EQ(0u, s.GetAllocatedSize());
}

TEST(KStringState, InvalidStateSourcesAndRecovery)
{
    EXPECT_FALSE(KString(kNull).IsOK());
    EXPECT_FALSE(KString(KString(kNull)).IsOK());
    EXPECT_FALSE(KString(nullptr, 3).IsOK());
    KString s("abc");
    s = kNull;
    s += "more"; // appending does not revive it
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
    KString bad(kNull), good("g");
    good += bad;
    EXPECT_FALSE(good.IsOK());
    EXPECT_FALSE((KString("a") + bad).IsOK());
    EXPECT_FALSE((bad + KString("a")).IsOK());
    EXPECT_FALSE((KString("a") + kNull).IsOK());
    bad.Empty();
    EXPECT_TRUE(bad.IsOK());
}

TEST(KStringDeathTest, FailedAllocationLeavesInvalidString)
{
    EXPECT_EXIT(
        {
            qoxtest::CapAddressSpace();
            KString big('x', 0x7FFFFFF0u);
            KString grown(std::string(100, 'y').c_str());
            grown.AppendN(std::string(200, 'z').c_str(), 200);
            std::exit(!big.IsOK() && big.GetLen() == 0 && grown.IsOK() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(KStringState, SelfAssignmentIndexingAndMoves)
{
    KString s("hello");
    const KString& alias = s;
    s = alias;
    s += s;
    EXPECT_STREQ("hellohello", s);
    s = s.Buffer() + 5; // from its own text
    EXPECT_STREQ("hello", s);
    const std::string q70(70, 'q');
    KString l(q70.c_str());
    l = l;
    l += l;
    EXPECT_EQ(q70 + q70, std::string(l));
    l = l.Buffer() + 100;
    KString moved(std::move(l));
    EXPECT_EQ(std::string(40, 'q'), std::string(moved));
    // Past the end: a scratch character of this string, NUL again on every call.
    s[1u] = 'X';
    char& scratch = s[10u];
    scratch = 'Z';
    EXPECT_STREQ("hXllo", s);
    EXPECT_EQ(0, s[11u]);
    EXPECT_EQ(0, static_cast<const KString&>(s)[5u]);
}

TEST(KStringSearch, FindForms)
{
    KString s("abcabc");
    EXPECT_EQ(5, s.Find('c', 3));
    EXPECT_EQ(-1, s.Find('c', 10));
    EXPECT_EQ(6, s.Find('\0'));
    EXPECT_EQ(5, s.ReverseFind('c'));
    EXPECT_EQ(0, s.Find(kNull, 0));
    EXPECT_EQ(3, s.Find("ab", 1));
    EXPECT_EQ(-1, s.Find("ab", 100));
    EXPECT_EQ(-1, s.FindOneOf(nullptr, 0));
    EXPECT_EQ(4, s.FindOneOf("cb", 3));
    EXPECT_EQ(-1, s.FindOneOf("", 0));
    EXPECT_FALSE(KString::IsIn('a', nullptr));
}

TEST(KStringSearch, FindAndReplace)
{
    KString s("a b c");
    EXPECT_TRUE(s.FindAndReplace(" ", "_", 0));
    EXPECT_STREQ("a_b c", s);
    EXPECT_FALSE(s.FindAndReplace("zz", "y", 0));
    EXPECT_TRUE(s.FindAndReplace(" ", "---", 2));
    EXPECT_STREQ("a_b---c", s);
    EXPECT_TRUE(s.FindAndReplace("---", nullptr, 0));
    EXPECT_FALSE(s.FindAndReplace("", "x", 0));
    EXPECT_FALSE(s.FindAndReplace(nullptr, "x", 0));
    EXPECT_STREQ("a_bc", s);
    // Matches and results beyond 4,095 characters are handled in full.
    KString b((std::string(4096, '.') + "needle").c_str());
    EXPECT_TRUE(b.FindAndReplace("needle", std::string(5000, 'N').c_str(), 0));
    EXPECT_EQ(std::string(4096, '.') + std::string(5000, 'N'), std::string(b));
}

TEST(KStringSearch, Tokens)
{
    KString s(",a,, b ,");
    EXPECT_EQ(2, s.GetTokenCount(" ,"));
    EXPECT_STREQ("b", s.GetToken(1, " ,"));
    EXPECT_STREQ("", s.GetToken(2, " ,"));
    EXPECT_STREQ("", s.GetToken(-1, " ,"));
    EXPECT_TRUE(s.GetToken(2, " ,").IsOK());
    KString words("v 1.0 2.5\t3");
    EXPECT_EQ(4, words.GetTokenCount(" \t"));
    EXPECT_EQ(1, words.GetTokenCount(nullptr));
    EXPECT_STREQ("v 1.0 2.5\t3", words.GetToken(0, nullptr));
    EXPECT_EQ(0, KString(kNull).GetTokenCount(","));
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
    EXPECT_FALSE(abc == KString("ABC"));
    EXPECT_LT(abc.Compare("abd"), 0);
    EXPECT_GT(abc.Compare(nullptr), 0);
    EXPECT_EQ(0, KString().Compare(nullptr));
    EXPECT_GT(KString("b").CompareNoCase("A"), 0);
    EXPECT_TRUE(abc < "abd" && abc <= KString("abc") && abc >= "ab" && abc > KString("ab") && abc != "abd");
    EXPECT_TRUE(KString("\xC3") > "a"); // bytes compare unsigned, as strcmp
}

TEST(KStringCopies, ExtractionPaddingAndLineEnds)
{
    KString five("abcde"), abc("abc");
    EXPECT_TRUE(five.Mid(5).IsOK());
    EXPECT_STREQ("", five.Mid(5));
    EXPECT_FALSE(five.Mid(6).IsOK());
    EXPECT_STREQ("cde", five.Mid(2, 100));
    EXPECT_FALSE(five.Mid(1, 0x80000000u).IsOK());
    EXPECT_STREQ("abc", abc.Left(100));
    EXPECT_STREQ("bc", abc.Right(2));
    EXPECT_STREQ("abc", abc.Right(5));
    EXPECT_FALSE(KString(kNull).Left(1).IsOK());
    EXPECT_STREQ("cba", abc.Reverse());
    EXPECT_STREQ("abc", abc); // copies: the string itself is unchanged

    EXPECT_STREQ("**abc**", abc.Pad(KString::eBoth, 7, '*'));
    EXPECT_STREQ("*abc**", abc.Pad(KString::eBoth, 6, '*'));
    EXPECT_STREQ("ab", abc.Pad(KString::eRight, 2, ' '));
    EXPECT_STREQ("--abc", abc.Pad(KString::eLeft, 5, '-'));
    EXPECT_STREQ("abc", abc.Pad(static_cast<KString::PaddingType>(7), 5, '-'));
    EXPECT_EQ(std::string(70, '0') + "abc", std::string(abc.Pad(KString::eLeft, 73, '0')));
    EXPECT_STREQ("a  ", KString("  a  ").UnPad(KString::eLeft));
    EXPECT_STREQ("  a", KString("  a  ").UnPad(KString::eRight));
    EXPECT_STREQ("a", KString("\t a \n").UnPad(KString::eBoth));
    EXPECT_STREQ("", KString("   ").UnPad(KString::eBoth));
    EXPECT_FALSE(KString(kNull).UnPad(KString::eBoth).IsOK());

    EXPECT_STREQ("a\r\nb\r\n", KString("a\r\nb\n").ConvertToWindows());
    EXPECT_STREQ("\r\n\nx\r", KString("\r\r\n\r\nx\r").ConvertToUnix());
    EXPECT_TRUE(KString(kNull).ConvertToUnix().IsOK());
}

TEST(KStringUtf8, ToAnsi)
{
    char out[16];
    UTF8_to_ANSI("\xC3\xA9x", out, sizeof out, '?');
    EXPECT_STREQ("?x", out);
    UTF8_to_ANSI("\xC3\xA9x", out, 1, '?');
    EXPECT_STREQ("", out);
    std::memset(out, 'Q', sizeof out);
    UTF8_to_ANSI("abc", out, 0, '?');
    EXPECT_EQ('Q', out[0]);
    // Four-byte sequence, stray continuation byte, truncation to dstSize - 1.
    UTF8_to_ANSI("a\xF0\x9F\x98\x80"
                 "b\x80"
                 "c",
                 out, sizeof out, '#');
    EXPECT_STREQ("a#b\x80"
                 "c",
                 out);
    UTF8_to_ANSI("abcdef", out, 4, '#');
    EXPECT_STREQ("abc", out);
}
