// Curves stored as fields of the native file, and every older key layout read back.

#include "fcurve_test_util.h"

#include <climits>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

using namespace fctest;

namespace {

const unsigned int AUTO_BREAK = KFCURVE_TANGEANT_AUTO_BREAK, TCB = KFCURVE_TANGEANT_TCB;
struct Destroyer
{
    void operator()(KFCurve* c) const { c->Destroy(); }
};

using Curve = std::unique_ptr<KFCurve, Destroyer>;

// A section holding one "Channel" block named "T".
template <typename Writer>
Image WriteChannel(KQox::EForm form, int sectionVersion, Writer write)
{
    return WriteSection(form, sectionVersion, [&](KQox& f) {
        BeginChannel(f, "T");
        write(f);
        EndChannel(f);
    });
}

bool OpenChannel(KQox& f, const Image& image)
{
    return OpenSection(f, image) && f.FieldReadBegin("Channel") && f.FieldReadBlockBegin();
}

// Appends a key at a 24th of a second; cubic keys take mode and slopes, others the constant mode.
KFCurveKey* Append(KFCurve& curve, int frame, float value, unsigned int interpolation, unsigned int mode = 0,
                   float slot0 = 0.0f, float slot1 = 0.0f)
{
    KFCurveKey* key = curve.KeyGetPtr(curve.KeyAppendFast(KTime(frame * kTicksPerSecond / 24), value));
    key->SetInterpolation(interpolation);
    if (interpolation == U)
    {
        key->SetTangeantMode(mode);
        key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, slot0);
        key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, slot1);
    }
    else
    {
        key->SetConstantMode(mode);
    }
    return key;
}

void SetWeights(KFCurveKey* key, unsigned int mode, float right, float nextLeft)
{
    key->SetTangeantWeightMode(mode, KFCURVE_WEIGHTED_ALL);
    key->SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, right);
    key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT, nextLeft);
}

// Every key letter and weight letter of the current layout, chosen so that reading changes nothing.
void FillEveryLetter(KFCurve& c)
{
    c.SetValue(2.5f);
    float color[3] = {0.25f, 0.5f, 0.75f};
    c.SetColor(color);
    const float W = KFCURVE_DEFAULT_WEIGHT;
    Append(c, 0, 1.0f, C, KFCURVE_CONSTANT_STANDARD);          // C s
    Append(c, 1, 2.0f, C, KFCURVE_CONSTANT_NEXT);              // C n
    Append(c, 2, 3.0f, L);                                     // L
    KFCurveKey* tcb = Append(c, 3, -4.0f, U, TCB, 0.1f, 0.2f); // U t
    tcb->SetDataFloat(KFCURVEKEY_TCB_BIAS, -0.3f);
    Append(c, 4, 5.0f, U, USER, 1.5f, -2.5f);                                                   // U s n
    SetWeights(Append(c, 5, 6.0f, U, USER, 0.5f, 0.25f), KFCURVE_WEIGHTED_RIGHT, 0.2f, W);      // U s r
    SetWeights(Append(c, 6, 7.0f, U, BREAK, -1.0f, 2.0f), KFCURVE_WEIGHTED_NEXT_LEFT, W, 0.7f); // u b l
    SetWeights(Append(c, 7, 8.0f, U, USER, 3.0f, 4.0f), KFCURVE_WEIGHTED_ALL, 0.25f, 0.5f);     // U s a
    Append(c, 8, 9.0f, U, BREAK);                                                               // U b n
    Append(c, 9, 10.0f, U, AUTO, 0.0f, -0.5f);                                                  // U p
    SetWeights(Append(c, 10, 11.0f, U, AUTO, 0.5f, 0.0f), KFCURVE_WEIGHTED_RIGHT, 0.4f, W);     // U p r
    Append(c, 11, 12.0f, U, AUTO_BREAK, 0.3f, 0.6f);                                            // U q
    Append(c, 12, 13.0f, U, AUTO);                                                              // U a
    Append(c, 13, 14.25f, L);
    c.SetPreExtrapolation(KFCURVE_EXTRAPOLATION_REPETITION);
    c.SetPreExtrapolationCount(3);
    c.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_KEEP_SLOPE);
    c.SetPostExtrapolationCount(KFCURVE_UNLIMITED_REPETITION);
}

// The same record bit for bit where the file carries it: flags, and every data slot that the key's kind uses.
void ExpectSameCurve(KFCurve& a, KFCurve& b)
{
    EXPECT_EQ(a.GetValue(), b.GetValue());
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(a.GetColor()[k], b.GetColor()[k]);
    EXPECT_EQ(a.GetPreExtrapolation(), b.GetPreExtrapolation());
    EXPECT_EQ(a.GetPreExtrapolationCount(), b.GetPreExtrapolationCount());
    EXPECT_EQ(a.GetPostExtrapolation(), b.GetPostExtrapolation());
    EXPECT_EQ(a.GetPostExtrapolationCount(), b.GetPostExtrapolationCount());
    ASSERT_EQ(Times(a), Times(b));
    EXPECT_EQ(Values(a), Values(b));
    for (int i = 0; i < a.KeyGetCount(); ++i)
    {
        const KFCurveKey* x = a.KeyGetPtr(i);
        const KFCurveKey* y = b.KeyGetPtr(i);
        EXPECT_EQ(x->GetFlags(), y->GetFlags()) << i;
        const int bytes = x->GetInterpolation() == U ? 12 : 0; // slopes, then the TCB bias or the weights
        EXPECT_EQ(std::memcmp(x->GetDataPtr(), y->GetDataPtr(), bytes), 0) << i;
    }
}

