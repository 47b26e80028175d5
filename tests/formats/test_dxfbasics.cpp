// DXF group pairs read in place, colour numbers both ways, and the DXF
// option set.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/dxf/kqoxdxfcolor.h"
#include "formats/dxf/kqoxdxfpairs.h"
#include "formats/dxf/kqoxdxfweld.h"
#include "formats/kqoxstreamoptionsgeometry.h"

using namespace qoxsdk_600;

namespace {

struct Pair
{
    int code;
    std::string value;
};

// Every pair up to the first failed read, and whether one failed.
std::vector<Pair> ReadAll(const std::string& text)
{
    KDxfPairReader reader(text.data(), text.size());
    std::vector<Pair> pairs;
    int code = -1;
    std::string_view value;
    while (reader.Next(code, value))
        pairs.push_back({code, std::string(value)});
    return pairs;
}

} // namespace

TEST(DxfPairs, LineEndsBlanksAndTheLastLine)
{
    struct Case
    {
        const char* text;
        std::vector<Pair> expected;
    };
    const Case cases[] = {
        {"  0\nSECTION\n  2\nENTITIES\n", {{0, "SECTION"}, {2, "ENTITIES"}}},
        {"  0\r\nSECTION\r\n  8\r\n  Walls  \r\n", {{0, "SECTION"}, {8, "Walls"}}},
        // A value keeps its inner blanks; blanks and CR around it go.
        {"  2\nMy Block\n", {{2, "My Block"}}},
        {"  8\r\n \tWall  North \t\r\n  0\r\nEOF\r\n", {{8, "Wall  North"}, {0, "EOF"}}},
        {"  1\nA\n  1\n  \t \r\n", {{1, "A"}, {1, "A"}}},
        // A value line without a final line break is a failed read.
        {"  0\nSECTION\n  0\nEOF", {{0, "SECTION"}}},
        // A code line without a number keeps the code; an empty value line
        // keeps the value.
        {" 10\n1.5\nxx\n\n", {{10, "1.5"}, {10, "1.5"}}},
        {"", {}},
        {"  0\n", {}},
        // Code lines of other forms: tabs, signs, long and overflowing numbers.
        {"\t 62\r\n5\n-5\nA\n+7 x\nB\n1234567890\nC\n99999999999\nD\n",
         {{62, "5"}, {-5, "A"}, {7, "B"}, {1234567890, "C"}, {1234567890, "D"}}},
    };
    for (const Case& c : cases)
    {
        const std::vector<Pair> pairs = ReadAll(c.text);
        ASSERT_EQ(pairs.size(), c.expected.size()) << c.text;
        for (size_t i = 0; i < pairs.size(); ++i)
        {
            EXPECT_EQ(pairs[i].code, c.expected[i].code) << c.text;
            EXPECT_EQ(pairs[i].value, c.expected[i].value) << c.text;
        }
    }
}

TEST(DxfPairs, LongLinesShiftThePairingAndSeekGoesBack)
{
    const std::string longValue(kDxfLineMax + 5, 'A');
    const std::string text = "  2\n" + longValue + "\n  0\nEOF\n";
    const std::vector<Pair> pairs = ReadAll(text);
    // The long line is read as two, so "  0" becomes a value.
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].value, std::string(kDxfLineMax, 'A'));
    EXPECT_EQ(pairs[1].value, "0");

    const std::string small = "  0\nLINE\n  8\nA\n";
    KDxfPairReader reader(small.data(), small.size());
    int code = 0;
    std::string_view value;
    ASSERT_TRUE(reader.Next(code, value));
    const size_t mark = reader.Tell();
    ASSERT_TRUE(reader.Next(code, value));
    EXPECT_EQ(value, "A");
    reader.Seek(mark);
    ASSERT_TRUE(reader.Next(code, value));
    EXPECT_EQ(code, 8);
    reader.Seek(1u << 30);
    EXPECT_FALSE(reader.Next(code, value));
}

