// Typed array values of the field layer: round trips in every form with
// extreme values, byte and text layouts, conversions and damaged counts.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "base/kqox.h"
#include "base/kqox_private.h"
#include "kqox_test_util.h"

namespace {

const KQox::EForm kForms[] = {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED};

const std::vector<double> kDoubles = {0.0,     -0.0,     1.5,      -2.25,     0.1,   DBL_MAX,  -DBL_MAX,
                                      DBL_MIN, 4.9e-324, HUGE_VAL, -HUGE_VAL, 1e300, 1.0 / 3.0};
const std::vector<float> kFloats = {0.0f, FLT_MAX, -FLT_MAX, FLT_MIN, 1.4e-45f, 0.1f, 3.0f};
const std::vector<int> kInts = {0, 1, -1, INT_MAX, INT_MIN, 123456};
const std::vector<long long> kLongs = {0, LLONG_MAX, LLONG_MIN, 46186158000LL};
const std::vector<unsigned char> kBytes = {0, 1, 127, 128, 255};

void WriteArrays(KQox& f, const std::vector<double>& many)
{
    f.ProjectWriteSectionBegin("Arrays", 6000);
    f.FieldWriteBegin("Mixed");
    f.FieldWriteI(7);
    f.FieldWriteArrayD(kDoubles.data(), static_cast<unsigned int>(kDoubles.size()));
    f.FieldWriteArrayF(kFloats.data(), static_cast<unsigned int>(kFloats.size()));
    f.FieldWriteArrayI(kInts.data(), static_cast<unsigned int>(kInts.size()));
    f.FieldWriteArrayL(kLongs.data(), static_cast<unsigned int>(kLongs.size()));
    f.FieldWriteArrayB(kBytes.data(), static_cast<unsigned int>(kBytes.size()));
    f.FieldWriteArrayD(nullptr, 0);
    f.FieldWriteC("after");
    f.FieldWriteEnd();
    f.FieldWriteBegin("Many");
    f.FieldWriteArrayD(many.data(), static_cast<unsigned int>(many.size()));
    f.FieldWriteBlockBegin();
    f.FieldWriteBegin("Inner");
    f.FieldWriteI(5);
    f.FieldWriteEnd();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
}

template <typename T>
std::vector<T> ReadAll(KQox& f, bool (KQox::*read)(T*, unsigned long long))
{
    long long n = f.FieldReadArrayCount();
    EXPECT_GE(n, 0);
    std::vector<T> out(static_cast<size_t>(n < 0 ? 0 : n));
    EXPECT_TRUE((f.*read)(out.data(), out.size()));
    return out;
}

bool SameDoubles(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

namespace {

// ASCII text read through the window instead of in place, while it lives.
struct TextThroughWindow
{
    explicit TextThroughWindow(bool on) { KQoxPrivate::sTextInPlace = !on; }
    ~TextThroughWindow() { KQoxPrivate::sTextInPlace = true; }
};

} // namespace

TEST(KQoxArrays, EveryTypeRoundTripsExactlyInEveryForm)
{
    std::vector<double> many(100000);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<double>(i) * 0.25 - 7.0;
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        std::vector<unsigned char> image(8u << 20);
        KQox w;
        ASSERT_TRUE(w.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), form, 6000, "pw"));
        WriteArrays(w, many);
        ASSERT_TRUE(w.ProjectClose()) << w.GetLastErrorString();

        KQox r;
        ASSERT_TRUE(r.ProjectOpen(image.data(), static_cast<unsigned int>(w.ProjectGetFileSize()), "pw"));
        ASSERT_TRUE(r.ProjectReadSectionBegin("Arrays"));
        ASSERT_TRUE(r.FieldReadBegin("Mixed"));
        EXPECT_EQ(r.FieldReadGetRemain(), 8);
        EXPECT_EQ(r.FieldReadI(), 7);
        EXPECT_EQ(r.FieldReadGetType(), 'd');
        // ASCII keeps 15 digits, which is exact for every value chosen here
        // except 1/3; the extremes stay extreme and finite values finite.
        std::vector<double> d = ReadAll(r, &KQox::FieldReadArrayD);
        ASSERT_EQ(d.size(), kDoubles.size());
        for (size_t i = 0; i < d.size(); ++i)
        {
            if (form == KQox::eASCII && i == kDoubles.size() - 1)
            {
                EXPECT_EQ(d[i], 0.333333333333333);
            }
            else if (form == KQox::eASCII && (kDoubles[i] == DBL_MIN || kDoubles[i] == 4.9e-324))
            {
                EXPECT_NEAR(d[i], kDoubles[i], kDoubles[i] * 1e-14);
            }
            else
            {
                EXPECT_EQ(d[i], kDoubles[i]) << i;
                EXPECT_EQ(std::signbit(d[i]), std::signbit(kDoubles[i])) << i;
            }
            EXPECT_TRUE(std::isfinite(d[i]) == std::isfinite(kDoubles[i])) << i;
        }
        EXPECT_EQ(ReadAll(r, &KQox::FieldReadArrayF), kFloats);
        EXPECT_EQ(ReadAll(r, &KQox::FieldReadArrayI), kInts);
        EXPECT_EQ(ReadAll(r, &KQox::FieldReadArrayL), kLongs);
        EXPECT_EQ(ReadAll(r, &KQox::FieldReadArrayB), kBytes);
        EXPECT_EQ(r.FieldReadArrayCount(), 0);
        EXPECT_TRUE(r.FieldReadArrayD(nullptr, 0));
        EXPECT_EQ(r.FieldReadArrayCount(), -1);
        EXPECT_STREQ(r.FieldReadC(), "after");
        r.FieldReadEnd();
        ASSERT_TRUE(r.FieldReadBegin("Many"));
        EXPECT_TRUE(SameDoubles(ReadAll(r, &KQox::FieldReadArrayD), many));
        ASSERT_TRUE(r.FieldReadBlockBegin());
        EXPECT_EQ(r.FieldReadI("Inner", 0), 5);
        r.FieldReadBlockEnd();
        r.FieldReadEnd();
        r.ProjectReadSectionEnd();
        EXPECT_TRUE(r.ProjectClose());
    }
}

TEST(KQoxArrays, ConversionsAndCapacity)
{
    std::vector<unsigned char> image(4096);
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        KQox w;
        ASSERT_TRUE(w.ProjectCreate(image.data(), 4096, form, 6000));
        const int ints[] = {1, -2, 3};
        const double doubles[] = {1.75, -1e20, 1e20};
        w.FieldWriteBegin("A");
        w.FieldWriteArrayI(ints, 3);
        w.FieldWriteArrayD(doubles, 3);
        w.FieldWriteArrayD(doubles, 3);
        w.FieldWriteEnd();
        ASSERT_TRUE(w.ProjectClose());

        KQox r;
        ASSERT_TRUE(r.ProjectOpen(image.data(), static_cast<unsigned int>(w.ProjectGetFileSize())));
        ASSERT_TRUE(r.FieldReadBegin("A"));
        std::vector<double> asDoubles(3);
        // Too small a buffer reads nothing and leaves the value in place.
        EXPECT_FALSE(r.FieldReadArrayD(asDoubles.data(), 2));
        ASSERT_TRUE(r.FieldReadArrayD(asDoubles.data(), 3));
        EXPECT_EQ(asDoubles, (std::vector<double>{1, -2, 3}));
        int asInts[3];
        ASSERT_TRUE(r.FieldReadArrayI(asInts, 3));
        EXPECT_EQ(asInts[0], 1);
        EXPECT_EQ(asInts[1], INT_MIN); // clamped as a scalar read clamps
        EXPECT_EQ(asInts[2], INT_MAX);
        float asFloats[3];
        ASSERT_TRUE(r.FieldReadArrayF(asFloats, 3));
        EXPECT_EQ(asFloats[0], 1.75f);
        EXPECT_EQ(r.FieldReadArrayCount(), -1);
        // A scalar read of an array value gives the neutral value.
        EXPECT_FALSE(r.FieldReadArrayI(asInts, 3));
    }
}

