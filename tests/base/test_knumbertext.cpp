#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/knumbertext.h"
#include "common/qox_test_common.h"

namespace {

// Texts strtod reads in interesting ways: signs, blanks, hexadecimal forms,
// words, exponents without digits, values beyond the range either way.
const char* const kTexts[] = {"0",
                              "-0",
                              "1.5",
                              "  +2.25e3x",
                              "\t-.5",
                              "5.",
                              ".",
                              "-",
                              "+-1",
                              "--1",
                              "1e",
                              "1e+",
                              "1e-2",
                              "1E400",
                              "-1e400",
                              "1e-400",
                              "-1e-400",
                              "3e-324",
                              "2e-324",
                              "0x1p3",
                              "0X.8P1",
                              "0x",
                              "0xg",
                              "0x-1",
                              "0x1.8",
                              "0x1p99999",
                              "0x1p-9999",
                              "inf",
                              "-INFINITY",
                              "infinit",
                              "nan",
                              "NaN(12)",
                              "nan(",
                              "1,5",
                              "abc",
                              "",
                              " ",
                              "1.7976931348623157e308",
                              "1.8e308",
                              "123456789012345678901234567890",
                              "0.000000000000000000000000000000000000000000000000001e-300",
                              "100000000000000000000000000000000000000000000000000e300",
                              "4.9406564584124654e-324",
                              "0e99999",
                              "0x0.00001p-1060",
                              "0x100000p1010",
                              "-0x1p-99999",
                              "00012.5e-9999",
                              "0.000e99999"};

// strtod and strtof in the current locale, over a copy of the text.
double CDouble(const std::string& text, size_t& used)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    used = static_cast<size_t>(end - text.c_str());
    return value;
}

float CFloat(const std::string& text, size_t& used)
{
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    used = static_cast<size_t>(end - text.c_str());
    return value;
}

// Same value, bit for bit where it matters: NaNs alike, zeros of one sign.
template <typename T>
void ExpectSame(T expected, T actual, const std::string& text)
{
    if (std::isnan(expected))
    {
        EXPECT_TRUE(std::isnan(actual)) << text;
        EXPECT_EQ(std::signbit(expected), std::signbit(actual)) << text;
        return;
    }
    EXPECT_EQ(expected, actual) << text;
    EXPECT_EQ(std::signbit(expected), std::signbit(actual)) << text;
}

// What the scanners read from each text, checked against the C library in
// the "C" locale.
void ExpectScansAsStrtod()
{
    for (const char* text : kTexts)
    {
        const std::string copy = text;
        size_t used = 0;
        const double expected = CDouble(copy, used);
        double value = 42.0;
        const char* end = KScanDouble(copy.data(), copy.data() + copy.size(), value);
        EXPECT_EQ(used, static_cast<size_t>(end - copy.data())) << text;
        ExpectSame(used ? expected : 42.0, value, copy);

        const float expectedFloat = CFloat(copy, used);
        float single = 42.0f;
        end = KScanFloat(copy.data(), copy.data() + copy.size(), single);
        EXPECT_EQ(used, static_cast<size_t>(end - copy.data())) << text;
        ExpectSame(used ? expectedFloat : 42.0f, single, copy);
    }
}

// Values whose texts take every path: whole, fractional, tiny, huge, the
// ends of the range, the words.
std::vector<double> SampleValues()
{
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -1.5,
                                  0.1,
                                  1e-5,
                                  123456.789,
                                  1e15,
                                  1e16,
                                  1e21,
                                  9.5,
                                  0.5,
                                  2.5,
                                  -2.5e-7,
                                  DBL_MAX,
                                  -DBL_MAX,
                                  DBL_MIN,
                                  4.9e-324,
                                  HUGE_VAL,
                                  -HUGE_VAL,
                                  std::nan(""),
                                  -std::nan(""),
                                  1e300,
                                  0.000123456789012345678,
                                  999999.9999995,
                                  1.0 / 3.0};
    std::mt19937_64 random(49);
    for (int i = 0; i < 2000; ++i)
    {
        const uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        values.push_back(value);
        values.push_back(
            std::ldexp(static_cast<double>(random() % 2000000) - 1000000.0, static_cast<int>(i % 80) - 60));
    }
    return values;
}

// The formats the library writes, as (conversion, precision).
const std::pair<char, int> kFormats[] = {{'f', 6},  {'f', 0}, {'f', 3}, {'f', 15}, {'g', 15}, {'g', 9},
                                         {'g', 17}, {'g', 0}, {'e', 6}, {'f', 60}, {'g', -1}};

std::string CText(double value, char conversion, int precision)
{
    const char format[] = {'%', '.', '*', conversion, '\0'};
    const int n = std::snprintf(nullptr, 0, format, precision, value);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(&text[0], text.size(), format, precision, value);
    text.resize(static_cast<size_t>(n));
    return text;
}

void ExpectPrintsAsSnprintf()
{
    for (double value : SampleValues())
        for (const auto& format : kFormats)
        {
            const std::string expected = CText(value, format.first, format.second);
            ASSERT_EQ(expected, KDoubleText(value, format.first, format.second))
                << format.first << format.second << " " << expected;
        }
}

} // namespace

TEST(KNumberText, ScansAsStrtodInTheCLocale)
{
    ExpectScansAsStrtod();
}

TEST(KNumberText, PrintsAsSnprintfInTheCLocale)
{
    ExpectPrintsAsSnprintf();
}

// A decimal comma in LC_NUMERIC changes neither: the expected texts and
// values are taken in "C" first.
TEST(KNumberText, DecimalCommaLocaleChangesNothing)
{
    std::vector<std::string> printed;
    const std::vector<double> values = SampleValues();
    for (double value : values)
        printed.push_back(KDoubleText(value, 'f', 6) + " " + KDoubleText(value, 'g', 15));
    std::vector<double> scanned;
    for (const char* text : kTexts)
        scanned.push_back(KTextToDouble(text));

    qoxtest::CommaLocale comma;
    QOX_NEED_COMMA_LOCALE(comma);
    ASSERT_EQ("1,5", CText(1.5, 'g', 15)); // the C library does follow it
    for (size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(printed[i], KDoubleText(values[i], 'f', 6) + " " + KDoubleText(values[i], 'g', 15));
    for (size_t i = 0; i < std::size(kTexts); ++i)
        ExpectSame(scanned[i], KTextToDouble(kTexts[i]), kTexts[i]);
    EXPECT_EQ(1.5, KTextToDouble("1.5"));
    EXPECT_EQ(1.0, KTextToDouble("1,5"));
}

TEST(KNumberText, ShortBuffersCutAsSnprintf)
{
    char text[8];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(11, KPrintDouble(text, 5, 1234.5, 'f', 6));
    EXPECT_STREQ("1234", text);
    EXPECT_EQ('x', text[5]);
    EXPECT_EQ(3, KPrintDouble(nullptr, 0, 1.5, 'g', 15));
    EXPECT_EQ(1u + 309 + 1 + 6, KDoubleText(-DBL_MAX, 'f', 6).size()); // sign, digits, point, decimals
}

TEST(KNumberText, TerminatedTextsReadAsAtof)
{
    const char* end = nullptr;
    const char* text = "  -12.5e1,3";
    EXPECT_EQ(-125.0, KTextToDouble(text, &end));
    EXPECT_EQ(text + 9, end);
    EXPECT_EQ(0.0, KTextToDouble("x1", &end));
    EXPECT_STREQ("x1", end);
    EXPECT_EQ(0.0, KTextToDouble(nullptr));
}