TEST(DxfPairs, ValueLinesAtTheLengthLimit)
{
    // A value line one short of the limit is whole; one at the limit is cut
    // there, and its line break then reads as an empty code line.
    const std::string shorter(kDxfLineMax - 1, 'A');
    std::vector<Pair> pairs = ReadAll("  2\n" + shorter + "\n  0\nEOF\n");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].value, shorter);
    EXPECT_EQ(pairs[1].code, 0);
    EXPECT_EQ(pairs[1].value, "EOF");
    const std::string atLimit(kDxfLineMax, 'A');
    pairs = ReadAll("  2\r\n" + atLimit + "\n  0\nEOF\n");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].value, atLimit);
    EXPECT_EQ(pairs[1].code, 2);
    EXPECT_EQ(pairs[1].value, "0");
}

TEST(DxfPairs, CrlfPairsGiveTheirNumbers)
{
    // Files from Windows end every line with CR LF: codes, names and plain
    // numbers read as they do with LF alone.
    const std::string text = "  0\r\n3DFACE\r\n  8\r\nWall North\r\n 10\r\n-1.25\r\n 62\r\n7\r\n";
    KDxfPairReader reader(text.data(), text.size());
    int code = -1;
    std::string_view value;
    double number = 0;
    bool plain = true;
    ASSERT_TRUE(reader.NextWithNumber(code, value, number, plain));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(value, "3DFACE");
    EXPECT_FALSE(plain);
    ASSERT_TRUE(reader.NextWithNumber(code, value, number, plain));
    EXPECT_EQ(code, 8);
    EXPECT_EQ(value, "Wall North");
    ASSERT_TRUE(reader.NextWithNumber(code, value, number, plain));
    EXPECT_EQ(code, 10);
    EXPECT_EQ(value, "-1.25");
    EXPECT_TRUE(plain);
    EXPECT_EQ(number, -1.25);
    ASSERT_TRUE(reader.NextWithNumber(code, value, number, plain));
    EXPECT_EQ(code, 62);
    EXPECT_EQ(number, 7.0);
    EXPECT_EQ(reader.Tell(), text.size());
    EXPECT_FALSE(reader.NextWithNumber(code, value, number, plain));
}

TEST(DxfPairs, NumbersScanLikeScanf)
{
    int i = 7;
    EXPECT_TRUE(DxfScanInt("  -62x", i));
    EXPECT_EQ(i, -62);
    EXPECT_FALSE(DxfScanInt("abc", i));
    EXPECT_FALSE(DxfScanInt("99999999999", i));
    EXPECT_FALSE(DxfScanInt("-", i));
    EXPECT_EQ(i, -62);
    EXPECT_TRUE(DxfScanInt("-2147483648", i));
    EXPECT_EQ(i, -2147483647 - 1);

    double d = 3;
    EXPECT_TRUE(DxfScanDouble("1.25e2", d));
    EXPECT_EQ(d, 125.0);
    EXPECT_FALSE(DxfScanDouble("", d));
    EXPECT_FALSE(DxfScanDouble(std::string_view(), d));
    EXPECT_FALSE(DxfScanDouble("x1", d));
    EXPECT_EQ(d, 125.0);
    EXPECT_TRUE(DxfScanDouble(std::string(100, '1'), d));
    EXPECT_GT(d, 1e99);
}

TEST(DxfColor, NumberToRgb)
{
    struct Case
    {
        int number;
        double r, g, b;
    };
    const Case cases[] = {
        {1, 1, 0, 0},
        {8, 0.502, 0.502, 0.502},
        {10, 1, 0, 0},
        {11, 1, 0.5, 0.5},
        {12, 0.65, 0, 0},
        {30, 1, 0.5, 0},
        {50, 1, 1, 0},
        {130, 0, 1, 1},
        {210, 1, 0, 1},
        {240, 1, 0, 0.25},
        {249, 0.15, 0.075, 0.09375},
        {250, 0.33, 0.33, 0.33},
        {252, 0.598, 0.598, 0.598},
        {255, 1, 1, 1},
    };
    for (const Case& c : cases)
    {
        double rgb[3] = {-1, -1, -1};
        ASSERT_TRUE(DxfColorToRgb(c.number, rgb)) << c.number;
        EXPECT_NEAR(rgb[0], c.r, 1e-12) << c.number;
        EXPECT_NEAR(rgb[1], c.g, 1e-12) << c.number;
        EXPECT_NEAR(rgb[2], c.b, 1e-12) << c.number;
    }
    for (int outside : {0, -1, 256, 1000, -2147483647 - 1})
    {
        double rgb[3] = {1, 1, 1};
        EXPECT_FALSE(DxfColorToRgb(outside, rgb));
        EXPECT_EQ(rgb[0], 1.0);
    }
}