TEST(KQoxArrays, BinaryAndAsciiLayouts)
{
    std::vector<unsigned char> image(512);
    KQox b;
    ASSERT_TRUE(b.ProjectCreate(image.data(), 512, KQox::eBINARY, 6000));
    const int ints[] = {1, -1};
    b.FieldWriteBegin("A");
    b.FieldWriteArrayI(ints, 2);
    b.FieldWriteEnd();
    ASSERT_TRUE(b.ProjectClose());
    // Record at 32: 'F', name length 1, "A", 1 value, 13 value bytes, no block,
    // then 'i', count 2 and the two integers little-endian.
    const unsigned char expected[] = {'F', 1, 0, 'A',             // field, name length 1, "A"
                                      1,   0, 0, 0,               // one value
                                      13,  0, 0, 0,   0, 0, 0, 0, // 13 value bytes
                                      0,   0, 0, 0,   0, 0, 0, 0, // no block
                                      'i', 2, 0, 0,   0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, // 'i', count 2, 1, -1
                                      0}; // end of the top-level list
    ASSERT_EQ(b.ProjectGetFileSize(), 32 + sizeof(expected) + 4);
    EXPECT_EQ(std::memcmp(image.data() + 32, expected, sizeof(expected)), 0);

    std::vector<unsigned char> text(1024);
    KQox a;
    ASSERT_TRUE(a.ProjectCreate(text.data(), 1024, KQox::eASCII, 6000));
    std::vector<double> seventeen(17);
    for (int i = 0; i < 17; ++i)
        seventeen[static_cast<size_t>(i)] = i + 0.5;
    const float floats[] = {0.1f, -2.0f};
    a.FieldWriteBegin("A");
    a.FieldWriteArrayF(floats, 2);
    a.FieldWriteArrayD(seventeen.data(), 17);
    a.FieldWriteEnd();
    ASSERT_TRUE(a.ProjectClose());
    std::string file(reinterpret_cast<const char*>(text.data()), static_cast<size_t>(a.ProjectGetFileSize()));
    EXPECT_NE(file.find("A: *f2:0.100000001 -2,*d17:\n"
                        "    0.5 1.5 2.5 3.5 4.5 5.5 6.5 7.5 8.5 9.5 10.5 11.5 12.5 13.5 14.5 15.5\n"
                        "    16.5\n"),
              std::string::npos)
        << file;
}

// Hand-made binary files whose array counts claim more than the value holds.
TEST(KQoxArrays, DamagedCountsAreCorruptionNotAllocation)
{
    struct Case
    {
        const char* what;
        unsigned int count;
        unsigned int valueBytes;
    } cases[] = {{"count past the value", 3, 13}, {"huge count", 0xFFFFFFFFu, 13}, {"head cut short", 2, 4}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> file = {'T', 'o', 'l',  'v',  'a', 'n', 'e', ' ', 'Q', 'O', 'X',
                                           ' ', 'B', 'i',  'n',  'a', 'r', 'y', ' ', ' ', 0,   0x1A,
                                           'B', 1,   0x70, 0x17, 0,   0,   0,   0,   0,   0};
        const unsigned char head[] = {'F', 1, 0, 'A', 1, 0, 0, 0};
        file.insert(file.end(), head, head + sizeof(head));
        for (int i = 0; i < 8; ++i)
            file.push_back(static_cast<unsigned char>(i < 4 ? (c.valueBytes >> (8 * i)) & 0xFF : 0));
        for (int i = 0; i < 8; ++i)
            file.push_back(0);
        std::vector<unsigned char> value = {'i'};
        for (int i = 0; i < 4; ++i)
            value.push_back(static_cast<unsigned char>((c.count >> (8 * i)) & 0xFF));
        value.insert(value.end(), 8, 0x11);
        value.resize(c.valueBytes);
        file.insert(file.end(), value.begin(), value.end());
        file.push_back(0);
        unsigned int crc = kqoxtest::Crc32(file.data(), file.size());
        for (int i = 3; i >= 0; --i)
            file.push_back(static_cast<unsigned char>(crc >> (8 * i)));

        KQox r;
        ASSERT_TRUE(r.ProjectOpen(file.data(), static_cast<unsigned int>(file.size())));
        ASSERT_TRUE(r.FieldReadBegin("A"));
        EXPECT_EQ(r.FieldReadArrayCount(), -1);
        EXPECT_EQ(r.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    }
}

TEST(KQoxArrays, DamagedAsciiArraysAreCorruption)
{
    const char* bodies[] = {"A: *d3:1 2\n", "A: *d99999999999:1\n", "A: *d2:1 x#\n", "A: *i:1\n", "A: *d1:\n"};
    for (const char* body : bodies)
    {
        SCOPED_TRACE(body);
        std::string text = std::string("; Tolvane QOX ASCII 6000\n") + body + "; EOF\n";
        KQox r;
        bool opened = r.ProjectOpen(text.data(), static_cast<unsigned int>(text.size()));
        if (!opened)
        {
            EXPECT_EQ(r.GetLastErrorID(), KQox::eFILE_CORRUPTED);
            continue;
        }
        double out[8];
        EXPECT_FALSE(r.FieldReadBegin("A") && r.FieldReadArrayD(out, 8));
    }
}

} // namespace

namespace {

// The values a 15-digit text is hardest on: powers of ten and their
// neighbours, 15-digit midpoints, carries through nines, both exponent
// styles' edges, denormals, extremes and random bit patterns.
std::vector<double> FormattingCases()
{
    std::vector<double> v = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             0.1,
                             0.5,
                             1e15,
                             1e16,
                             999999999999999.0,
                             9999999999999995.0,
                             1e-4,
                             1e-5,
                             0.0001234,
                             0.00001234,
                             123456789012345.0,
                             1234567890123456.0,
                             0.30000000000000004,
                             2.675,
                             1.0000000000000002,
                             0.9999999999999999,
                             DBL_MAX,
                             -DBL_MAX,
                             DBL_MIN,
                             -DBL_MIN,
                             DBL_TRUE_MIN,
                             4.9e-324,
                             2.2250738585072009e-308,
                             1e-310,
                             HUGE_VAL,
                             -HUGE_VAL,
                             std::nan(""),
                             -std::nan(""),
                             1e100,
                             1e-100,
                             123.456,
                             5e-324,
                             9.999999999999995e22};
    for (int e = -320; e <= 308; ++e)
    {
        double p = std::pow(10.0, e);
        v.push_back(p);
        v.push_back(std::nextafter(p, 0.0));
        v.push_back(std::nextafter(p, HUGE_VAL));
        v.push_back(-p * 1.5);
    }
    // Exact 15-digit midpoints (16 digits ending in 5) and their neighbours.
    for (long long m = 1000000000000005LL; m < 1000000000000005LL + 2000; m += 10)
        for (int e : {-20, -3, 0, 5, 40})
        {
            double x = static_cast<double>(m) * std::pow(10.0, e - 15);
            v.push_back(x);
            v.push_back(std::nextafter(x, 0.0));
            v.push_back(std::nextafter(x, HUGE_VAL));
        }
    for (int i = 0; i < 4096; ++i)
        v.push_back(i / 4096.0 + i / 100.0);
    // Decimals of 1 to 17 digits at every place from 10^-10 to 10^17, with
    // trailing zeros, and their neighbours.
    unsigned long long r = 2463534242ull;
    for (int digits = 1; digits <= 17; ++digits)
        for (int e = -10; e <= 17; ++e)
            for (int i = 0; i < 12; ++i)
            {
                r ^= r << 13;
                r ^= r >> 7;
                r ^= r << 17;
                char text[64];
                std::snprintf(text, sizeof text, "%.*se%d", digits,
                              (std::to_string(r % 9 + 1) + std::to_string(r) + "00000000000000000000").c_str(),
                              e - digits + 1);
                if (i % 4 == 0) // trailing zeros
                    std::memset(text + digits / 2 + 1, '0', static_cast<size_t>(digits - digits / 2 - 1));
                const double x = (i % 2 ? -1.0 : 1.0) * std::strtod(text, nullptr);
                v.push_back(x);
                v.push_back(std::nextafter(x, 0.0));
            }
    unsigned long long s = 88172645463325252ull;
    for (int i = 0; i < 200000; ++i)
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        double d;
        std::memcpy(&d, &s, sizeof d);
        v.push_back(d);
        v.push_back(static_cast<double>(s % 2000000) / 1000.0 - 1000.0);
        v.push_back(1.0 / static_cast<double>(s % 9973 + 1));
    }
    return v;
}

} // namespace

TEST(KQoxArrays, AsciiDoublesAreTheTextsOfPrintf15g)
{
    const std::vector<double> values = FormattingCases();
    std::vector<unsigned char> text(values.size() * 32 + 4096);
    KQox a;
    ASSERT_TRUE(a.ProjectCreate(text.data(), static_cast<unsigned int>(text.size()), KQox::eASCII, 6000));
    a.FieldWriteBegin("V");
    a.FieldWriteArrayD(values.data(), static_cast<unsigned int>(values.size()));
    a.FieldWriteEnd();
    ASSERT_TRUE(a.ProjectClose());
    std::string file(reinterpret_cast<const char*>(text.data()), static_cast<size_t>(a.ProjectGetFileSize()));
    size_t at = file.find(':', file.find("*d"));
    ASSERT_NE(at, std::string::npos);
    ++at;
    size_t mismatches = 0;
    for (size_t i = 0; i < values.size(); ++i)
    {
        while (file[at] == ' ' || file[at] == '\n')
            ++at;
        size_t end = file.find_first_of(" \n", at);
        std::string got = file.substr(at, end - at);
        at = end;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.15g", values[i]);
        if (got != expected && ++mismatches < 10)
            ADD_FAILURE() << "value " << i << " bits " << std::hexfloat << values[i] << ": " << got << " against "
                          << expected;
    }
    EXPECT_EQ(mismatches, 0u);
}