// A value of a hand-built "Key" field: 'L' ticks, 'D' double, 'C' letter, 'I' integer.
struct KeyValue
{
    char kind;
    double number;
};

KeyValue T(long long ticks)
{
    return {'L', static_cast<double>(ticks)};
}
// The time of a key at whole seconds.
KeyValue At(int seconds)
{
    return T(seconds * kTicksPerSecond);
}
KeyValue D(double v)
{
    return {'D', v};
}
KeyValue Ch(char c)
{
    return {'C', static_cast<double>(c)};
}
KeyValue I(int v)
{
    return {'I', static_cast<double>(v)};
}

// A key count that writes no "KeyCount" field.
const int kNoCount = INT_MIN;

// A curve's fields written by hand: "Default" 0.5, "KeyVer" unless the key
// version is 0, "KeyCount" unless kNoCount, and "Key" holding the values
// when given.
void WriteHandBuilt(KQox& f, int keyVersion, int keyCount, const std::vector<KeyValue>* values)
{
    WriteD(f, "Default", 0.5);
    if (keyVersion)
        WriteI(f, "KeyVer", keyVersion);
    if (keyCount != kNoCount)
        WriteI(f, "KeyCount", keyCount);
    if (!values)
        return;
    f.FieldWriteBegin("Key");
    for (const KeyValue& v : *values)
    {
        switch (v.kind)
        {
        case 'L': f.FieldWriteL(static_cast<long long>(v.number)); break;
        case 'D': f.FieldWriteD(v.number); break;
        case 'C': f.FieldWriteCH(static_cast<char>(v.number)); break;
        default: f.FieldWriteI(static_cast<int>(v.number)); break;
        }
    }
    f.FieldWriteEnd();
}

// Reads a curve whose fields are written by hand; key version 0 writes no "KeyVer".
Curve ReadHandBuilt(int keyVersion, int keyCount, const std::vector<KeyValue>& values, KQox::EForm form = KQox::eBINARY)
{
    Image image = WriteChannel(form, 6000, [&](KQox& f) { WriteHandBuilt(f, keyVersion, keyCount, &values); });
    KQox f;
    EXPECT_TRUE(OpenChannel(f, image));
    return Curve(KFCurveCreate(&f));
}

// The values of field `name` of the open block: their type codes, their letters and their numbers, in order.
struct Field
{
    std::string types, letters;
    std::vector<double> numbers;
};

Field ReadField(KQox& f, const char* name)
{
    Field field;
    EXPECT_TRUE(f.FieldReadBegin(name)) << name;
    while (f.FieldReadGetRemain() > 0)
    {
        field.types += f.FieldReadGetType();
        if (field.types.back() == 'C')
            field.letters += f.FieldReadCH();
        else
            field.numbers.push_back(f.FieldReadD());
    }
    f.FieldReadEnd();
    return field;
}

float Slot(const Curve& c, int key, EKFCurveDataIndex slot)
{
    return c->KeyGetDataDouble(key, slot);
}

// Per key the two float slots: the right and next-left slopes (tension and continuity for TCB keys).
std::vector<float> Slopes(const Curve& c)
{
    std::vector<float> slopes;
    for (int i = 0; i < c->KeyGetCount(); ++i)
    {
        slopes.push_back(c->KeyGetDataFloat(i, KFCURVEKEY_RIGHT_SLOPE));
        slopes.push_back(c->KeyGetDataFloat(i, KFCURVEKEY_NEXT_LEFT_SLOPE));
    }
    return slopes;
}

} // namespace

TEST(KFCurveStorage, EveryKeyAndWeightLetterRoundTripsInEveryForm)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED})
    {
        for (int sectionVersion : {6000, 2000})
        {
            SCOPED_TRACE(std::to_string(form) + " " + std::to_string(sectionVersion));
            Curve curve(KFCurveCreate());
            FillEveryLetter(*curve);
            Image image = WriteChannel(form, sectionVersion, [&](KQox& f) { EXPECT_TRUE(curve->QoxStore(&f)); });
            KQox f;
            ASSERT_TRUE(OpenChannel(f, image));
            Curve back(KFCurveCreate(&f));
            ASSERT_NE(back, nullptr);
            if (sectionVersion == 6000)
            {
                ExpectSameCurve(*curve, *back);
                continue;
            }
            // Seconds in a double: each time comes back within a tick.
            ASSERT_EQ(back->KeyGetCount(), curve->KeyGetCount());
            for (int i = 0; i < curve->KeyGetCount(); ++i)
                EXPECT_LE(std::llabs(back->KeyGetTime(i).Get() - curve->KeyGetTime(i).Get()), 1);
        }
    }
}