TEST(DxfColor, RgbToNumberAndBack)
{
    struct Case
    {
        double r, g, b;
        int number;
    };
    const Case cases[] = {
        {1, 0, 0, 1},      {0, 0, 0, 250},       {1, 0.5, 0, 30},      {0.5, 0, 0, 14},
        {1, 0.6, 0.6, 11}, {0.5, 0.5, 0.5, 251}, {0.1, 0.1, 0.1, 250}, {0.95, 0.95, 0.95, 255},
        {1, 1, 0.5, 51},   {0, 0, 0.3, 176},     {0.2, 1, 0.1, 90},    {1, 0, 0.9, 210},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DxfColorFromRgb(c.r, c.g, c.b), c.number) << c.r << " " << c.g << " " << c.b;

    // Every saturated hue of full value comes back as its own number; the
    // six pure hues are the named colours 1 to 6.
    for (int number = 10; number < 250; number += 10)
    {
        if ((number - 10) % 40 == 0)
            continue;
        double rgb[3];
        ASSERT_TRUE(DxfColorToRgb(number, rgb));
        EXPECT_EQ(DxfColorFromRgb(rgb[0], rgb[1], rgb[2]), number) << number;
    }
}

TEST(DxfColor, EveryNumberComesBackAsItsColour)
{
    // Numbers sharing an RGB (1 and 10, the greys) may come back as each
    // other, but the colour itself always survives the round trip.
    for (int number = 1; number <= 255; ++number)
    {
        double rgb[3], back[3];
        ASSERT_TRUE(DxfColorToRgb(number, rgb));
        const int found = DxfColorFromRgb(rgb[0], rgb[1], rgb[2]);
        ASSERT_TRUE(DxfColorToRgb(found, back)) << number << " -> " << found;
        EXPECT_EQ(back[0], rgb[0]) << number << " -> " << found;
        EXPECT_EQ(back[1], rgb[1]) << number << " -> " << found;
        EXPECT_EQ(back[2], rgb[2]) << number << " -> " << found;
    }
}

TEST(DxfOptions, DefaultsAndObjectDerivation)
{
    KStreamOptionsDxf options;
    EXPECT_TRUE(options.Is(KStreamOptionsDxf::ClassId));
    EXPECT_TRUE(options.Is(KStreamOptionsBase::ClassId));
    EXPECT_FALSE(options.Is(KStreamOptionsObj::ClassId));
    const int defaults[] = {0, 1, 1, 1, 1, 0, 0};
    for (int option = 1; option <= 6; ++option)
        EXPECT_EQ(options.GetOption(option), defaults[option]) << option;
    EXPECT_STREQ(options.GetOptionName(4), "Weld Vertices");
    EXPECT_STREQ(options.GetOptionName(6), "Layer~Block~Entity");
    EXPECT_STREQ(options.GetOptionName(2), "Force Triangulation");

    EXPECT_EQ(options.GetObjectDerivation(), KStreamOptionsDxf::eBY_LAYER);
    const int entries[] = {1, 7, 2, -1, 0};
    const KStreamOptionsDxf::EObjectDerivation expected[] = {
        KStreamOptionsDxf::eBY_BLOCK, KStreamOptionsDxf::eBY_BLOCK, KStreamOptionsDxf::eBY_ENTITY,
        KStreamOptionsDxf::eBY_ENTITY, KStreamOptionsDxf::eBY_LAYER};
    for (size_t i = 0; i < 5; ++i)
    {
        options.SetOption(6, entries[i]);
        EXPECT_EQ(options.GetObjectDerivation(), expected[i]) << entries[i];
    }
}