namespace {

// An ASCII file of one field "A" holding the array text given.
std::string AsciiArrayFile(const std::string& array)
{
    return "; Tolvane QOX ASCII 6000\nA: " + array + "\n; EOF\n";
}

// Item texts of every shape the reader meets, with the separators between
// them varied, long enough that the reader's window ends inside items.
std::vector<std::string> ItemTexts(size_t n, bool integers)
{
    static const char* const kDoubleShapes[] = {"0",
                                                "-0",
                                                "0.1",
                                                "-123.456",
                                                "1e-5",
                                                "-2.5E+10",
                                                "inf",
                                                "-inf",
                                                "7.",
                                                ".5",
                                                "+1.5",
                                                "1.79769313486232e+308",
                                                "4.94065645841247e-324",
                                                "12345678901234567890",
                                                "0.30000000000000004",
                                                "9007199254740993",
                                                "123456789012345678",
                                                "000001.2500"};
    static const char* const kIntShapes[] = {"0",
                                             "-0",
                                             "7",
                                             "-2147483648",
                                             "2147483647",
                                             "123456789012345678",
                                             "-9223372036854775808",
                                             "9223372036854775807",
                                             "00042",
                                             "+3"};
    std::vector<std::string> out;
    unsigned long long s = 12345;
    for (size_t i = 0; i < n; ++i)
    {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        const unsigned pick = static_cast<unsigned>(s >> 33);
        if (integers)
            out.push_back(pick % 3 == 0 ? kIntShapes[pick / 3 % (sizeof kIntShapes / sizeof *kIntShapes)]
                                        : std::to_string(static_cast<long long>(s >> 20) - (1ll << 42)));
        else if (pick % 3 == 0)
            out.push_back(kDoubleShapes[pick / 3 % (sizeof kDoubleShapes / sizeof *kDoubleShapes)]);
        else
        {
            char text[40];
            std::snprintf(text, sizeof text, pick % 3 == 1 ? "%.6f" : "%.17g",
                          static_cast<double>(static_cast<long long>(s >> 11)) / 3e9 - 1000.0);
            out.push_back(text);
        }
    }
    return out;
}

std::string JoinItems(const std::vector<std::string>& items)
{
    static const char* const kSeparators[] = {" ", "  ", "\t", "\n    ", "\r\n", " \t "};
    std::string text;
    for (size_t i = 0; i < items.size(); ++i)
    {
        if (i > 0)
            text += kSeparators[(i * 7) % 6];
        text += items[i];
    }
    return text;
}

} // namespace

TEST(KQoxArrays, AsciiItemsReadAsTheScalarTextsAcrossWindows)
{
    for (int form = 0; form < 4; ++form)
    {
        const bool integers = form % 2 == 1;
        const TextThroughWindow windowed(form >= 2);
        SCOPED_TRACE(std::string(integers ? "integers" : "doubles") + (form >= 2 ? ", windowed" : ", in place"));
        const std::vector<std::string> items = ItemTexts(60000, integers);
        const std::string text =
            AsciiArrayFile(std::string(integers ? "*l" : "*d") + std::to_string(items.size()) + ":" + JoinItems(items));
        ASSERT_GT(text.size(), 4u * 65536u); // several windows
        KQox r;
        ASSERT_TRUE(r.ProjectOpen(text.data(), static_cast<unsigned int>(text.size())));
        ASSERT_TRUE(r.FieldReadBegin("A"));
        if (integers)
        {
            std::vector<long long> got = ReadAll(r, &KQox::FieldReadArrayL);
            ASSERT_EQ(got.size(), items.size());
            for (size_t i = 0; i < items.size(); ++i)
            {
                // What the scalar reader makes of the text (a sign '+' taken).
                long long expected = 0;
                auto parsed = std::from_chars(items[i].data(), items[i].data() + items[i].size(), expected);
                if (parsed.ec != std::errc() || parsed.ptr != items[i].data() + items[i].size())
                    expected = static_cast<long long>(std::strtod(items[i].c_str(), nullptr));
                ASSERT_EQ(got[i], expected) << i << " " << items[i];
            }
        }
        else
        {
            std::vector<double> got = ReadAll(r, &KQox::FieldReadArrayD);
            ASSERT_EQ(got.size(), items.size());
            for (size_t i = 0; i < items.size(); ++i)
            {
                // As the scalar reader: a number written past the largest double stays finite.
                double expected = std::strtod(items[i].c_str(), nullptr);
                if (std::isinf(expected) && items[i].find_first_of("0123456789") != std::string::npos)
                    expected = std::copysign(DBL_MAX, expected);
                ASSERT_EQ(std::memcmp(&got[i], &expected, sizeof expected), 0)
                    << i << " " << items[i] << " read as " << got[i];
            }
        }
        EXPECT_EQ(r.FieldReadGetRemain(), 0);
    }
}

TEST(KQoxArrays, AsciiArraysOfWrongShapeAreCorruptionAtAnyLength)
{
    // Counts that do not match the items, an item too long to be a number,
    // and stray characters, in short arrays and past the first window.
    std::vector<std::string> many = ItemTexts(30000, false);
    const std::string body = JoinItems(many);
    const std::string n = std::to_string(many.size());
    const std::string cases[] = {
        "*d" + std::to_string(many.size() + 1) + ":" + body,
        "*d" + n + ":" + body + " 5",
        "*d" + n + ":" + body.substr(0, body.size() / 2) + " # " + body.substr(body.size() / 2),
        "*d3:1 " + std::string(65, '1') + " 2",
        "*d2:1 2 3",
        "*i2:1,2",
    };
    for (const std::string& array : cases)
    {
        SCOPED_TRACE(array.substr(0, 40));
        const std::string text = AsciiArrayFile(array);
        KQox r;
        if (!r.ProjectOpen(text.data(), static_cast<unsigned int>(text.size())))
        {
            EXPECT_EQ(r.GetLastErrorID(), KQox::eFILE_CORRUPTED);
            continue;
        }
        std::vector<double> out(many.size() + 2);
        EXPECT_FALSE(r.FieldReadBegin("A") && r.FieldReadArrayD(out.data(), out.size()) && r.FieldReadGetRemain() == 0);
    }
    // Exactly 64 characters is still a number.
    const std::string text = AsciiArrayFile("*d2:1 " + std::string(64, '1'));
    KQox r;
    ASSERT_TRUE(r.ProjectOpen(text.data(), static_cast<unsigned int>(text.size())));
    ASSERT_TRUE(r.FieldReadBegin("A"));
    std::vector<double> got = ReadAll(r, &KQox::FieldReadArrayD);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], std::strtod(std::string(64, '1').c_str(), nullptr));
}

TEST(KQoxArrays, AsciiPlainItemsOfEveryDigitCount)
{
    // Whole and fractional parts of every length from none to past 18
    // digits (where the exact quick path stops), with leading and trailing
    // zeros and signs, each followed by each kind of separator or the end.
    const std::string digits = "98765432109876543210987654321";
    std::vector<std::string> items;
    for (size_t whole = 0; whole <= 21; ++whole)
        for (size_t fraction = 0; fraction <= 21; ++fraction)
        {
            if (whole == 0 && fraction == 0)
                continue;
            std::string text = digits.substr(digits.size() - whole - 1, whole);
            if (fraction > 0)
                text += "." + digits.substr(fraction % 3, fraction);
            items.push_back(text);
            items.push_back("-" + text);
            items.push_back("000" + text + (fraction > 0 ? "000" : ""));
        }
    for (bool integers : {false, true})
    {
        SCOPED_TRACE(integers ? "integers" : "doubles");
        std::vector<std::string> kept;
        for (const std::string& item : items)
        {
            long long v = 0;
            const auto parsed = std::from_chars(item.data(), item.data() + item.size(), v);
            if (!integers || (item.find('.') == std::string::npos && parsed.ec == std::errc()))
                kept.push_back(item);
        }
        const std::string text =
            AsciiArrayFile(std::string(integers ? "*l" : "*d") + std::to_string(kept.size()) + ":" + JoinItems(kept));
        KQox r;
        ASSERT_TRUE(r.ProjectOpen(text.data(), static_cast<unsigned int>(text.size())));
        ASSERT_TRUE(r.FieldReadBegin("A"));
        if (integers)
        {
            std::vector<long long> got = ReadAll(r, &KQox::FieldReadArrayL);
            ASSERT_EQ(got.size(), kept.size());
            for (size_t i = 0; i < kept.size(); ++i)
            {
                long long expected = 0;
                std::from_chars(kept[i].data(), kept[i].data() + kept[i].size(), expected);
                EXPECT_EQ(got[i], expected) << kept[i];
            }
        }
        else
        {
            std::vector<double> got = ReadAll(r, &KQox::FieldReadArrayD);
            ASSERT_EQ(got.size(), kept.size());
            for (size_t i = 0; i < kept.size(); ++i)
            {
                const double expected = std::strtod(kept[i].c_str(), nullptr);
                EXPECT_EQ(std::memcmp(&got[i], &expected, sizeof expected), 0) << kept[i] << " read as " << got[i];
            }
        }
    }
}