TEST(KFCurveStorage, FieldsWrittenInOrderWithTypeCodes)
{
    Curve curve(KFCurveCreate());
    curve->SetValue(1.5f);
    Append(*curve, 0, 1.0f, C, KFCURVE_CONSTANT_NEXT);
    Append(*curve, 24, 2.0f, U, AUTO);
    KFCurveKey* weighted = Append(*curve, 48, 3.0f, U, AUTO, 0.5f, 0.25f);
    SetWeights(weighted, KFCURVE_WEIGHTED_NEXT_LEFT, KFCURVE_DEFAULT_WEIGHT, 0.5f);
    curve->SetPreExtrapolationCount(3);
    Image image = WriteChannel(KQox::eBINARY, 6000, [&](KQox& f) { curve->QoxStore(&f); });
    KQox f;
    ASSERT_TRUE(OpenChannel(f, image));
    const char* order[] = {"Default", "KeyVer", "KeyCount", "Key", "Pre-Extrapolation", "Color"};
    ASSERT_EQ(f.FieldReadGetRecordCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_STREQ(f.FieldReadGetRecordName(i), order[i]);
    const Field value = ReadField(f, "Default");
    EXPECT_EQ(value.types + std::to_string(value.numbers.at(0)), "D1.500000");
    EXPECT_EQ(f.FieldReadI("KeyVer", 0), 4004);
    EXPECT_EQ(f.FieldReadI("KeyCount", 0), 3);
    const Field keys = ReadField(f, "Key"); // per key: time, value, kind letter, mode letter(s), slopes and weights
    EXPECT_EQ(keys.types, "LDCC"
                          "LDCC"
                          "LDCCDDCD");
    EXPECT_EQ(keys.letters, "Cn"
                            "Ua"
                            "Upl");
    const double weight = weighted->GetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT); // 4999 / 9999
    EXPECT_EQ(keys.numbers, (std::vector<double>{0, 1, 4.6186158e10, 2, 2 * 4.6186158e10, 3, 0.5, 0.25, weight}));
    ASSERT_TRUE(f.FieldReadBegin("Pre-Extrapolation"));
    EXPECT_EQ(f.FieldReadGetRemain(), 0);
    ASSERT_TRUE(f.FieldReadBlockBegin());
    ASSERT_TRUE(f.FieldReadBegin("Type"));
    EXPECT_EQ(f.FieldReadGetType(), 'C');
    EXPECT_EQ(f.FieldReadCH(), 'C');
    f.FieldReadEnd();
    EXPECT_EQ(f.FieldReadI("Repetition", 0), 3);
    f.FieldReadBlockEnd();
    f.FieldReadEnd();
    ASSERT_TRUE(f.FieldReadBegin("Color"));
    EXPECT_EQ(f.FieldReadGetRemain(), 3);
    EXPECT_EQ(f.FieldReadD(), 1.0);
}

TEST(KFCurveStorage, DefaultsOnlyAndResultsOfStoreAndRetrieve)
{
    Curve curve(KFCurveCreate());
    curve->SetValue(-3.0f);
    KQox closed;
    EXPECT_FALSE(curve->QoxStore(&closed));
    EXPECT_FALSE(curve->QoxStore(nullptr));
    Image image = WriteChannel(KQox::eBINARY, 6000, [&](KQox& f) {
        EXPECT_TRUE(curve->QoxStore(&f, false, true));
        f.FieldWriteBegin("Second");
        f.FieldWriteBlockBegin();
        Append(*curve, 0, 1.0f, L);
        curve->QoxStore(&f, true, true); // only defaults
        EndChannel(f);
    });
    KQox f;
    ASSERT_TRUE(OpenChannel(f, image));
    ASSERT_EQ(f.FieldReadGetRecordCount(), 3);
    EXPECT_STREQ(f.FieldReadGetRecordName(0), "Default");
    EXPECT_STREQ(f.FieldReadGetRecordName(1), "Color");
    Curve other(KFCurveCreate());
    other->SetValue(9.0f);
    EXPECT_TRUE(other->QoxRetrieve(&f));
    EXPECT_EQ(other->GetValue(), -3.0f);
    other->SetValue(9.0f); // the only curve of this block has been read: nothing more, nothing changed
    EXPECT_FALSE(other->QoxRetrieve(&f));
    EXPECT_EQ(KFCurveCreate(&f), nullptr);
    EXPECT_EQ(KFCurveCreate(&f, other.get(), false, true), nullptr);
    EXPECT_EQ(other->GetValue(), 9.0f);
    ASSERT_TRUE(f.FieldReadBegin("Second"));
    ASSERT_TRUE(f.FieldReadBlockBegin());
    ASSERT_EQ(f.FieldReadGetRecordCount(), 1);
    EXPECT_EQ(KFCurveCreate(&f, curve.get(), true, true), curve.get());
    EXPECT_EQ(curve->KeyGetCount(), 0); // keys of the given curve cleared
    EXPECT_EQ(curve->GetValue(), -3.0f);
}