TEST(DxfWeld, SameAnswerAsSearchingFromTheFirstPoint)
{
    // Points on and around cell edges, at huge and tiny magnitudes, and
    // non-finite ones; every query is checked against the plain search.
    KDxfPoints points;
    KDxfWeldIndex index;
    const double bases[] = {0, 1, -1, 5e-6, 1e-5, -1e-5, 123456.789, 1e12, 1e-300};
    const double nudges[] = {0, 0.5e-6, -0.5e-6, 0.99e-6, 1.01e-6, 2e-6, -3e-6};
    unsigned seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    auto linear = [&](const KQoxVector4& p) {
        for (size_t i = 0; i < points.size(); ++i)
            if (std::fabs(points[i][0] - p[0]) <= 1e-6 && std::fabs(points[i][1] - p[1]) <= 1e-6 &&
                std::fabs(points[i][2] - p[2]) <= 1e-6)
                return static_cast<int>(i);
        return -1;
    };
    for (int round = 0; round < 4000; ++round)
    {
        KQoxVector4 p(bases[next() % 9] + nudges[next() % 7], bases[next() % 9] + nudges[next() % 7],
                      bases[next() % 9] + nudges[next() % 7]);
        if (round % 500 == 0)
            p[next() % 3] = round % 1000 ? NAN : INFINITY;
        const int expected = linear(p);
        ASSERT_EQ(index.Find(points, p), expected) << round;
        const int choice = next() % 3;
        if (choice == 1)
        {
            index.Add(p, static_cast<int>(points.size()));
            points.push_back(p);
        }
        else if (choice == 2)
        {
            // The one-step form: the same index found, or the point added.
            const size_t before = points.size();
            const int got = index.FindOrAdd(points, p);
            ASSERT_EQ(got, expected >= 0 ? expected : static_cast<int>(before)) << round;
            ASSERT_EQ(points.size(), before + (expected >= 0 ? 0 : 1)) << round;
        }
    }
}

TEST(DxfPairs, RealsReadBackAsTheSameDouble)
{
    // Fixed notation where six decimals or fewer say it, the shortest form
    // otherwise; every text reads back as the very double, with no more
    // significant digits than std::to_chars's shortest form.
    struct Case
    {
        double value;
        const char* text;
    };
    const Case cases[] = {{0.0, "0"},
                          {-0.0, "-0"},
                          {1.0, "1"},
                          {-3.0, "-3"},
                          {100000.0, "100000"},
                          {12.5, "12.5"},
                          {0.1, "0.1"},
                          {-0.000001, "-0.000001"},
                          {123.456, "123.456"},
                          {999999999.5, "999999999.5"},
                          {1e9, "1e+09"},
                          {1.0 / 3.0, "0.3333333333333333"},
                          {1e-7, "1e-07"},
                          {2.5e17, "2.5e+17"},
                          // Whole numbers below 1e9 in fixed notation.
                          {999999999.0, "999999999"},
                          {-999999999.0, "-999999999"},
                          {7e8, "700000000"},
                          {1e6, "1000000"},
                          {-42.0, "-42"},
                          {4.0, "4"},
                          {0.5, "0.5"},
                          {-1000.125, "-1000.125"}};
    for (const Case& c : cases)
    {
        char text[kDxfRealMax + 1];
        *DxfFormatReal(text, c.value) = '\0';
        EXPECT_STREQ(text, c.text) << c.value;
    }
    auto digits = [](const char* begin, const char* end) {
        // Significant digits: from the first non-zero digit to the last
        // non-zero one before any exponent.
        std::string mantissa(begin, end);
        mantissa = mantissa.substr(0, mantissa.find('e'));
        std::string kept;
        for (char ch : mantissa)
            if (ch >= '0' && ch <= '9')
                kept += ch;
        const size_t first = kept.find_first_not_of('0');
        if (first == std::string::npos)
            return size_t(0);
        const size_t last = kept.find_last_not_of('0');
        return last - first + 1;
    };
    uint64_t state = 0x2545F4914F6CDD1Du;
    int wrong = 0;
    for (int i = 0; i < 300000; ++i)
    {
        state = state * 6364136223846793005u + 1442695040888963407u;
        double value;
        switch (i % 4)
        {
        case 0: // any bit pattern that is a finite number
        {
            uint64_t bits = state;
            std::memcpy(&value, &bits, sizeof(value));
            if (!std::isfinite(value))
                continue;
            break;
        }
        case 1: value = static_cast<double>(static_cast<int64_t>(state >> 20) % 2000000000000) / 1000.0; break;
        case 2: value = static_cast<double>(state >> 11) / 9007199254740992.0 * 1e9; break;
        default: value = (static_cast<double>(state % 100000000) - 5e7) * 1e-6; break;
        }
        char text[kDxfRealMax + 1];
        char* end = DxfFormatReal(text, value);
        *end = '\0';
        char shortest[64];
        char* shortestEnd = std::to_chars(shortest, shortest + sizeof(shortest), value).ptr;
        const double back = std::strtod(text, nullptr);
        const bool same = std::memcmp(&back, &value, sizeof(value)) == 0;
        if ((!same || digits(text, end) > digits(shortest, shortestEnd)) && ++wrong < 10)
            ADD_FAILURE() << text << " for " << std::string(shortest, shortestEnd);
    }
    EXPECT_EQ(wrong, 0);
}