TEST(KQoxArrays, AsciiIntegersAreTheirDecimalTexts)
{
    // Every length of digits, both signs, the ends of each type.
    std::vector<long long> longs = {0, LLONG_MAX, LLONG_MIN, LLONG_MIN + 1, INT_MAX, INT_MIN};
    std::vector<int> ints = {0, INT_MAX, INT_MIN, INT_MIN + 1};
    long long p = 1;
    for (int digits = 1; digits <= 18; ++digits, p *= 10)
        for (long long v : {p, p - 1, p + 1, 9 * p + (p - 1), 5 * p + 3})
        {
            longs.push_back(v);
            longs.push_back(-v);
            if (v <= INT_MAX)
            {
                ints.push_back(static_cast<int>(v));
                ints.push_back(static_cast<int>(-v));
            }
        }
    std::vector<unsigned char> text(64 * 1024);
    KQox a;
    ASSERT_TRUE(a.ProjectCreate(text.data(), static_cast<unsigned int>(text.size()), KQox::eASCII, 6000));
    a.FieldWriteBegin("V");
    a.FieldWriteArrayL(longs.data(), static_cast<unsigned int>(longs.size()));
    a.FieldWriteArrayI(ints.data(), static_cast<unsigned int>(ints.size()));
    a.FieldWriteArrayB(kBytes.data(), static_cast<unsigned int>(kBytes.size()));
    a.FieldWriteEnd();
    ASSERT_TRUE(a.ProjectClose());
    std::string file(reinterpret_cast<const char*>(text.data()), static_cast<size_t>(a.ProjectGetFileSize()));
    std::string expected;
    auto join = [&expected](const char* head, auto& values) {
        expected += head + std::to_string(values.size()) + ":";
        for (size_t i = 0; i < values.size(); ++i)
        {
            if (i % 16 == 0 && values.size() > 16)
                expected += "\n        ";
            else if (i > 0)
                expected += " ";
            expected += std::to_string(+values[i]);
        }
    };
    join("*l", longs);
    expected += ",";
    join("*i", ints);
    expected += ",";
    join("*b", kBytes);
    const size_t at = file.find("*l");
    ASSERT_NE(at, std::string::npos);
    // The separators between values are the writer's own; the items are compared.
    std::string got = file.substr(at, file.find('\n', file.rfind("*b")) - at);
    for (std::string* t : {&got, &expected})
    {
        std::string squeezed;
        for (char c : *t)
            if (c != ' ' && c != '\n' && c != ',')
                squeezed += c;
            else if (!squeezed.empty() && squeezed.back() != '|')
                squeezed += '|';
        *t = squeezed;
    }
    EXPECT_GT(got.size(), 1000u);
    EXPECT_EQ(got, expected);
}

namespace {

// Today's text of an ASCII array, worked out apart from the writer: "*",
// the code, the count and ":", then the item texts separated by spaces;
// more than 16 items go 16 to a line, each line on a line of its own
// indented one level (4 spaces) deeper than the field.
template <typename T, typename Text>
std::string ReferenceArray(char code, const std::vector<T>& items, int depth, Text text)
{
    std::string out = "*" + std::string(1, code) + std::to_string(items.size()) + ":";
    for (size_t i = 0; i < items.size(); ++i)
    {
        if (items.size() > 16 && i % 16 == 0)
            out += "\n" + std::string(static_cast<size_t>(depth) * 4, ' ');
        else if (i > 0)
            out += " ";
        out += text(items[i]);
    }
    return out;
}

std::string Printf(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string DoubleText(double v)
{
    return Printf("%.15g", v);
}

std::string FloatText(float v)
{
    return Printf("%.9g", static_cast<double>(v));
}

// Mesh-like doubles: short decimals of every place count from 0 to 8 around
// the scales meshes use, their neighbours, integers stored as doubles, and
// the edges of the ranges quick paths may take (10^-5 to 10^-4, 10^9, 10^15).
std::vector<double> ShortDecimalCases()
{
    std::vector<double> v;
    for (int x = 0; x <= 2000; x += 7)
        for (int y = 0; y <= 2000; y += 331)
        {
            v.push_back(x / 100.0);
            v.push_back(((x * 7 + y * 13) % 100) / 1000.0);
            v.push_back(std::round(x / 2000.0 * 1e6) / 1e6);
            v.push_back(-std::round(y / 3000.0 * 1e6) / 1e6);
        }
    unsigned long long s = 0x9E3779B97F4A7C15ull;
    for (int places = 0; places <= 8; ++places)
        for (int i = 0; i < 3000; ++i)
        {
            s ^= s << 13;
            s ^= s >> 7;
            s ^= s << 17;
            const double scale = std::pow(10.0, places);
            const double whole = static_cast<double>(s % 100000000000ull) / std::pow(10.0, static_cast<double>(s % 11));
            const double x = std::round(whole * scale) / scale * (s & 1 ? -1.0 : 1.0);
            v.push_back(x);
            v.push_back(std::nextafter(x, 0.0));
            v.push_back(std::nextafter(x, HUGE_VAL));
            v.push_back(std::trunc(x));
        }
    for (double edge : {1e-5, 9.9999e-5, 0.0000999999, 1e-4, 0.0001000001, 0.000123456, 999999999.999999, 1e9,
                        1000000000.5, 999999999999999.0, 1e15, 4294967296.0, 2147483647.0, 2147483648.5})
        for (double x : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, HUGE_VAL)})
        {
            v.push_back(x);
            v.push_back(-x);
        }
    return v;
}

std::vector<float> FloatCases()
{
    std::vector<float> v = {0.0f,      -0.0f,      1.0f,          -1.0f,       0.1f,        0.5f,
                            FLT_MAX,   -FLT_MAX,   FLT_MIN,       -FLT_MIN,    1.4e-45f,    1e-40f,
                            HUGE_VALF, -HUGE_VALF, std::nanf(""), 16777216.0f, 16777217.0f, 123456789.0f,
                            1e9f,      1e10f,      0.0001f,       0.00001f,    3.14159265f};
    for (int e = -45; e <= 38; ++e)
    {
        const float p = static_cast<float>(std::pow(10.0, e));
        v.push_back(p);
        v.push_back(std::nextafter(p, 0.0f));
        v.push_back(std::nextafter(p, HUGE_VALF));
    }
    for (int i = -3000; i <= 3000; ++i)
    {
        v.push_back(static_cast<float>(i) / 1000.0f);
        v.push_back(static_cast<float>(i) * 1024.5f);
    }
    unsigned int s = 2463534242u;
    for (int i = 0; i < 100000; ++i)
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        float f;
        std::memcpy(&f, &s, sizeof f);
        v.push_back(f);
    }
    return v;
}

template <typename T>
std::vector<T> IntegerCases()
{
    std::vector<T> v = {0, 1, -1, std::numeric_limits<T>::max(), std::numeric_limits<T>::min()};
    for (T p = 1; p <= std::numeric_limits<T>::max() / 10; p *= 10)
        for (T x : {p, static_cast<T>(p - 1), static_cast<T>(p + 1), static_cast<T>(9 * p), static_cast<T>(5 * p + 3)})
        {
            v.push_back(x);
            v.push_back(static_cast<T>(-x));
        }
    unsigned long long s = 88172645463325252ull;
    for (int i = 0; i < 100000; ++i)
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        v.push_back(static_cast<T>(s));                                        // every length
        v.push_back(static_cast<T>(s % 4000000));                              // mesh indices
        v.push_back(static_cast<T>((s >> (s % 63)) * (s & 1 ? ~0ull : 1ull))); // every magnitude
    }
    return v;
}

} // namespace