// The version-5 writer's layout of auto keys.
TEST(KFCurveStorage, LegacyLayoutOfAutoKeys)
{
    Curve curve(KFCurveCreate());
    Append(*curve, 0, 0.0f, U, AUTO);              // plain, next user: d
    Append(*curve, 24, 1.0f, U, USER, 2.0f, 0.0f); // s
    Append(*curve, 48, 2.0f, U, AUTO);             // plain, next linear: a
    Append(*curve, 72, 4.0f, L);
    Append(*curve, 96, 3.0f, U, AUTO, 0.5f, 0.0f);         // not plain: s
    Append(*curve, 120, 5.0f, U, AUTO_BREAK, 0.25f, 0.0f); // b
    const double d1 = curve->KeyGetLeftDerivative(1), r4 = curve->KeyGetRightDerivative(4),
                 l5 = curve->KeyGetLeftDerivative(5), r5 = curve->KeyGetRightDerivative(5);
    Image image = WriteChannel(KQox::eBINARY, 6000, [&](KQox& f) { curve->QoxStore(&f, false, false, true); });
    KQox f;
    ASSERT_TRUE(OpenChannel(f, image));
    // Per key: time, value, letters, then the slopes and 'n' where given; the last key has no next key.
    const Field keys = ReadField(f, "Key");
    EXPECT_EQ(keys.types, "LDCCDC"
                          "LDCCDDC"
                          "LDCC"
                          "LDC"
                          "LDCCDDC"
                          "LDCCDDC");
    EXPECT_EQ(keys.letters, "Udn"
                            "Usn"
                            "Ua"
                            "L"
                            "Usn"
                            "Ubn");
    const double s = 4.6186158e10;
    EXPECT_EQ(keys.numbers,
              (std::vector<double>{0, 0, d1, s, 1, 2, 0, 2 * s, 2, 3 * s, 4, 4 * s, 3, r4, l5, 5 * s, 5, r5, 0}));
    EXPECT_FALSE(f.FieldReadBegin("Color")); // no color was asked for
}

TEST(KFCurveLegacy, ConstantAndWeightLettersOf4001To4004)
{
    // The constant-mode letter comes with 4004.
    Curve c = ReadHandBuilt(4003, 2, {At(0), D(1), Ch('C'), At(1), D(2), Ch('L')});
    EXPECT_EQ(Kinds(*c), "Cs L ");
    c = ReadHandBuilt(4004, 2, {At(0), D(1), Ch('Z'), Ch('n'), At(1), D(2), Ch('A'), Ch('s')});
    EXPECT_EQ(Kinds(*c), "Cn Cs ");
    EXPECT_EQ(c->GetValue(), 0.5f);
    // 4001: user keys carry no weight letter.
    c = ReadHandBuilt(4001, 2,
                      {At(0), D(1), Ch('U'), Ch('s'), D(0.5), D(0.25), At(1), D(2), Ch('U'), Ch('S'), D(1), D(2)});
    EXPECT_EQ(Kinds(*c), "Us Us ");
    EXPECT_EQ(Slopes(c), (std::vector<float>{0.5f, 0.25f, 1, 2}));
    // 4002: 'd' with a weight part; the previous key loses its next-left weight.
    c = ReadHandBuilt(4002, 2,
                      {At(0), D(1), Ch('U'), Ch('b'), D(0.5), D(0.25), Ch('a'), D(0.3), D(0.6), At(1), D(2), Ch('U'),
                       Ch('d'), D(-1.5), Ch('r'), D(0.4)});
    EXPECT_EQ(Kinds(*c), "Ub Ua ");
    EXPECT_EQ(Slopes(c), (std::vector<float>{0.5f, 0.25f, 0, -1.5f}));
    EXPECT_EQ(c->KeyGetTangeantWeightMode(0), static_cast<unsigned int>(KFCURVE_WEIGHTED_RIGHT));
    EXPECT_NEAR(Slot(c, 0, KFCURVEKEY_RIGHT_WEIGHT), 0.3, 1e-4);
    EXPECT_NEAR(Slot(c, 0, KFCURVEKEY_NEXT_LEFT_WEIGHT), 0.3333, 1e-4);
    EXPECT_EQ(c->KeyGetTangeantWeightMode(1), static_cast<unsigned int>(KFCURVE_WEIGHTED_RIGHT));
}

TEST(KFCurveLegacy, AutoKeysOf4000To4004)
{
    // 4000: 'a' is followed by one more double, for slot 1.
    Curve c =
        ReadHandBuilt(4000, 2, {At(0), D(1), Ch('U'), Ch('a'), D(0.75), At(1), D(2), Ch('U'), Ch('s'), D(0), D(0)});
    EXPECT_EQ(Kinds(*c), "Ua Us ");
    EXPECT_EQ(Slopes(c), (std::vector<float>{0, 0.75f, 0, 0}));
    // 4003: an auto key after a linear one gets right auto -100 (4004: 0); a user key before it loses its next-left.
    c = ReadHandBuilt(4003, 4,
                      {At(0), D(1), Ch('L'), At(1), D(2), Ch('U'), Ch('a'), At(2), D(3), Ch('U'), Ch('s'), D(0.5),
                       D(0.25), Ch('n'), At(3), D(4), Ch('U'), Ch('a')});
    EXPECT_EQ(Kinds(*c), "L Ua Us Ua ");
    EXPECT_EQ(Slopes(c), (std::vector<float>{0, 0, -100, 0, 0.5f, 0, 0, 0}));
    c = ReadHandBuilt(4004, 2, {At(0), D(1), Ch('L'), At(1), D(2), Ch('U'), Ch('A')});
    EXPECT_EQ(Slopes(c), (std::vector<float>{0, 0, 0, 0}));
    // 'p' whose left and right auto values do not cancel becomes auto-break.
    for (double left : {-0.5, -0.25})
    {
        c = ReadHandBuilt(4004, 2,
                          {At(0), D(1), Ch('U'), Ch('q'), D(0), D(left), Ch('n'), At(1), D(2), Ch('U'), Ch('p'), D(0.5),
                           D(0.1), Ch('n')});
        EXPECT_EQ(Kinds(*c), left == -0.5 ? "Uq Ua " : "Uq Uq ");
    }
}