TEST(DxfPairs, RealsScanAsStrtodScans)
{
    // Plain decimals take a short path; everything must read as strtod
    // reads it, bit for bit (signs of zero included).
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "-0.000",
                                      ".5",
                                      "5.",
                                      "-.5",
                                      "+3",
                                      "1.2.3",
                                      "  -12.375abc",
                                      "1.5e2",
                                      "1.5E-2",
                                      "0x1p3",
                                      "inf",
                                      "-nan",
                                      "123456789012345",
                                      "1234567890123456",
                                      "0.1",
                                      "0.000000000000001",
                                      "9007199254740993",
                                      "\t7.25\r",
                                      "99999999999999.9"};
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < 200000; ++i)
    {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const int decimals = static_cast<int>(state % 16);
        std::string digits = std::to_string(state >> 20);
        digits = digits.substr(0, 1 + (state >> 8) % 17);
        if (decimals < static_cast<int>(digits.size()))
            digits.insert(digits.size() - static_cast<size_t>(decimals), ".");
        texts.push_back((state & 1 ? "-" : "") + digits);
    }
    int wrong = 0;
    for (const std::string& text : texts)
    {
        double got = 12345.0;
        const bool scanned = DxfScanDouble(text, got);
        char* stop = nullptr;
        const double expected = std::strtod(text.c_str(), &stop);
        const bool expectedScanned = stop != text.c_str();
        if (scanned != expectedScanned ||
            (scanned && std::memcmp(&got, &expected, sizeof(got)) != 0 && !(std::isnan(got) && std::isnan(expected))))
            if (++wrong < 10)
                ADD_FAILURE() << text << ": " << got << " against " << expected;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(DxfPairs, NumbersReadInPassAsTheyScanApart)
{
    // Every pair read with its number in one pass gives the code, value and
    // number that Next and DxfScanDouble give apart; the pass itself takes
    // only values that are plain decimals alone on their line.
    const char* const values[] = {"1.5",
                                  "-0.25",
                                  "+3",
                                  "12.",
                                  ".5",
                                  "-.5",
                                  "0",
                                  "-0",
                                  "7 ",
                                  " 7",
                                  "1e5",
                                  "12.5abc",
                                  "1.5\r",
                                  "WALLS",
                                  "-",
                                  "+",
                                  ".",
                                  "123456789012345",
                                  "1234567890123456",
                                  "0x1p3",
                                  "",
                                  "   ",
                                  "4.0\t",
                                  "99999999.999999"};
    const char* const codes[] = {"10",   " 20", "  30", "8",   "1001", "-5",  " 10\r", "x",
                                 "0010", "100", "999",  "  0", " 1 ",  "1 0", " 0 5",  ""};
    for (const char* codeLine : codes)
        for (const char* valueLine : values)
        {
            const std::string text = std::string(codeLine) + "\n" + valueLine + "\n 11\n2.5\n";
            KDxfPairReader apart(text.data(), text.size());
            KDxfPairReader inPass(text.data(), text.size());
            for (int pair = 0; pair < 2; ++pair)
            {
                int codeApart = -7, codeInPass = -7;
                std::string_view valueApart = "kept", valueInPass = "kept";
                double number = -1;
                bool plain = false;
                const bool okApart = apart.Next(codeApart, valueApart);
                const bool okInPass = inPass.NextWithNumber(codeInPass, valueInPass, number, plain);
                SCOPED_TRACE(std::string("code '") + codeLine + "' value '" + valueLine + "'");
                ASSERT_EQ(okApart, okInPass);
                EXPECT_EQ(codeApart, codeInPass);
                EXPECT_EQ(valueApart, valueInPass);
                EXPECT_EQ(apart.Tell(), inPass.Tell());
                if (plain)
                {
                    double scanned = -2;
                    ASSERT_TRUE(DxfScanDouble(valueApart, scanned));
                    EXPECT_EQ(std::memcmp(&scanned, &number, sizeof(double)), 0) << number;
                }
            }
        }
    // The usual pairs do take the pass.
    const std::string usual = " 10\n-12.375\n";
    KDxfPairReader reader(usual.data(), usual.size());
    int code = 0;
    std::string_view value;
    double number = 0;
    bool plain = false;
    ASSERT_TRUE(reader.NextWithNumber(code, value, number, plain));
    EXPECT_TRUE(plain);
    EXPECT_EQ(code, 10);
    EXPECT_EQ(number, -12.375);
    // A last line without its line break fails as Next fails.
    const std::string cut = " 10\n1.5";
    KDxfPairReader last(cut.data(), cut.size());
    EXPECT_FALSE(last.NextWithNumber(code, value, number, plain));
    EXPECT_FALSE(plain);
}

TEST(DxfPairs, APairReadAgainAfterSeekingBackGivesTheSameAnswer)
{
    // Each pair read, then read again from its start with fresh variables
    // (as a walk that puts a pair back does): code and value come back as
    // the first read gave them, kept variables left alone where the line
    // held nothing, and the position after it is the same.
    const std::string text = "  0\n3DFACE\nabc\n   \n 8\nWALLS\n 10\n1.5\n-3\nx\n  0\nEOF";
    KDxfPairReader first(text.data(), text.size());
    KDxfPairReader plain(text.data(), text.size());
    for (;;)
    {
        const size_t start = first.Tell();
        int code = -7, codeAgain = -9, codePlain = -9;
        std::string_view value = "kept", valueAgain = "again", valuePlain = "again";
        const bool ok = first.Next(code, value);
        const size_t after = first.Tell();
        first.Seek(start);
        EXPECT_EQ(first.Next(codeAgain, valueAgain), ok);
        EXPECT_EQ(first.Tell(), after);
        // A reader that never read the pair before gives the same.
        plain.Seek(start);
        EXPECT_EQ(plain.Next(codePlain, valuePlain), ok);
        EXPECT_EQ(codeAgain, codePlain) << start;
        EXPECT_EQ(valueAgain, valuePlain) << start;
        EXPECT_EQ(plain.Tell(), after);
        if (!ok)
            break;
    }
    // "abc" holds no number, "   " no value: the variables stay as they were.
    KDxfPairReader reader(text.data(), text.size());
    int code = 0;
    std::string_view value;
    ASSERT_TRUE(reader.Next(code, value));
    const size_t second = reader.Tell();
    code = 42;
    value = "before";
    ASSERT_TRUE(reader.Next(code, value));
    EXPECT_EQ(code, 42);
    EXPECT_EQ(value, "before");
    reader.Seek(second);
    code = 43;
    value = "again";
    ASSERT_TRUE(reader.Next(code, value));
    EXPECT_EQ(code, 43);
    EXPECT_EQ(value, "again");
}