// The whole ASCII text of arrays of every type and extreme and mesh-like
// values, at two depths, is byte for byte the text of the rule above.
TEST(KQoxArrays, AsciiArrayTextsAreByteIdenticalToTheirRule)
{
    std::vector<double> doubles = FormattingCases();
    const std::vector<double> decimals = ShortDecimalCases();
    doubles.insert(doubles.end(), decimals.begin(), decimals.end());
    const std::vector<float> floats = FloatCases();
    const std::vector<int> ints = IntegerCases<int>();
    const std::vector<long long> longs = IntegerCases<long long>();
    const std::vector<unsigned char> bytes(kBytes.begin(), kBytes.end());
    const std::vector<double> few(doubles.begin(), doubles.begin() + 16);
    // Arrays large enough to be made in slices side by side, in more than
    // one round, their last line short.
    auto cycled = [](const auto& items, size_t n) {
        std::remove_const_t<std::remove_reference_t<decltype(items)>> out(n);
        for (size_t i = 0; i < n; ++i)
            out[i] = items[(i * 7 + i / items.size()) % items.size()];
        return out;
    };
    const std::vector<double> manyDoubles = cycled(doubles, 3 * 262144 + 21);
    const std::vector<float> manyFloats = cycled(floats, 262144 + 17);
    const std::vector<int> manyInts = cycled(ints, 4 * 262144 + 5);
    const std::vector<long long> manyLongs = cycled(longs, 262144);

    std::vector<unsigned char> image(160u << 20);
    KQox a;
    ASSERT_TRUE(a.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), KQox::eASCII, 6000));
    a.FieldWriteBegin("A");
    a.FieldWriteArrayD(doubles.data(), static_cast<unsigned int>(doubles.size()));
    a.FieldWriteArrayF(floats.data(), static_cast<unsigned int>(floats.size()));
    a.FieldWriteArrayI(ints.data(), static_cast<unsigned int>(ints.size()));
    a.FieldWriteArrayL(longs.data(), static_cast<unsigned int>(longs.size()));
    a.FieldWriteArrayB(bytes.data(), static_cast<unsigned int>(bytes.size()));
    a.FieldWriteBlockBegin();
    a.FieldWriteBegin("B");
    a.FieldWriteArrayD(few.data(), static_cast<unsigned int>(few.size()));
    a.FieldWriteArrayD(decimals.data(), static_cast<unsigned int>(decimals.size()));
    a.FieldWriteArrayF(floats.data(), 17);
    a.FieldWriteArrayI(ints.data(), 0);
    a.FieldWriteArrayD(manyDoubles.data(), static_cast<unsigned int>(manyDoubles.size()));
    a.FieldWriteArrayF(manyFloats.data(), static_cast<unsigned int>(manyFloats.size()));
    a.FieldWriteArrayI(manyInts.data(), static_cast<unsigned int>(manyInts.size()));
    a.FieldWriteArrayL(manyLongs.data(), static_cast<unsigned int>(manyLongs.size()));
    a.FieldWriteEnd();
    a.FieldWriteBlockEnd();
    a.FieldWriteEnd();
    ASSERT_TRUE(a.ProjectClose()) << a.GetLastErrorString();
    const std::string file(reinterpret_cast<const char*>(image.data()), static_cast<size_t>(a.ProjectGetFileSize()));

    auto integer = [](auto v) { return std::to_string(+v); };
    const std::vector<float> floats17(floats.begin(), floats.begin() + 17);
    const std::string expected =
        "; Tolvane QOX ASCII 6000\nA: " + ReferenceArray('d', doubles, 1, DoubleText) + "," +
        ReferenceArray('f', floats, 1, FloatText) + "," + ReferenceArray('i', ints, 1, integer) + "," +
        ReferenceArray('l', longs, 1, integer) + "," + ReferenceArray('b', bytes, 1, integer) +
        " {\n    B: " + ReferenceArray('d', few, 2, DoubleText) + "," + ReferenceArray('d', decimals, 2, DoubleText) +
        "," + ReferenceArray('f', floats17, 2, FloatText) + "," + ReferenceArray('i', std::vector<int>(), 2, integer) +
        "," + ReferenceArray('d', manyDoubles, 2, DoubleText) + "," + ReferenceArray('f', manyFloats, 2, FloatText) +
        "," + ReferenceArray('i', manyInts, 2, integer) + "," + ReferenceArray('l', manyLongs, 2, integer) +
        "\n}\n; EOF\n";
    ASSERT_EQ(file.size(), expected.size());
    // The first difference, as lines, rather than two texts of tens of megabytes.
    const auto diff = std::mismatch(file.begin(), file.end(), expected.begin());
    if (diff.first != file.end())
    {
        const size_t at = static_cast<size_t>(diff.first - file.begin());
        const size_t from = file.rfind('\n', at) + 1;
        ADD_FAILURE() << "at byte " << at << ":\n"
                      << file.substr(from, 200) << "\nagainst\n"
                      << expected.substr(from, 200);
    }
}

TEST(KQoxArrays, AsciiDigitRunsEndAtAnyByteOfAnEightByteLoad)
{
    // Runs of 1 to 17 digits, each ended by each blank or by the line end,
    // at every offset from the start of the array; the digits are read
    // eight at a time where eight bytes follow, so each run ends at every
    // byte of such a load, and a run of eight or more carries on past it.
    const char* separators[] = {" ", "\t", "\n", "\r\n", "   "};
    for (int shift = 0; shift < 8; ++shift)
        for (bool integers : {false, true})
        {
            std::vector<std::string> items;
            std::string body(static_cast<size_t>(shift), ' ');
            for (size_t length = 1; length <= 17; ++length)
                for (const char* separator : separators)
                {
                    std::string item = std::string("90817263544536271").substr(0, length);
                    if (!integers && length > 2)
                        item.insert(length / 2, ".");
                    items.push_back(item);
                    body += item + separator;
                }
            // The last item ends the array.
            items.push_back("7");
            const std::string text =
                AsciiArrayFile((integers ? "*l" : "*d") + std::to_string(items.size()) + ":" + body + "7");
            KQox c;
            ASSERT_TRUE(c.ProjectOpen(text.data(), static_cast<unsigned int>(text.size()))) << shift;
            ASSERT_TRUE(c.FieldReadBegin("A"));
            if (integers)
            {
                std::vector<long long> got = ReadAll(c, &KQox::FieldReadArrayL);
                ASSERT_EQ(got.size(), items.size());
                for (size_t i = 0; i < items.size(); ++i)
                    EXPECT_EQ(got[i], std::stoll(items[i])) << shift << " " << items[i];
            }
            else
            {
                std::vector<double> got = ReadAll(c, &KQox::FieldReadArrayD);
                ASSERT_EQ(got.size(), items.size());
                for (size_t i = 0; i < items.size(); ++i)
                    EXPECT_EQ(got[i], std::strtod(items[i].c_str(), nullptr)) << shift << " " << items[i];
            }
        }
    // A byte that is no digit right after digits, low and high in the byte
    // range: the array is refused, not read as a shorter number.
    for (const char* stray : {"12345/7", "12345:7", "1234567\xB5", "123\x80", "99999999\xB9"})
    {
        const std::string text = AsciiArrayFile(std::string("*i2:") + stray + " 5");
        KQox r;
        if (!r.ProjectOpen(text.data(), static_cast<unsigned int>(text.size())))
            continue;
        std::vector<int> out(2);
        EXPECT_FALSE(r.FieldReadBegin("A") && r.FieldReadArrayI(out.data(), out.size()) && r.FieldReadGetRemain() == 0)
            << stray;
    }
}

TEST(KQoxArrays, AsciiItemsOfEveryKindAcrossBlockEdges)
{
    // Plain items are found 64 bytes at a time; an item of another kind,
    // one running past the end of a block, and the array's last item with
    // the next record in the same block are each placed at every offset.
    const char* odd[] = {"1e5", "-inf", "nan", "12345678901234567890", "0.5", "-0", "7."};
    for (const char* special : odd)
        for (size_t offset = 0; offset < 70; ++offset)
        {
            std::vector<std::string> items;
            std::string body = "\n";
            while (body.size() < offset)
            {
                items.push_back(std::to_string(items.size() % 10));
                body += items.back() + (items.size() % 7 == 0 ? "\n  " : " ");
            }
            items.push_back(special);
            body += std::string(special) + " ";
            for (int k = 0; k < 40; ++k)
            {
                items.push_back(std::to_string(k * 37) + "." + std::to_string(k));
                body += items.back() + (k % 5 == 4 ? "\n" : " ");
            }
            const std::string text =
                "; Tolvane QOX ASCII 6000\nA: *d" + std::to_string(items.size()) + ":" + body + "\nB: 12345\n; EOF\n";
            KQox r;
            ASSERT_TRUE(r.ProjectOpen(text.data(), static_cast<unsigned int>(text.size()))) << special << offset;
            ASSERT_TRUE(r.FieldReadBegin("A"));
            std::vector<double> got = ReadAll(r, &KQox::FieldReadArrayD);
            r.FieldReadEnd();
            ASSERT_EQ(got.size(), items.size());
            for (size_t i = 0; i < items.size(); ++i)
            {
                const double expected = std::strtod(items[i].c_str(), nullptr);
                EXPECT_EQ(std::memcmp(&got[i], &expected, sizeof expected), 0)
                    << special << " at " << offset << ": " << items[i] << " read as " << got[i];
            }
            EXPECT_EQ(r.FieldReadI("B", 0), 12345);
        }
}