// Oldest letters: control values turned into slopes, TCB keys, auto keys; 'O' with any other kind letter: one slope for
// both sides, except a TCB neighbour.
TEST(KFCurveLegacy, LegacyLettersAndControlValues)
{
    Curve c = ReadHandBuilt(4004, 4, {At(0),   D(0),    Ch('B'), Ch('B'), D(9),   D(1.0), At(1),   D(2),
                                      Ch('B'), Ch('B'), D(1.5),  D(3.0),  At(2),  D(2),   Ch('H'), Ch('a'),
                                      At(3),   D(1),    Ch('T'), D(0.1),  D(0.2), D(0.3)});
    EXPECT_EQ(Kinds(*c), "Ub Ub Ua Ut ");
    // 3 x (1 - 0) / 1, -3 x (1.5 - 2) / 1, 3 x (3 - 2) / 1, and 0 before a letter other than 'B'.
    EXPECT_EQ(Slopes(c), (std::vector<float>{3, 1.5f, 3, 0, 0, 0, 0.1f, 0.2f}));
    EXPECT_EQ(c->KeyGetDataFloat(3, KFCURVEKEY_TCB_BIAS), 0.3f);
    c = ReadHandBuilt(4004, 3,
                      {At(0), D(0), Ch('T'), D(0), D(0), D(0), At(1), D(1), Ch('O'), Ch('x'), D(0.5), At(2), D(1),
                       Ch('R'), Ch('u'), D(0.75)});
    EXPECT_EQ(Kinds(*c), "Ut Us Us ");
    EXPECT_EQ(Slopes(c), (std::vector<float>{0, 0, 0.5f, 0.75f, 0.75f, 0}));
}

// Version 3999 and older: the three conversion passes.
TEST(KFCurveLegacy, OldTangentCombinationsAreConverted)
{
    // The last key becomes cubic auto; linear keys before it stay.
    Curve c = ReadHandBuilt(3999, 2, {At(0), D(0), Ch('L'), At(1), D(1), Ch('L')});
    EXPECT_EQ(Kinds(*c), "L Ua ");
    // TCB, user, linear: the user key breaks; the last key takes the user key's slope.
    c = ReadHandBuilt(3999, 3,
                      {At(0), D(0), Ch('U'), Ch('t'), D(0), D(0), D(0), At(1), D(1), Ch('U'), Ch('s'), D(0.5), D(0.25),
                       At(2), D(2), Ch('L')});
    EXPECT_EQ(Kinds(*c), "Ut Ub Us ");
    EXPECT_EQ(Slot(c, 2, KFCURVEKEY_RIGHT_SLOPE), 0.25f);
    EXPECT_EQ(Slot(c, 2, KFCURVEKEY_NEXT_LEFT_SLOPE), 0.0f);
    // User, TCB, user, linear: the TCB key breaks, its next-left slope from tension, continuity and bias.
    const double t = 0.5, cont = 0.25, bias = -0.5;
    c = ReadHandBuilt(3999, 4,
                      {At(0),   D(0),    Ch('U'), Ch('s'), D(1),    D(1),    At(1), D(2), Ch('U'), Ch('t'), D(t),
                       D(cont), D(bias), At(3),   D(5),    Ch('U'), Ch('s'), D(0),  D(0), At(4),   D(3),    Ch('L')});
    EXPECT_EQ(Kinds(*c), "Us Ub Ub Us ");
    const double expected =
        0.5 * (1 - t) * ((1 - cont) * (1 + bias) * (5.0 - 2.0) / 2.0 + (1 + cont) * (1 - bias) * (3.0 - 5.0) / 1.0);
    EXPECT_NEAR(Slot(c, 1, KFCURVEKEY_NEXT_LEFT_SLOPE), expected, 1e-6);
    // Constant, auto, auto: the middle key becomes user, flat on the left, the secant (2 - 1) / 2 s on the right.
    c = ReadHandBuilt(3999, 3, {At(0), D(0), Ch('C'), At(1), D(1), Ch('U'), Ch('a'), At(3), D(2), Ch('U'), Ch('a')});
    EXPECT_EQ(Kinds(*c), "Cs Us Ua ");
    EXPECT_EQ(Slot(c, 1, KFCURVEKEY_RIGHT_SLOPE), 0.0f);
    EXPECT_EQ(Slot(c, 1, KFCURVEKEY_NEXT_LEFT_SLOPE), 0.5f);
}

