// Property texts written and read while LC_NUMERIC writes a decimal comma:
// the same as in the "C" locale.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "object/kproperty.h"
#include "object/kpropertydatatype.h"

namespace {

template <class T>
struct Prop : KPropertyTemplate<T>
{
    explicit Prop(T value)
    {
        this->Init();
        this->Set(value);
    }
};

// The texts of a number, a vector and colours, and what the types read from
// texts with a point.
std::vector<std::string> Texts()
{
    std::vector<std::string> texts;
    char text[400];
    double number = -0.125;
    KDataTypeNumber::DataType->Get(text, sizeof(text), &number);
    texts.push_back(text);
    double members[3] = {1.25, -2.5, 1e20};
    KDataTypeLclTranslation::DataType->Get(text, sizeof(text), members);
    texts.push_back(text);
    Prop<KgeTVector> vector(KgeTVector(1.5, 2, 3, 9));
    Prop<KgeRGBAVector> rgba(KgeRGBAVector(0.5, 0.25, 0.125, 0.75));
    texts.push_back(vector.AsString().ToChars());
    texts.push_back(rgba.AsString().ToChars());

    double read[3] = {9, 9, 9};
    KDataTypeVector::DataType->Set("{-1.5e2,0.25,+4}", read);
    double single = 9;
    KDataTypeNumber::DataType->Set("2.75", &single);
    for (double value : {read[0], read[1], read[2], single})
        texts.push_back(std::to_string(static_cast<long long>(value * 1000)));
    return texts;
}

} // namespace

TEST(PropertyTextLocale, TheSameWithADecimalComma)
{
    const std::vector<std::string> inC = Texts();
    ASSERT_EQ(inC[2], "{1.500000,2.000000,3.000000}");
    ASSERT_EQ(inC[4], "-150000");
    ASSERT_EQ(inC[7], "2750");

    qoxtest::CommaLocale comma;
    QOX_NEED_COMMA_LOCALE(comma);
    EXPECT_EQ(inC, Texts());
}