TEST(KQoxArrays, LargeAsciiArraysCountedWhenTheFileOpens)
{
    // Arrays of many items are counted once, by the pass that pairs the
    // braces; nested in blocks, next to quoted texts and comments holding
    // array-like text, and just before a closing brace, they read
    // back whole, and the other records around them are still found.
    std::string items;
    for (int i = 0; i < 3000; ++i)
        items += std::to_string(i) + (i % 16 == 15 ? "\n" : " ");
    const std::string array = "*i3000:" + items;
    const std::string text = "; Tolvane QOX ASCII 6000\n"
                             "Outer: {\n"
                             "    Note: \"*i3000:1 2 }\"\n"
                             "    ; *i2000: {\n"
                             "    A: " +
                             array +
                             "\n"
                             "    Inner: {\n"
                             "        B: " +
                             array + "\n        C: 7\n    }\n    D: " + array.substr(0, array.size() - 1) +
                             "\n}\n"
                             "E: 9\n"
                             "; EOF\n";
    KQox r;
    ASSERT_TRUE(r.ProjectOpen(text.data(), static_cast<unsigned int>(text.size())));
    ASSERT_TRUE(r.FieldReadBegin("Outer"));
    ASSERT_TRUE(r.FieldReadBlockBegin());
    EXPECT_STREQ(r.FieldReadC("Note", ""), "*i3000:1 2 }");
    for (const char* name : {"A", "D"})
    {
        ASSERT_TRUE(r.FieldReadBegin(name)) << name;
        std::vector<int> got = ReadAll(r, &KQox::FieldReadArrayI);
        ASSERT_EQ(got.size(), 3000u) << name;
        for (int i = 0; i < 3000; ++i)
            ASSERT_EQ(got[static_cast<size_t>(i)], i) << name;
        r.FieldReadEnd();
    }
    ASSERT_TRUE(r.FieldReadBegin("Inner"));
    ASSERT_TRUE(r.FieldReadBlockBegin());
    ASSERT_TRUE(r.FieldReadBegin("B"));
    EXPECT_EQ(ReadAll(r, &KQox::FieldReadArrayI).size(), 3000u);
    r.FieldReadEnd();
    EXPECT_EQ(r.FieldReadI("C", 0), 7);
    ASSERT_TRUE(r.FieldReadBlockEnd());
    r.FieldReadEnd();
    ASSERT_TRUE(r.FieldReadBlockEnd());
    r.FieldReadEnd();
    EXPECT_EQ(r.FieldReadI("E", 0), 9);

    // One item short, one too many, and a block closed inside the items:
    // the list holding the array is damaged.
    const std::string damaged[] = {
        "Outer: {\n    A: *i3001:" + items + "\n}\n",
        "Outer: {\n    A: *i2999:" + items + "\n}\n",
        "Outer: {\n    A: *i3000:" + items.substr(0, items.size() / 2) + "\n}\n" + items.substr(items.size() / 2),
    };
    for (const std::string& body : damaged)
    {
        const std::string file = "; Tolvane QOX ASCII 6000\n" + body + "; EOF\n";
        KQox d;
        if (!d.ProjectOpen(file.data(), static_cast<unsigned int>(file.size())))
            continue;
        EXPECT_FALSE(d.FieldReadBegin("Outer") && d.FieldReadBlockBegin());
    }
}

namespace {

// Plain items of every shape the slices convert themselves, of many lengths,
// so that the places the array is cut at fall inside items of each shape.
std::vector<std::string> PlainItemTexts(size_t n, bool integers, unsigned long long seed)
{
    static const char* const kShapes[] = {"0", "-0", "7", "00042", "-12", "123456789012345678", "-999999999"};
    static const char* const kDecimalShapes[] = {
        "0.5", "-0.000001", "7.", ".25", "-.5", "12345678.123456789", "0.30000000000000004"};
    std::vector<std::string> out;
    unsigned long long s = seed;
    for (size_t i = 0; i < n; ++i)
    {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        const unsigned pick = static_cast<unsigned>(s >> 33);
        if (pick % 4 == 0)
            out.push_back(kShapes[pick / 4 % 7]);
        else if (!integers && pick % 4 == 1)
            out.push_back(kDecimalShapes[pick / 4 % 7]);
        else
        {
            std::string digits = std::to_string(s >> (20 + pick % 40));
            if (!integers && pick % 3 != 0)
                digits.insert(digits.size() > 2 ? digits.size() - 2 : 0, ".");
            out.push_back((pick & 64 ? "-" : "") + digits);
        }
    }
    return out;
}

// The values of items read as one array "A" of a file whose text goes
// before the array (which moves the array against the reader's windows).
template <typename T>
bool ReadArrayOfFile(const std::string& before, const std::string& items, size_t count, char code, std::vector<T>& got,
                     bool (KQox::*read)(T*, unsigned long long), std::string* error = nullptr)
{
    const std::string text = "; Tolvane QOX ASCII 6000\n" + before + "A: *" + std::string(1, code) +
                             std::to_string(count) + ":" + items + "\nB: 12345\n; EOF\n";
    KQox r;
    bool ok = r.ProjectOpen(text.data(), static_cast<unsigned int>(text.size())) && r.FieldReadBegin("A");
    got.assign(count, T());
    ok = ok && (r.*read)(got.data(), got.size()) && r.FieldReadGetRemain() == 0;
    if (ok)
    {
        r.FieldReadEnd();
        ok = r.FieldReadI("B", 0) == 12345;
    }
    if (error)
        *error = ok ? "" : r.GetLastErrorString();
    return ok;
}

// The same items read in arrays small enough to be read item by item.
template <typename T>
std::vector<T> ReadInSmallArrays(const std::vector<std::string>& items, char code,
                                 bool (KQox::*read)(T*, unsigned long long))
{
    std::vector<T> all;
    const size_t part = 100000;
    for (size_t first = 0; first < items.size(); first += part)
    {
        const size_t n = std::min(part, items.size() - first);
        std::vector<std::string> some(items.begin() + static_cast<long>(first),
                                      items.begin() + static_cast<long>(first + n));
        std::vector<T> got;
        EXPECT_TRUE(ReadArrayOfFile("", JoinItems(some), n, code, got, read));
        all.insert(all.end(), got.begin(), got.end());
    }
    return all;
}

template <typename T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b, size_t& first)
{
    for (first = 0; first < a.size() && first < b.size(); ++first)
        if (std::memcmp(&a[first], &b[first], sizeof(T)) != 0)
            return false;
    return a.size() == b.size();
}

} // namespace