// Malformed keys are dropped; binary reading resynchronises on the time type; ASCII carries no type codes and reads the
// same keys.
TEST(KFCurveRepair, InvalidKeysAreDroppedInOrder)
{
    Curve c = ReadHandBuilt(4004, 5,
                            {At(0), D(1), Ch('X'), At(1), D(2), Ch('L'), At(1), D(3), Ch('L'),
                             T(static_cast<long long>(0x8000000000000001ull)), D(4), Ch('L'), At(3), D(5), Ch('L')});
    EXPECT_EQ(Times(*c), Secs({1, 3}));
    EXPECT_EQ(Values(*c), (std::vector<float>{2, 5}));
    // Stray values between keys, a value of the wrong type, a missing tangent letter ('a' assumed).
    c = ReadHandBuilt(4004, 4,
                      {At(0), D(1), Ch('U'), Ch('s'), D(0.5), D(0.5), Ch('n'), I(999), D(7), At(1), I(5), Ch('L'),
                       At(2), D(3), Ch('U'), D(8), At(3), D(4), Ch('L')});
    EXPECT_EQ(Times(*c), Secs({0, 2, 3}));
    EXPECT_EQ(Kinds(*c), "Us Ua L ");
    c = ReadHandBuilt(4004, 3,
                      {At(0), D(1), Ch('U'), Ch('b'), D(0.5), D(-0.5), Ch('l'), D(0.6), At(1), D(2), Ch('C'), Ch('n'),
                       At(2), D(3), Ch('U'), Ch('t'), D(0.1), D(0.2), D(0.3)},
                      KQox::eASCII);
    EXPECT_EQ(Kinds(*c), "Ub Cn Ut ");
    EXPECT_EQ(c->KeyGetTangeantWeightMode(0), static_cast<unsigned int>(KFCURVE_WEIGHTED_NEXT_LEFT));
    EXPECT_NEAR(Slot(c, 0, KFCURVEKEY_NEXT_LEFT_WEIGHT), 0.6, 1e-4);
    EXPECT_EQ(c->KeyGetDataFloat(2, KFCURVEKEY_TCB_CONTINUITY), 0.2f);
}

// A "KeyCount" that does not match the keys of "Key" is damage, in both forms and read the way the channel reader reads
// it: the file reports "File is corrupted" and the curve keeps no keys (its static value stays read). A count far past
// the values is found before any key storage is reserved. Fields read by a default when absent ("KeyVer") stay optional,
// and a malformed key within a count that matches is dropped as before.
TEST(KFCurveRepair, KeyCountThatDoesNotMatchItsKeysIsDamage)
{
    const std::vector<KeyValue> two = {At(0), D(1), Ch('L'), At(1), D(2), Ch('L')};
    const std::vector<KeyValue> constant = {At(0), D(1), Ch('L'), At(1), D(2), Ch('C'), Ch('s')};
    const std::vector<KeyValue> malformed = {At(0), D(1), Ch('X'), At(1), D(2), Ch('L')};
    const std::vector<KeyValue> extra = {At(0), D(1), Ch('L'), At(1), D(2), Ch('L'), D(7)};
    const std::vector<KeyValue> cut = {At(0), D(1), Ch('L'), At(1)};
    const std::vector<KeyValue> none;
    const struct
    {
        const char* mName;
        int mKeyVersion;
        int mKeyCount;
        const std::vector<KeyValue>* mValues; // null: no "Key" field
        int mKeys;                            // keys read; -1: damage
    } rows[] = {
        {"count matching", 4004, 2, &two, 2},
        {"count matching, a constant key with its mode letter", 4004, 2, &constant, 2},
        {"a mode letter the layout before 4004 lacks: a value too many", 4003, 2, &constant, -1},
        {"no KeyVer: a mode letter the oldest layout lacks is a value left", 0, 2, &constant, -1},
        {"no KeyVer: a key the oldest layout cannot read is damage, not dropped", 0, 2, &malformed, -1},
        {"no KeyVer", 0, 2, &two, 2},
        {"no keys, no count, no Key", 4004, kNoCount, nullptr, 0},
        {"a count of 0 with an empty Key", 4004, 0, &none, 0},
        {"a malformed key within a matching count", 4004, 2, &malformed, 1},
        {"count larger by one", 4004, 3, &two, -1},
        {"count larger", 4004, 5, &two, -1},
        {"count past what the values hold", 4004, 2000000000, &two, -1},
        {"count smaller", 4004, 1, &two, -1},
        {"negative count", 4004, -5, &two, -1},
        {"a count without a Key field", 4004, 2, nullptr, -1},
        {"a count with an empty Key field", 0, 3, &none, -1},
        {"keys without a count", 4004, kNoCount, &two, -1},
        {"keys with a count of 0", 4004, 0, &two, -1},
        {"values after the last key", 4004, 2, &extra, -1},
        {"the last key cut after its time", 4004, 2, &cut, -1},
    };
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (const auto& row : rows)
            for (bool listed : {false, true})
            {
                SCOPED_TRACE(std::string(row.mName) + (form == KQox::eASCII ? ", ASCII" : ", binary") +
                             (listed ? ", through the channel reader" : ""));
                Image image = WriteChannel(
                    form, 6000, [&](KQox& f) { WriteHandBuilt(f, row.mKeyVersion, row.mKeyCount, row.mValues); });
                KQox f;
                ASSERT_TRUE(OpenSection(f, image));
                const long long before = GetRecordingMemory();
                KFCurveNode* node = nullptr;
                Curve read;
                KFCurve* curve = nullptr;
                if (listed)
                {
                    node = KFCurveNodeCreate(&f, false, true);
                    ASSERT_NE(node, nullptr);
                    curve = node->FCurveGet();
                }
                else
                {
                    ASSERT_TRUE(f.FieldReadBegin("Channel") && f.FieldReadBlockBegin());
                    read.reset(KFCurveCreate(&f));
                    curve = read.get();
                }
                EXPECT_LT(GetRecordingMemory() - before, 1 << 20);
                ASSERT_NE(curve, nullptr);
                EXPECT_EQ(curve->GetValue(), 0.5f);
                EXPECT_EQ(curve->KeyGetCount(), row.mKeys < 0 ? 0 : row.mKeys);
                EXPECT_EQ(f.GetLastErrorID() == KQox::eFILE_CORRUPTED, row.mKeys < 0);
                if (row.mKeys < 0)
                {
                    EXPECT_STREQ(f.GetLastErrorString(), "File is corrupted");
                }
                if (node)
                    node->Destroy();
            }
}

