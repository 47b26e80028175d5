// The host's numbers while LC_NUMERIC writes a decimal comma: script
// arguments, results, messages and the scene dump as in the "C" locale.
#include "host_test_util.h"

#include <cmath>
#include <locale>

namespace {

using Strings = std::vector<std::string>;

class HostLocaleTest : public HostTest
{
protected:
    // The texts the host makes of a small animated scene and some numbers.
    Strings HostTexts();
};

Strings HostLocaleTest::HostTexts()
{
    Strings texts;
    Run("file -f -new");
    Run("createNode transform -n a; setAttr a.tx 1.5; setAttr a.ty -2.5e-3; setAttr a.tz 0x1p-2");
    Run("setKeyframe -t 1 -v 0.25 a.rx; setKeyframe -t 2.5 -v 90 a.rx");
    for (const char* query : {"getAttr a.tx", "getAttr a.ty", "getAttr a.tz"})
        for (const std::string& text : Run(query))
            texts.push_back(text);
    const std::string dump = zelthost::Host::Get().Dump();
    texts.push_back(dump.substr(dump.find("a (transform)\n")));

    ZString number("-0.125");
    texts.push_back(std::to_string(number.asDouble() == -0.125) + std::to_string(number.isDouble()));
    texts.push_back(std::to_string(ZString("2.5cm").asDouble() == 2.5) + std::to_string(ZString("1,5").isDouble()));
    ZString sum("v=");
    sum += 0.1;
    texts.push_back(sum.str());

    ZFnAnimCurve curve;
    ZStatus st;
    curve.create(Plug("a", "sx"), ZFnAnimCurve::kAnimCurveTU, nullptr, &st);
    curve.addKey(ZTime(0.5), 1.0);
    curve.addKey(ZTime(0.5), 2.0, ZFnAnimCurve::kTangentGlobal, ZFnAnimCurve::kTangentGlobal, nullptr, &st);
    texts.push_back(st.errorString());
    return texts;
}

} // namespace

TEST_F(HostLocaleTest, NumbersAreTheSameWithADecimalComma)
{
    const Strings inC = HostTexts();
    ASSERT_EQ(inC[0], "1.5");
    ASSERT_EQ(inC[1], "-0.0025");
    ASSERT_EQ(inC[2], "0.25");
    ASSERT_NE(inC[3].find("  .translateX = 1.5\n"), std::string::npos) << inC[3];
    ASSERT_EQ(inC[4], "11");
    ASSERT_EQ(inC[5], "10");
    ASSERT_EQ(inC[6], "v=0.10000000000000001");
    ASSERT_EQ(inC.back(), "a key already exists at time 0.500000 s");

    qoxtest::CommaLocale comma;
    QOX_NEED_COMMA_LOCALE(comma);
    EXPECT_EQ(inC, HostTexts());
}

namespace {

// Digits grouped one by one with a point between, as no real locale does:
// any count of two digits or more shows it.
struct GroupEveryDigit : std::numpunct<char>
{
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\1"; }
};

} // namespace

TEST_F(HostLocaleTest, CountsIgnoreTheGlobalStreamLocale)
{
    Run("file -f -new");
    for (int i = 0; i < 12; ++i)
        Run("createNode transform -n t" + std::to_string(i));
    const std::string info = zelthost::Host::Get().Info();
    ASSERT_NE(info.find("transforms: 16\n"), std::string::npos) << info;
    const std::locale before = std::locale::global(std::locale(std::locale::classic(), new GroupEveryDigit));
    const std::string grouped = zelthost::Host::Get().Info();
    std::locale::global(before);
    EXPECT_EQ(info, grouped);
}