TEST(KQoxArrays, LargeAsciiArraysInSlicesReadAsItemByItem)
{
    // Arrays of many items are converted in slices side by side; each value
    // is the one the same item gives in an array read item by item, with the
    // array moved against the places it is cut at, and with one item that
    // is no plain number (exponent, "nan", a long digit run, stray letters)
    // placed at its start, middle and end; an item that is no number of the
    // array's kind fails the read.
    for (char form : {'d', 'I', 'l', 'f', 'D'})
    {
        // 'D': doubles read through the window instead of in place; 'I':
        // longs read as ints.
        const TextThroughWindow windowed(form == 'D');
        const char code = form == 'D' ? 'd' : form == 'I' ? 'l' : form;
        SCOPED_TRACE(form);
        const bool integers = code == 'i' || code == 'l';
        std::vector<std::string> items = PlainItemTexts(300000, integers, 99 + static_cast<unsigned>(code));
        for (const char* odd : {"", "1e5", "nan", "12345678901234567890", "1.2.3", "9007199254740993.5"})
            for (size_t at : {size_t(0), size_t(150001), items.size() - 1})
            {
                if (!*odd && at > 0)
                    continue;
                std::vector<std::string> these = items;
                if (*odd)
                    these[at] = odd;
                SCOPED_TRACE(std::string(odd) + " at " + std::to_string(at));
                if (std::string(odd) == "1.2.3" || (integers && *odd))
                {
                    std::vector<double> got;
                    EXPECT_FALSE(ReadArrayOfFile("", JoinItems(these), these.size(), code, got, &KQox::FieldReadArrayD));
                    continue;
                }
                const std::string text = JoinItems(these);
                for (size_t shift : {0, 1, 5, 37})
                {
                    if (*odd && shift > 0)
                        break; // one place against the cuts is enough for these
                    const std::string before = "P: \"" + std::string(shift, 'x') + "\"\n";
                    size_t first = 0;
                    if (code == 'd')
                    {
                        std::vector<double> got;
                        ASSERT_TRUE(ReadArrayOfFile(before, text, these.size(), code, got, &KQox::FieldReadArrayD));
                        static std::vector<double> expected;
                        if (shift == 0)
                            expected = ReadInSmallArrays(these, code, &KQox::FieldReadArrayD);
                        EXPECT_TRUE(SameBits(got, expected, first)) << first << " " << these[first];
                    }
                    else if (code == 'f')
                    {
                        std::vector<float> got;
                        ASSERT_TRUE(ReadArrayOfFile(before, text, these.size(), code, got, &KQox::FieldReadArrayF));
                        static std::vector<float> expected;
                        if (shift == 0)
                            expected = ReadInSmallArrays(these, code, &KQox::FieldReadArrayF);
                        EXPECT_TRUE(SameBits(got, expected, first)) << first << " " << these[first];
                    }
                    else if (form == 'I')
                    {
                        std::vector<int> got;
                        ASSERT_TRUE(ReadArrayOfFile(before, text, these.size(), code, got, &KQox::FieldReadArrayI));
                        static std::vector<int> expected;
                        if (shift == 0)
                            expected = ReadInSmallArrays(these, code, &KQox::FieldReadArrayI);
                        EXPECT_TRUE(SameBits(got, expected, first)) << first << " " << these[first];
                    }
                    else
                    {
                        std::vector<long long> got;
                        ASSERT_TRUE(ReadArrayOfFile(before, text, these.size(), code, got, &KQox::FieldReadArrayL));
                        static std::vector<long long> expected;
                        if (shift == 0)
                            expected = ReadInSmallArrays(these, code, &KQox::FieldReadArrayL);
                        EXPECT_TRUE(SameBits(got, expected, first)) << first << " " << these[first];
                    }
                }
                if (!*odd)
                    break;
            }
    }
}

TEST(KQoxArrays, LargeAsciiArraysOfSeveralBlocksReadWhole)
{
    // More text than one block of slices: every item back, the record after
    // the array found, whatever blank comes between the items.
    const size_t n = 1200000;
    std::vector<std::string> items;
    items.reserve(n);
    for (size_t i = 0; i < n; ++i)
        items.push_back(std::to_string(static_cast<long long>(i * 2654435761ull % 100000000) - 50000000));
    const std::string text = JoinItems(items);
    ASSERT_GT(text.size(), size_t(9) << 20);
    std::vector<int> got;
    ASSERT_TRUE(ReadArrayOfFile("", text, n, 'i', got, &KQox::FieldReadArrayI));
    for (size_t i = 0; i < n; ++i)
        ASSERT_EQ(got[i], static_cast<long long>(i * 2654435761ull % 100000000) - 50000000) << i;
}

TEST(KQoxArrays, LargeAsciiArraysWithDamageAreCorruptionAsItemByItem)
{
    // An item too long to be a number in a large array is damage, as in a
    // small one; 64 characters are still a number. A file cut inside the
    // array is corrupted.
    std::vector<std::string> items = PlainItemTexts(300000, false, 7);
    for (size_t at : {size_t(3), size_t(123457), items.size() - 1})
    {
        std::vector<std::string> these = items;
        these[at] = std::string(65, '1');
        std::vector<double> got;
        std::string error;
        EXPECT_FALSE(ReadArrayOfFile("", JoinItems(these), these.size(), 'd', got, &KQox::FieldReadArrayD, &error));
        EXPECT_EQ(error, "File is corrupted") << at;
        these[at] = std::string(64, '1');
        ASSERT_TRUE(ReadArrayOfFile("", JoinItems(these), these.size(), 'd', got, &KQox::FieldReadArrayD));
        EXPECT_EQ(got[at], std::strtod(these[at].c_str(), nullptr));
    }
    const std::string text =
        "; Tolvane QOX ASCII 6000\nA: *d" + std::to_string(items.size()) + ":" + JoinItems(items) + "\nB: 1\n; EOF\n";
    for (size_t cut : {text.size() / 3, text.size() / 2 + 1, text.size() - 20})
    {
        KQox r;
        std::vector<double> got(items.size());
        const bool read = r.ProjectOpen(text.data(), static_cast<unsigned int>(cut)) && r.FieldReadBegin("A") &&
                          r.FieldReadArrayD(got.data(), got.size());
        EXPECT_FALSE(read) << cut;
        EXPECT_STREQ(r.GetLastErrorString(), "File is corrupted") << cut;
    }
}

TEST(KQoxArrays, EveryByteInsideALargeArrayReadsAsInASmallOne)
{
    // Each byte value put inside one item of a large array (counted and
    // parsed 64 bytes a step) is taken as the same byte inside a small array
    // (looked at one by one): the read succeeds or fails alike, and the item
    // reads the same.
    std::string head, tail;
    for (int i = 0; i < 1500; ++i)
        head += std::to_string(i % 997) + (i % 16 == 15 ? "\n" : " ");
    for (int i = 0; i < 1499; ++i)
        tail += " " + std::to_string(i % 991);
    for (int b = 1; b < 256; ++b)
    {
        const std::string item = "1" + std::string(1, static_cast<char>(b)) + "2";
        std::vector<long long> large, small;
        const bool largeRead = ReadArrayOfFile("", head + item + tail, 3000, 'l', large, &KQox::FieldReadArrayL);
        const bool smallRead = ReadArrayOfFile("", "7 " + item + " 9", 3, 'l', small, &KQox::FieldReadArrayL);
        ASSERT_EQ(largeRead, smallRead) << b;
        if (largeRead)
        {
            EXPECT_EQ(large[1500], small[1]) << b;
        }
    }
}

namespace {

// Texts of items that no quick path takes as a plain number, or only some
// do: exponents, infinities, NaN, signs and points out of place, digit runs
// past eight bytes and past the range of a long, denormals.
const char* const kOddDoubleTexts[] = {"1e5",
                                       "-2.5E+10",
                                       "inf",
                                       "-inf",
                                       "nan",
                                       "7.",
                                       ".5",
                                       "-.5",
                                       "+1.5",
                                       "123456789",
                                       "0.12345678",
                                       "12345678.9",
                                       "00000000001",
                                       "1e400",
                                       "-1e400",
                                       "1e-400",
                                       "4.94065645841247e-324",
                                       "2.2250738585072e-308",
                                       "1.79769313486232e+308",
                                       "99999999999999999999",
                                       "0.000000001",
                                       "-0",
                                       "-0.0",
                                       "00000000",
                                       "9007199254740993"};
const char* const kOddIntegerTexts[] = {"+3",  "123456789",  "00000000",    "-00000000", "-0",
                                        "2147483648", "-2147483649", "99999999", "-99999999"};

// The value an item's text reads as in an array of that one item (too short
// for any block of the text to be converted at once).
template <typename T>
T ReadAlone(const std::string& item, char code, bool (KQox::*read)(T*, unsigned long long))
{
    std::vector<T> got;
    EXPECT_TRUE(ReadArrayOfFile("", item, 1, code, got, read)) << item;
    return got.empty() ? T() : got[0];
}

// A random plain item: an optional '-', digits and, for decimals, mostly a
// point among them; mostly of up to eight bytes after the sign, sometimes
// longer. Integers and decimals of up to 17 digits read exactly as strtod
// and strtoll make them.
std::string RandomPlainItem(unsigned long long& s, bool integers)
{
    auto next = [&s](unsigned n) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned>((s >> 33) % n);
    };
    std::string text = next(4) == 0 ? "-" : "";
    const unsigned wholeDigits = integers ? 1 + next(next(8) == 0 ? 17 : 8) : next(9);
    const bool point = !integers && next(4) != 0;
    const unsigned fractionDigits = point ? next(next(8) == 0 ? 9 : 7) : 0;
    if (wholeDigits + fractionDigits == 0)
        return text + "0";
    for (unsigned k = 0; k < wholeDigits; ++k)
        text += static_cast<char>('0' + next(10));
    if (point)
        text += '.';
    for (unsigned k = 0; k < fractionDigits; ++k)
        text += static_cast<char>('0' + next(10));
    return text;
}