namespace {

// The fields of a curve of two linear keys (values a and b, a second apart)
// and a colour, in the layout of key arrays or key by key, without the
// field named omit (only: that field alone).
void WriteTwoKeyCurve(KQox& f, bool arrays, float a, float b, float color, const std::string& omit,
                      const std::string& only = "")
{
    auto wanted = [&omit, &only](const char* name) { return omit != name && (only.empty() || only == name); };
    if (wanted("Default"))
        WriteD(f, "Default", a);
    if (wanted("KeyVer"))
        WriteI(f, "KeyVer", arrays ? 4005 : 4004);
    if (wanted("KeyCount"))
        WriteI(f, "KeyCount", 2);
    if (arrays)
    {
        const long long times[] = {0, kTicksPerSecond};
        const float values[] = {a, b};
        const int flags[] = {static_cast<int>(L), static_cast<int>(L)};
        const struct
        {
            const char* mName;
            std::function<void()> mWrite;
        } members[] = {
            {"KeyTime", [&] { f.FieldWriteArrayL(times, 2); }},
            {"KeyValue", [&] { f.FieldWriteArrayF(values, 2); }},
            {"KeyFlags", [&] { f.FieldWriteArrayI(flags, 2); }},
            {"KeyData", [&] { f.FieldWriteArrayF(nullptr, 0); }},
        };
        for (const auto& member : members)
            if (wanted(member.mName))
            {
                f.FieldWriteBegin(member.mName);
                member.mWrite();
                f.FieldWriteEnd();
            }
    }
    else if (wanted("Key"))
    {
        f.FieldWriteBegin("Key");
        f.FieldWriteT(KTime(0));
        f.FieldWriteD(a);
        f.FieldWriteCH('L');
        f.FieldWriteT(KTime(kTicksPerSecond));
        f.FieldWriteD(b);
        f.FieldWriteCH('L');
        f.FieldWriteEnd();
    }
    if (wanted("Color"))
    {
        f.FieldWriteBegin("Color");
        for (int k = 0; k < 3; ++k)
            f.FieldWriteD(color);
        f.FieldWriteEnd();
    }
}

} // namespace

// Two curves one after the other in one list (a base and an upper layer written alike): each takes only its own
// fields. A field the first lacks is never taken from the second: without its "Key" (or a key array) the first is
// damage and keeps no keys, without "KeyCount" its keys are damage, without "KeyVer" it reads by the oldest rules and
// without "Color" it keeps the colour it had; the second reads its own fields whole every time.
TEST(KFCurveStorage, CurvesOfOneListKeepTheirOwnFields)
{
    const struct
    {
        bool mArrays;
        const char* mOmit;
        bool mDamaged; // the first curve's keys
    } rows[] = {
        {false, "", false},       {false, "Key", true},   {false, "KeyCount", true}, {false, "KeyVer", false},
        {false, "Color", false},  {true, "", false},      {true, "KeyTime", true},   {true, "KeyFlags", true},
        {true, "KeyCount", true}, {true, "Color", false},
    };
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (const auto& row : rows)
        {
            SCOPED_TRACE(std::string(row.mArrays ? "arrays" : "key by key") + " without " + row.mOmit +
                         (form == KQox::eASCII ? ", ASCII" : ", binary"));
            Image image = WriteChannel(form, 6000, [&](KQox& f) {
                WriteTwoKeyCurve(f, row.mArrays, 1.0f, 2.0f, 0.25f, row.mOmit);
                WriteTwoKeyCurve(f, row.mArrays, 100.0f, 200.0f, 0.75f, "");
            });
            KQox f;
            ASSERT_TRUE(OpenChannel(f, image));
            Curve first(KFCurveCreate(&f));
            Curve second(KFCurveCreate(&f));
            ASSERT_TRUE(first && second);
            EXPECT_EQ(f.GetLastErrorID() == KQox::eFILE_CORRUPTED, row.mDamaged);
            if (row.mDamaged)
                EXPECT_EQ(first->KeyGetCount(), 0);
            else
                EXPECT_EQ(Values(*first), (std::vector<float>{1, 2}));
            const bool oldRules = std::string(row.mOmit) == "KeyVer";
            if (!row.mDamaged)
            {
                EXPECT_EQ(first->KeyGetInterpolation(1), oldRules ? U : L); // the oldest rules end on a cubic key
            }
            const Curve fresh(KFCurveCreate());
            EXPECT_EQ(first->GetColor()[0], std::string(row.mOmit) == "Color" ? fresh->GetColor()[0] : 0.25f);
            EXPECT_EQ(Values(*second), (std::vector<float>{100, 200}));
            EXPECT_EQ(second->KeyGetInterpolation(1), L);
            EXPECT_EQ(second->GetColor()[0], 0.75f);
            EXPECT_EQ(KFCurveCreate(&f), nullptr);
        }
}

