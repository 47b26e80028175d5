// ASCII native files and the other text the base library reads and writes,
// in a locale whose decimal separator is a comma.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/kconfigfile.h"
#include "base/kpath.h"
#include "base/knumbertext.h"
#include "base/kqox.h"
#include "base/kstring.h"
#include "base/ktextfile.h"
#include "common/qox_test_common.h"

namespace {

// Scalars of each kind, numbers in texts and an array: the ASCII image.
std::string WriteNumbers()
{
    std::vector<unsigned char> image(4096);
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(image.data(), 4096, KQox::eASCII, 6000));
    f.FieldWriteBegin("V");
    f.FieldWriteD(2.75);
    f.FieldWriteD(-1.0 / 3.0);
    f.FieldWriteD(1.5e-300);
    f.FieldWriteF(0.1f);
    f.FieldWriteC("12.5");
    f.FieldWriteC("-0.25e2");
    f.FieldWriteEnd();
    f.FieldWriteBegin("A");
    const double items[] = {0.5, -7.125, 1e21};
    f.FieldWriteArrayD(items, 3);
    f.FieldWriteEnd();
    EXPECT_TRUE(f.ProjectClose());
    return std::string(reinterpret_cast<char*>(image.data()), static_cast<size_t>(f.ProjectGetFileSize()));
}

// What a reader makes of each value: its type guess and its number.
std::vector<std::string> ReadNumbers(std::string text)
{
    std::vector<std::string> seen;
    KQox r;
    if (!r.ProjectOpen(&text[0], static_cast<unsigned int>(text.size())))
        return seen;
    if (r.FieldReadBegin("V"))
        while (r.FieldReadGetRemain() > 0)
        {
            seen.push_back(std::string(1, r.FieldReadGetType()));
            seen.push_back(KDoubleText(r.FieldReadD(), 'g', 17));
        }
    r.FieldReadEnd();
    if (r.FieldReadBegin("A"))
    {
        double items[4] = {};
        r.FieldReadArrayD(items, 4);
        for (double item : items)
            seen.push_back(KDoubleText(item, 'g', 17));
    }
    return seen;
}

} // namespace

TEST(KQoxLocale, AsciiTextAndValuesAreTheSameWithADecimalComma)
{
    const std::string written = WriteNumbers();
    ASSERT_NE(written.find("2.75,-0.333333333333333,1.5e-300,0.100000001,\"12.5\""), std::string::npos) << written;
    const std::vector<std::string> read = ReadNumbers(written);
    ASSERT_EQ(read[0], "D");
    ASSERT_EQ(read[8], "S");
    ASSERT_EQ(read[9], "12.5");
    // Hand-written texts the fast path leaves to the general scan: a sign
    // before the digits, a value beyond the range.
    std::string other = written;
    other.replace(other.find("2.75"), 4, "+2.75");
    other.replace(other.find("1e+21"), 5, "1e999");
    const std::vector<std::string> readOther = ReadNumbers(other);
    ASSERT_EQ(readOther[1], "2.75");
    ASSERT_EQ(readOther.back(), "0");
    ASSERT_EQ(readOther[readOther.size() - 2], "1.7976931348623157e+308");

    qoxtest::CommaLocale comma;
    QOX_NEED_COMMA_LOCALE(comma);
    EXPECT_EQ(written, WriteNumbers());
    EXPECT_EQ(read, ReadNumbers(written));
    EXPECT_EQ(readOther, ReadNumbers(other));
}

TEST(KQoxLocale, StringsSettingsAndTextFilesWithADecimalComma)
{
    qoxtest::TempDir dir;
    KLib_SetConfigDirectory(dir.Path().c_str());
    const std::string table = dir.File("table.txt");
    ASSERT_TRUE(qoxtest::WriteFile(table, "1.5 2.25e1\n"));
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("user.ini"), "[Params]\nGiven = 0.125\n"));

    qoxtest::CommaLocale comma;
    QOX_NEED_COMMA_LOCALE(comma);
    EXPECT_STREQ(KString(1.5).ToChars(), "1.500000");
    EXPECT_STREQ(KString(-0.25f).ToChars(), "-0.250000");
    KString sum("x=");
    sum += 2.5f;
    EXPECT_STREQ(sum.ToChars(), "x=2.500000");

    KRegistry& registry = KRegistry::Instance();
    ASSERT_TRUE(registry.Connect("user.ini", "Params"));
    EXPECT_EQ(registry.ReadFloat(nullptr, "Given", 9.0f), 0.125f);
    EXPECT_TRUE(registry.WriteFloat(nullptr, "Scale", 0.75f));
    EXPECT_EQ(registry.ReadFloat(nullptr, "Scale", 9.0f), 0.75f);
    registry.Close();
    KLib_SetConfigDirectory("");
    EXPECT_EQ(qoxtest::ReadFile(dir.File("user.ini")), "[Params]\nGiven = 0.125\nScale = 0.750000\n");

    KTextFile file("X", " ", "#", true, false);
    ASSERT_FALSE(file.Open(table.c_str(), "r"));
    double value = 0.0;
    ASSERT_TRUE(file.GetDouble(value, 1.0));
    EXPECT_EQ(value, 1.5);
    ASSERT_TRUE(file.GetDouble(value, 2.0));
    EXPECT_EQ(value, 45.0);
}