template <typename T>
void ExpectRandomItemsReadAsAlone(char code, bool (KQox::*read)(T*, unsigned long long), size_t n,
                                  unsigned long long seed)
{
    const bool integers = code == 'i' || code == 'l';
    const char* const* odd = integers ? kOddIntegerTexts : kOddDoubleTexts;
    const size_t oddCount = integers ? sizeof kOddIntegerTexts / sizeof *kOddIntegerTexts
                                     : sizeof kOddDoubleTexts / sizeof *kOddDoubleTexts;
    std::vector<T> oddValues;
    for (size_t k = 0; k < oddCount; ++k)
        oddValues.push_back(ReadAlone<T>(odd[k], code, read));
    static const char* const kSeparators[] = {" ", "  ", "\t", "\r\n", "\n", "\n    ", "\n                        "};
    unsigned long long s = seed;
    std::vector<std::string> items;
    std::vector<T> expected;
    std::string body;
    for (size_t k = 0; k < n; ++k)
    {
        s = s * 2862933555777941757ull + 3037000493ull;
        const unsigned pick = static_cast<unsigned>(s >> 40);
        if (pick % 64 == 0)
        {
            items.push_back(odd[pick / 64 % oddCount]);
            expected.push_back(oddValues[pick / 64 % oddCount]);
        }
        else
        {
            items.push_back(RandomPlainItem(s, integers));
            const std::string& text = items.back();
            if (integers)
            {
                const long long v = std::strtoll(text.c_str(), nullptr, 10);
                if (std::is_floating_point<T>::value)
                    expected.push_back(static_cast<T>(static_cast<double>(v)));
                else if (std::is_same<T, int>::value)
                    expected.push_back(static_cast<T>(v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v));
                else
                    expected.push_back(static_cast<T>(v));
            }
            else
            {
                expected.push_back(static_cast<T>(std::strtod(text.c_str(), nullptr)));
            }
        }
        if (k > 0)
            body += kSeparators[pick / 8 % (sizeof kSeparators / sizeof *kSeparators)];
        body += items.back();
    }
    // The array moved against the 64-byte blocks it is converted by.
    for (size_t shift : {0, 3, 37})
    {
        std::vector<T> got;
        ASSERT_TRUE(ReadArrayOfFile(std::string(shift, ';') + "\n", body, n, code, got, read)) << code << shift;
        size_t first = 0;
        EXPECT_TRUE(SameBits(got, expected, first))
            << code << " shifted " << shift << ": item " << first << " \"" << (first < n ? items[first] : "") << "\"";
    }
}

} // namespace

TEST(KQoxArrays, RandomPlainItemsReadAsTheyDoAlone)
{
    // Millions of random texts of plain numbers (converted a block of text
    // at a time where the processor has the registers for it), with odd
    // ones among them: each value is bit for bit the one strtod or strtoll
    // gives, or that the same text gives in an array of its own.
    ExpectRandomItemsReadAsAlone<double>('d', &KQox::FieldReadArrayD, 1000000, 1);
    ExpectRandomItemsReadAsAlone<float>('f', &KQox::FieldReadArrayF, 300000, 2);
    // (The integers run past the range of an int: long arrays.)
    ExpectRandomItemsReadAsAlone<int>('l', &KQox::FieldReadArrayI, 1000000, 3);
    ExpectRandomItemsReadAsAlone<long long>('l', &KQox::FieldReadArrayL, 300000, 4);
    ExpectRandomItemsReadAsAlone<double>('l', &KQox::FieldReadArrayD, 200000, 5);
    ExpectRandomItemsReadAsAlone<long long>('d', &KQox::FieldReadArrayL, 200000, 6);
    ExpectRandomItemsReadAsAlone<float>('l', &KQox::FieldReadArrayF, 200000, 7);
    ExpectRandomItemsReadAsAlone<int>('d', &KQox::FieldReadArrayI, 200000, 8);
    ExpectRandomItemsReadAsAlone<unsigned char>('l', &KQox::FieldReadArrayB, 200000, 9);
    // Through the reader's window: blocks of text end where windows do.
    const TextThroughWindow windowed(true);
    ExpectRandomItemsReadAsAlone<double>('d', &KQox::FieldReadArrayD, 300000, 10);
    ExpectRandomItemsReadAsAlone<int>('l', &KQox::FieldReadArrayI, 300000, 11);
}

TEST(KQoxArrays, PlainArraysWithDamageAreCorruptionAsBefore)
{
    // Arrays of plain numbers only (converted a block at a time): counts
    // one too many and one too few, the text cut inside an item and a stray
    // byte among the items are damage, in place and through the window;
    // whole, they read back exactly.
    for (bool windowed : {false, true})
        for (char code : {'d', 'l'})
        {
            const TextThroughWindow window(windowed);
            SCOPED_TRACE(std::string(1, code) + (windowed ? " windowed" : " in place"));
            unsigned long long s = 99;
            std::vector<std::string> items;
            for (int k = 0; k < 50000; ++k)
                items.push_back(RandomPlainItem(s, code == 'l'));
            const std::string body = JoinItems(items);
            const std::string n = std::to_string(items.size());
            std::vector<double> got;
            ASSERT_TRUE(ReadArrayOfFile("", body, items.size(), code, got, &KQox::FieldReadArrayD));
            for (size_t k = 0; k < items.size(); ++k)
                ASSERT_EQ(got[k], std::strtod(items[k].c_str(), nullptr)) << items[k];
            const std::string damaged[] = {
                "A: *" + std::string(1, code) + std::to_string(items.size() + 1) + ":" + body + "\n",
                "A: *" + std::string(1, code) + std::to_string(items.size() - 1) + ":" + body + "\n",
                "A: *" + std::string(1, code) + n + ":" + body.substr(0, body.size() / 2 + 1),
                "A: *" + std::string(1, code) + n + ":" + body.substr(0, body.size() / 2) + " /" +
                    body.substr(body.size() / 2) + "\n",
            };
            for (const std::string& field : damaged)
            {
                const std::string text = "; Tolvane QOX ASCII 6000\n" + field + "; EOF\n";
                KQox r;
                if (!r.ProjectOpen(text.data(), static_cast<unsigned int>(text.size())))
                {
                    EXPECT_EQ(r.GetLastErrorID(), KQox::eFILE_CORRUPTED);
                    continue;
                }
                std::vector<double> out(items.size() + 2);
                EXPECT_FALSE(r.FieldReadBegin("A") && r.FieldReadArrayD(out.data(), out.size())) << field.substr(0, 40);
            }
            // An item of two points among them is no number: damage too.
            items[items.size() / 2] = "1.2.3";
            EXPECT_FALSE(ReadArrayOfFile("", JoinItems(items), items.size(), code, got, &KQox::FieldReadArrayD));
        }
}

TEST(KQoxArrays, PlainItemsOfEightBytesAndMoreAtEveryPlaceOfABlock)
{
    // Items at the edge of what a block converts at once (eight bytes after
    // the sign, with or without a point; sixteen digits) and just past it, each placed at
    // every offset of a 64-byte block, among plain items: each reads as it
    // does alone.
    const char* const edges[] = {"12345678",         "-12345678",         "123456789",         "1234567.",
                                 "12345678.",        ".1234567",          "-.1234567",         ".12345678",
                                 "1.234567",         "-1.234567",         "0.0000001",         "99999999",
                                 "1234567890123456", "-9999999999999999", "12345678901234567", "-0000000000000001"};
    for (char code : {'d', 'l'})
        for (const char* edge : edges)
        {
            if (code == 'l' && std::strchr(edge, '.'))
                continue;
            const double alone = ReadAlone<double>(edge, code, &KQox::FieldReadArrayD);
            for (size_t offset = 0; offset < 72; ++offset)
            {
                std::vector<std::string> items;
                std::string body = "\n";
                while (body.size() < offset)
                {
                    items.push_back(std::to_string(items.size() % 10));
                    body += items.back() + " ";
                }
                items.push_back(edge);
                for (int k = 0; k < 40; ++k)
                    items.push_back(code == 'l' ? std::to_string(k * 37) : std::to_string(k) + ".5");
                for (size_t k = items.size() - 41; k < items.size(); ++k)
                    body += items[k] + (k % 9 == 8 ? "\n" : " ");
                std::vector<double> got;
                ASSERT_TRUE(ReadArrayOfFile("", body, items.size(), code, got, &KQox::FieldReadArrayD))
                    << edge << " at " << offset;
                for (size_t k = 0; k < items.size(); ++k)
                {
                    const double expected = items[k] == edge ? alone : std::strtod(items[k].c_str(), nullptr);
                    ASSERT_EQ(std::memcmp(&got[k], &expected, sizeof expected), 0)
                        << edge << " at " << offset << ": " << items[k] << " read as " << got[k];
                }
            }
        }
}