// One curve in its list, a field of it missing or standing twice, read the way the channel reader reads a channel's
// block and through KFCurveCreate. Missing: the keys are read whatever optional field ("Default", "Color", "KeyVer" of
// keys the oldest layout reads alike, "KeyData" of keys without data) is gone. Twice: which is the curve's cannot be told, so the read is damage ("File
// is corrupted", no keys kept) in both forms and both key layouts; through KFCurveCreate a second "Default" (here after
// the curve's fields) starts a second curve. A list of curve fields without any
// "Default" is a curve for the channel reader and damage for KFCurveCreate, which reads curves from their "Default".
TEST(KFCurveStorage, FieldsMissingOrStandingTwiceWhereOneCurveStands)
{
    const char* const keyByKey[] = {"Default", "KeyVer", "KeyCount", "Key", "Color"};
    const char* const arrays[] = {"Default", "KeyVer", "KeyCount", "KeyTime", "KeyValue", "KeyFlags", "KeyData", "Color"};
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (bool inArrays : {false, true})
            for (const char* field : inArrays ? std::vector<const char*>(std::begin(arrays), std::end(arrays))
                                              : std::vector<const char*>(std::begin(keyByKey), std::end(keyByKey)))
                for (int times : {0, 2})
                    for (bool listed : {false, true})
                    {
                        const std::string name = field;
                        SCOPED_TRACE(name + (times ? " twice" : " missing") + (inArrays ? ", arrays" : ", key by key") +
                                     (form == KQox::eASCII ? ", ASCII" : ", binary") +
                                     (listed ? ", through the channel reader" : ""));
                        Image image = WriteChannel(form, 6000, [&](KQox& f) {
                            WriteTwoKeyCurve(f, inArrays, 1.0f, 2.0f, 0.25f, times ? "" : name);
                            if (times == 2)
                                WriteTwoKeyCurve(f, inArrays, 1.0f, 2.0f, 0.25f, "", name);
                        });
                        KQox f;
                        ASSERT_TRUE(OpenSection(f, image));
                        KFCurveNode* node = nullptr;
                        Curve read;
                        KFCurve* curve = nullptr;
                        if (listed)
                        {
                            node = KFCurveNodeCreate(&f, false, true);
                            ASSERT_NE(node, nullptr);
                            curve = node->FCurveGet();
                        }
                        else
                        {
                            ASSERT_TRUE(f.FieldReadBegin("Channel") && f.FieldReadBlockBegin());
                            read.reset(KFCurveCreate(&f));
                            curve = read.get();
                        }
                        const bool missing = times == 0;
                        // Linear keys read the same by the oldest layout, and hold no key data.
                        const bool optional = name == "Default" || name == "Color" || name == "KeyData" ||
                                              (name == "KeyVer" && !inArrays);
                        if (!listed && name == "Default")
                        {
                            // No curve without its "Default"; a second one is a static curve.
                            if (missing)
                            {
                                EXPECT_EQ(curve, nullptr);
                                EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
                            }
                            else
                            {
                                ASSERT_NE(curve, nullptr);
                                EXPECT_EQ(Values(*curve), (std::vector<float>{1, 2}));
                                Curve second(KFCurveCreate(&f));
                                ASSERT_NE(second, nullptr);
                                EXPECT_EQ(second->KeyGetCount(), 0);
                                EXPECT_NE(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
                            }
                        }
                        else
                        {
                            ASSERT_NE(curve, nullptr);
                            const bool kept = missing && optional;
                            const std::vector<float> expected = kept ? std::vector<float>{1, 2} : std::vector<float>();
                            EXPECT_EQ(Values(*curve), expected);
                            EXPECT_EQ(f.GetLastErrorID() == KQox::eFILE_CORRUPTED, !kept);
                            if (!kept)
                            {
                                EXPECT_STREQ(f.GetLastErrorString(), "File is corrupted");
                            }
                        }
                        if (node)
                            node->Destroy();
                    }
}

// Curves one after the other in one list, read through KFCurveCreate: a "Default" missing merges a curve into the
// one before it, whose fields then stand twice, or leaves the first curve's fields before any "Default": damage either
// way, never a curve read with another's keys or keys dropped in silence.
TEST(KFCurveStorage, CurvesOfOneListWithoutTheirDefaultAreDamage)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (bool arrays : {false, true})
            for (int without : {0, 1, 2})
            {
                SCOPED_TRACE(std::string("curve ") + std::to_string(without) + " without its Default" +
                             (arrays ? ", arrays" : ", key by key") + (form == KQox::eASCII ? ", ASCII" : ", binary"));
                Image image = WriteChannel(form, 6000, [&](KQox& f) {
                    for (int c = 0; c < 3; ++c)
                        WriteTwoKeyCurve(f, arrays, 10.0f * c, 10.0f * c + 1, 0.25f, c == without ? "Default" : "");
                });
                KQox f;
                ASSERT_TRUE(OpenChannel(f, image));
                int curves = 0;
                while (Curve curve{KFCurveCreate(&f)})
                {
                    ++curves;
                    const std::vector<float> values = Values(*curve);
                    // A curve read keeps its own keys or none.
                    if (!values.empty())
                    {
                        EXPECT_EQ(values.size(), 2u);
                        EXPECT_EQ(values[1], values[0] + 1);
                    }
                }
                EXPECT_EQ(curves, 2);
                EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
            }
}
