// Curves stored as fields of the native file, and every older key layout read back.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "fcurve/kfcurve.h"

namespace {

const KQox::EForm kForms[] = {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED};
const long long kSecond = 46186158000LL;

// A memory file holding one "Channel" block in a section of the given version.
struct Image
{
    std::vector<unsigned char> bytes = std::vector<unsigned char>(1 << 16);
    unsigned int size = 0;
};

template <typename Writer>
Image WriteChannel(KQox::EForm form, int sectionVersion, Writer write)
{
    Image image;
    KQox f;
    f.ProjectCreate(image.bytes.data(), static_cast<unsigned int>(image.bytes.size()), form);
    f.ProjectWriteSectionBegin("Takes", sectionVersion);
    f.FieldWriteBegin("Channel");
    f.FieldWriteC("T");
    f.FieldWriteBlockBegin();
    write(f);
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
    f.ProjectWriteSectionEnd();
    EXPECT_TRUE(f.ProjectClose());
    image.size = static_cast<unsigned int>(f.ProjectGetFileSize());
    return image;
}

bool OpenChannel(KQox& f, const Image& image)
{
    return f.ProjectOpen(image.bytes.data(), image.size) && f.ProjectOpenSection(0) && f.FieldReadBegin("Channel") &&
           f.FieldReadBlockBegin();
}

KFCurveKey* Append(KFCurve& curve, long long ticks, float value, unsigned int interpolation,
                   unsigned int mode = 0, float slot0 = 0.0f, float slot1 = 0.0f)
{
    KFCurveKey* key = curve.KeyGetPtr(curve.KeyAppendFast(KTime(ticks), value));
    key->SetInterpolation(interpolation);
    if (interpolation == KFCURVE_INTERPOLATION_CUBIC) {
        key->SetTangeantMode(mode);
        key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, slot0);
        key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, slot1);
    } else {
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

void SetTcb(KFCurveKey* key, float t, float c, float b)
{
    key->SetTangeantMode(KFCURVE_TANGEANT_TCB);
    key->SetDataFloat(KFCURVEKEY_TCB_TENSION, t);
    key->SetDataFloat(KFCURVEKEY_TCB_CONTINUITY, c);
    key->SetDataFloat(KFCURVEKEY_TCB_BIAS, b);
}

// Every key letter and weight letter of the current layout, chosen so that
// reading changes nothing.
void FillEveryLetter(KFCurve& c)
{
    c.SetValue(2.5f);
    float color[3] = {0.25f, 0.5f, 0.75f};
    c.SetColor(color);
    Append(c, 0, 1.0f, KFCURVE_INTERPOLATION_CONSTANT, KFCURVE_CONSTANT_STANDARD);      // C s
    Append(c, kSecond / 24, 2.0f, KFCURVE_INTERPOLATION_CONSTANT, KFCURVE_CONSTANT_NEXT); // C n
    Append(c, 2 * kSecond / 24, 3.0f, KFCURVE_INTERPOLATION_LINEAR);                       // L
    SetTcb(Append(c, 3 * kSecond / 24, -4.0f, KFCURVE_INTERPOLATION_CUBIC), 0.1f, 0.2f, -0.3f); // U t
    Append(c, 4 * kSecond / 24, 5.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 1.5f, -2.5f); // U s n
    SetWeights(Append(c, 5 * kSecond / 24, 6.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 0.5f, 0.25f),
               KFCURVE_WEIGHTED_RIGHT, 0.2f, KFCURVE_DEFAULT_WEIGHT); // U s r
    SetWeights(Append(c, 6 * kSecond / 24, 7.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_BREAK, -1.0f, 2.0f),
               KFCURVE_WEIGHTED_NEXT_LEFT, KFCURVE_DEFAULT_WEIGHT, 0.7f); // U b l
    SetWeights(Append(c, 7 * kSecond / 24, 8.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 3.0f, 4.0f),
               KFCURVE_WEIGHTED_ALL, 0.25f, 0.5f); // U s a
    Append(c, 8 * kSecond / 24, 9.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_BREAK, 0.0f, 0.0f); // U b n
    Append(c, 9 * kSecond / 24, 10.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, -0.5f); // U p
    SetWeights(Append(c, 10 * kSecond / 24, 11.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.5f, 0.0f),
               KFCURVE_WEIGHTED_RIGHT, 0.4f, KFCURVE_DEFAULT_WEIGHT); // U p r
    Append(c, 11 * kSecond / 24, 12.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO_BREAK, 0.3f, 0.6f); // U q
    Append(c, 12 * kSecond / 24, 13.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f); // U a
    Append(c, 13 * kSecond / 24, 14.25f, KFCURVE_INTERPOLATION_LINEAR);
    c.SetPreExtrapolation(KFCURVE_EXTRAPOLATION_REPETITION);
    c.SetPreExtrapolationCount(3);
    c.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_KEEP_SLOPE);
    c.SetPostExtrapolationCount(KFCURVE_UNLIMITED_REPETITION);
}

void ExpectSameCurve(KFCurve& a, KFCurve& b)
{
    EXPECT_EQ(a.GetValue(), b.GetValue());
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(a.GetColor()[k], b.GetColor()[k]);
    EXPECT_EQ(a.GetPreExtrapolation(), b.GetPreExtrapolation());
    EXPECT_EQ(a.GetPreExtrapolationCount(), b.GetPreExtrapolationCount());
    EXPECT_EQ(a.GetPostExtrapolation(), b.GetPostExtrapolation());
    EXPECT_EQ(a.GetPostExtrapolationCount(), b.GetPostExtrapolationCount());
    ASSERT_EQ(a.KeyGetCount(), b.KeyGetCount());
    for (int i = 0; i < a.KeyGetCount(); ++i) {
        SCOPED_TRACE(i);
        KFCurveKey* x = a.KeyGetPtr(i);
        KFCurveKey* y = b.KeyGetPtr(i);
        EXPECT_EQ(x->GetTime().Get(), y->GetTime().Get());
        EXPECT_EQ(x->GetValue(), y->GetValue());
        EXPECT_EQ(x->GetInterpolation(), y->GetInterpolation());
        if (x->GetInterpolation() == KFCURVE_INTERPOLATION_CONSTANT) {
            EXPECT_EQ(x->GetConstantMode(), y->GetConstantMode());
        }
        if (x->GetInterpolation() != KFCURVE_INTERPOLATION_CUBIC)
            continue;
        EXPECT_EQ(x->GetTangeantMode(), y->GetTangeantMode());
        for (int s = 0; s < 2; ++s)
            EXPECT_EQ(x->GetDataFloat(static_cast<EKFCurveDataIndex>(s)), y->GetDataFloat(static_cast<EKFCurveDataIndex>(s)));
        if (x->GetTangeantMode() == KFCURVE_TANGEANT_TCB) {
            EXPECT_EQ(x->GetDataFloat(KFCURVEKEY_TCB_BIAS), y->GetDataFloat(KFCURVEKEY_TCB_BIAS));
            continue;
        }
        EXPECT_EQ(x->GetTangeantWeightMode(), y->GetTangeantWeightMode());
        EXPECT_EQ(x->GetDataDouble(KFCURVEKEY_RIGHT_WEIGHT), y->GetDataDouble(KFCURVEKEY_RIGHT_WEIGHT));
        EXPECT_EQ(x->GetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT), y->GetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT));
    }
}

TEST(KFCurveStorage, EveryKeyAndWeightLetterRoundTripsInEveryForm)
{
    for (KQox::EForm form : kForms) {
        for (int sectionVersion : {6000, 2000}) {
            SCOPED_TRACE(std::to_string(form) + " " + std::to_string(sectionVersion));
            KFCurve* curve = KFCurveCreate();
            FillEveryLetter(*curve);
            Image image = WriteChannel(form, sectionVersion, [&](KQox& f) { EXPECT_TRUE(curve->QoxStore(&f)); });
            KQox f;
            ASSERT_TRUE(OpenChannel(f, image));
            KFCurve* back = KFCurveCreate(&f);
            ASSERT_NE(back, nullptr);
            if (sectionVersion == 6000) {
                ExpectSameCurve(*curve, *back);
            } else {
                // Seconds in a double: each time comes back within a tick.
                ASSERT_EQ(back->KeyGetCount(), curve->KeyGetCount());
                for (int i = 0; i < curve->KeyGetCount(); ++i)
                    EXPECT_LE(std::llabs(back->KeyGetTime(i).Get() - curve->KeyGetTime(i).Get()), 1);
            }
            back->Destroy();
            curve->Destroy();
        }
    }
}

// Field by field, with the binary type codes.
TEST(KFCurveStorage, FieldsWrittenInOrderWithTypeCodes)
{
    KFCurve* curve = KFCurveCreate();
    curve->SetValue(1.5f);
    Append(*curve, 0, 1.0f, KFCURVE_INTERPOLATION_CONSTANT, KFCURVE_CONSTANT_NEXT);
    Append(*curve, kSecond, 2.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f);
    KFCurveKey* weighted = Append(*curve, 2 * kSecond, 3.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.5f, 0.25f);
    SetWeights(weighted, KFCURVE_WEIGHTED_NEXT_LEFT, KFCURVE_DEFAULT_WEIGHT, 0.5f);
    double weight = weighted->GetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT); // 4999 / 9999
    curve->SetPreExtrapolation(KFCURVE_EXTRAPOLATION_CONST);
    curve->SetPreExtrapolationCount(3);
    Image image = WriteChannel(KQox::eBINARY, 6000, [&](KQox& f) { curve->QoxStore(&f); });
    curve->Destroy();

    KQox f;
    ASSERT_TRUE(OpenChannel(f, image));
    const char* order[] = {"Default", "KeyVer", "KeyCount", "Key", "Pre-Extrapolation", "Color"};
    ASSERT_EQ(f.FieldReadGetRecordCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_STREQ(f.FieldReadGetRecordName(i), order[i]);
    ASSERT_TRUE(f.FieldReadBegin("Default"));
    EXPECT_EQ(f.FieldReadGetType(), 'D');
    EXPECT_EQ(f.FieldReadD(), 1.5);
    f.FieldReadEnd();
    EXPECT_EQ(f.FieldReadI("KeyVer", 0), 4004);
    EXPECT_EQ(f.FieldReadI("KeyCount", 0), 3);
    ASSERT_TRUE(f.FieldReadBegin("Key"));
    // Constant key: time, value, 'C', 'n'.
    std::string types;
    std::vector<double> numbers;
    std::string letters;
    while (f.FieldReadGetRemain() > 0) {
        char type = f.FieldReadGetType();
        types += type;
        if (type == 'C')
            letters += f.FieldReadCH();
        else
            numbers.push_back(f.FieldReadD());
    }
    EXPECT_EQ(types, "LDCC" "LDCC" "LDCCDDCD");
    EXPECT_EQ(letters, "Cn" "Ua" "Upl");
    EXPECT_EQ(numbers, (std::vector<double>{0, 1, 4.6186158e10, 2, 2 * 4.6186158e10, 3, 0.5, 0.25, weight}));
    f.FieldReadEnd();
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

TEST(KFCurveStorage, CurvesWithoutKeysAndDefaultsOnly)
{
    KFCurve* curve = KFCurveCreate();
    curve->SetValue(-3.0f);
    Image image = WriteChannel(KQox::eBINARY, 6000, [&](KQox& f) {
        curve->QoxStore(&f, false, true);
        f.FieldWriteBegin("Second");
        f.FieldWriteBlockBegin();
        Append(*curve, 0, 1.0f, KFCURVE_INTERPOLATION_LINEAR);
        curve->QoxStore(&f, true, true); // only defaults
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
    });
    KQox f;
    ASSERT_TRUE(OpenChannel(f, image));
    ASSERT_EQ(f.FieldReadGetRecordCount(), 3);
    EXPECT_STREQ(f.FieldReadGetRecordName(0), "Default");
    EXPECT_STREQ(f.FieldReadGetRecordName(1), "Color");
    ASSERT_TRUE(f.FieldReadBegin("Second"));
    ASSERT_TRUE(f.FieldReadBlockBegin());
    ASSERT_EQ(f.FieldReadGetRecordCount(), 1);
    KFCurve* back = KFCurveCreate(&f, curve, true, true);
    EXPECT_EQ(back, curve);
    EXPECT_EQ(curve->KeyGetCount(), 0); // keys of the given curve cleared
    EXPECT_EQ(curve->GetValue(), -3.0f);
    curve->Destroy();
}

// Success and failure the right way round.
TEST(KFCurveStorage, ResultsOfStoreAndRetrieve)
{
    KFCurve* curve = KFCurveCreate();
    KQox closed;
    EXPECT_FALSE(curve->QoxStore(&closed));
    EXPECT_FALSE(curve->QoxStore(nullptr));
    Image image = WriteChannel(KQox::eBINARY, 6000, [&](KQox& f) {
        curve->SetValue(4.0f);
        EXPECT_TRUE(curve->QoxStore(&f));
    });
    KQox f;
    ASSERT_TRUE(OpenChannel(f, image));
    KFCurve* other = KFCurveCreate();
    other->SetValue(9.0f);
    EXPECT_TRUE(other->QoxRetrieve(&f));
    EXPECT_EQ(other->GetValue(), 4.0f);
    // The only curve has been read: nothing more, nothing changed.
    other->SetValue(9.0f);
    EXPECT_FALSE(other->QoxRetrieve(&f));
    EXPECT_EQ(other->GetValue(), 9.0f);
    EXPECT_EQ(KFCurveCreate(&f), nullptr);
    EXPECT_EQ(KFCurveCreate(&f, other, false, true), nullptr);
    EXPECT_EQ(other->GetValue(), 9.0f);
    other->Destroy();
    curve->Destroy();
}

// The version-5 writer's layout of auto keys.
TEST(KFCurveStorage, LegacyLayoutOfAutoKeys)
{
    KFCurve* curve = KFCurveCreate();
    Append(*curve, 0, 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f);          // plain, next user: d
    Append(*curve, kSecond, 1.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 2.0f, 0.0f);    // s
    Append(*curve, 2 * kSecond, 2.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f); // plain, next linear: a
    Append(*curve, 3 * kSecond, 4.0f, KFCURVE_INTERPOLATION_LINEAR);
    Append(*curve, 4 * kSecond, 3.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.5f, 0.0f); // not plain: s
    Append(*curve, 5 * kSecond, 5.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO_BREAK, 0.25f, 0.0f); // b
    float d1 = curve->KeyGetLeftDerivative(1);
    float r4 = curve->KeyGetRightDerivative(4);
    float l5 = curve->KeyGetLeftDerivative(5);
    float r5 = curve->KeyGetRightDerivative(5);
    Image image = WriteChannel(KQox::eBINARY, 6000, [&](KQox& f) { curve->QoxStore(&f, false, false, true); });
    curve->Destroy();

    KQox f;
    ASSERT_TRUE(OpenChannel(f, image));
    ASSERT_TRUE(f.FieldReadBegin("Key"));
    auto expectKey = [&](double time, double value, const char* letters) {
        EXPECT_EQ(f.FieldReadD(), time);
        EXPECT_EQ(f.FieldReadD(), value);
        EXPECT_EQ(f.FieldReadCH(), letters[0]);
        if (letters[1]) {
            EXPECT_EQ(f.FieldReadCH(), letters[1]);
        }
    };
    expectKey(0, 0, "Ud");
    EXPECT_EQ(f.FieldReadD(), static_cast<double>(d1));
    EXPECT_EQ(f.FieldReadCH(), 'n');
    expectKey(4.6186158e10, 1, "Us");
    EXPECT_EQ(f.FieldReadD(), 2.0);
    EXPECT_EQ(f.FieldReadD(), 0.0);
    EXPECT_EQ(f.FieldReadCH(), 'n');
    expectKey(2 * 4.6186158e10, 2, "Ua");
    expectKey(3 * 4.6186158e10, 4, "L");
    expectKey(4 * 4.6186158e10, 3, "Us");
    EXPECT_EQ(f.FieldReadD(), static_cast<double>(r4));
    EXPECT_EQ(f.FieldReadD(), static_cast<double>(l5));
    EXPECT_EQ(f.FieldReadCH(), 'n');
    expectKey(5 * 4.6186158e10, 5, "Ub");
    EXPECT_EQ(f.FieldReadD(), static_cast<double>(r5));
    EXPECT_EQ(f.FieldReadD(), 0.0); // last key: no next key
    EXPECT_EQ(f.FieldReadCH(), 'n');
    EXPECT_EQ(f.FieldReadGetRemain(), 0);
    // No color was asked for.
    EXPECT_FALSE(f.FieldReadBegin("Color"));
}

// ---- Hand-built fields in older key versions ----

struct KeyValue
{
    char kind; // 'L' ticks, 'D' double, 'C' letter, 'I' integer
    double number;
};

KeyValue T(long long ticks) { return {'L', static_cast<double>(ticks)}; }
KeyValue D(double v) { return {'D', v}; }
KeyValue C(char c) { return {'C', static_cast<double>(c)}; }
KeyValue I(int v) { return {'I', static_cast<double>(v)}; }

KFCurve* ReadHandBuilt(int keyVersion, int keyCount, const std::vector<KeyValue>& values,
                       KQox::EForm form = KQox::eBINARY)
{
    Image image = WriteChannel(form, 6000, [&](KQox& f) {
        f.FieldWriteBegin("Default");
        f.FieldWriteD(0.5);
        f.FieldWriteEnd();
        if (keyVersion) {
            f.FieldWriteBegin("KeyVer");
            f.FieldWriteI(keyVersion);
            f.FieldWriteEnd();
        }
        f.FieldWriteBegin("KeyCount");
        f.FieldWriteI(keyCount);
        f.FieldWriteEnd();
        f.FieldWriteBegin("Key");
        for (const KeyValue& v : values) {
            switch (v.kind) {
            case 'L': f.FieldWriteL(static_cast<long long>(v.number)); break;
            case 'D': f.FieldWriteD(v.number); break;
            case 'C': f.FieldWriteCH(static_cast<char>(v.number)); break;
            default: f.FieldWriteI(static_cast<int>(v.number)); break;
            }
        }
        f.FieldWriteEnd();
    });
    KQox f;
    if (!OpenChannel(f, image))
        return nullptr;
    return KFCurveCreate(&f);
}

TEST(KFCurveLegacy, ConstantModeLetterSince4004)
{
    KFCurve* c = ReadHandBuilt(4003, 2, {T(0), D(1), C('C'), T(kSecond), D(2), C('L')});
    ASSERT_EQ(c->KeyGetCount(), 2);
    EXPECT_EQ(c->KeyGetInterpolation(0), static_cast<unsigned int>(KFCURVE_INTERPOLATION_CONSTANT));
    EXPECT_EQ(c->KeyGetConstantMode(0), 0u);
    EXPECT_EQ(c->KeyGetInterpolation(1), static_cast<unsigned int>(KFCURVE_INTERPOLATION_LINEAR));
    c->Destroy();
    c = ReadHandBuilt(4004, 2, {T(0), D(1), C('Z'), C('n'), T(kSecond), D(2), C('A'), C('s')});
    ASSERT_EQ(c->KeyGetCount(), 2);
    EXPECT_EQ(c->KeyGetConstantMode(0), static_cast<unsigned int>(KFCURVE_CONSTANT_NEXT));
    EXPECT_EQ(c->KeyGetConstantMode(1), 0u);
    EXPECT_EQ(c->GetValue(), 0.5f);
    c->Destroy();
}

TEST(KFCurveLegacy, WeightLettersSince4002)
{
    // 4001: user keys carry no weight letter.
    KFCurve* c = ReadHandBuilt(4001, 2, {T(0), D(1), C('U'), C('s'), D(0.5), D(0.25), T(kSecond), D(2), C('U'),
                                         C('S'), D(1), D(2)});
    ASSERT_EQ(c->KeyGetCount(), 2);
    EXPECT_EQ(c->KeyGetTangeantMode(0), static_cast<unsigned int>(KFCURVE_TANGEANT_USER));
    EXPECT_EQ(c->KeyGetDataDouble(0, KFCURVEKEY_RIGHT_SLOPE), 0.5f);
    EXPECT_EQ(c->KeyGetDataDouble(0, KFCURVEKEY_NEXT_LEFT_SLOPE), 0.25f);
    EXPECT_EQ(c->KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_USER));
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_RIGHT_SLOPE), 1.0f);
    c->Destroy();
    // 4002: 'd' with a weight part; the previous key loses its next-left weight.
    c = ReadHandBuilt(4002, 2, {T(0), D(1), C('U'), C('b'), D(0.5), D(0.25), C('a'), D(0.3), D(0.6),
                                T(kSecond), D(2), C('U'), C('d'), D(-1.5), C('r'), D(0.4)});
    ASSERT_EQ(c->KeyGetCount(), 2);
    EXPECT_EQ(c->KeyGetTangeantMode(0), static_cast<unsigned int>(KFCURVE_TANGEANT_BREAK));
    EXPECT_EQ(c->KeyGetTangeantWeightMode(0), static_cast<unsigned int>(KFCURVE_WEIGHTED_RIGHT));
    EXPECT_NEAR(c->KeyGetDataDouble(0, KFCURVEKEY_RIGHT_WEIGHT), 0.3, 1e-4);
    EXPECT_NEAR(c->KeyGetDataDouble(0, KFCURVEKEY_NEXT_LEFT_WEIGHT), 0.3333, 1e-4);
    EXPECT_EQ(c->KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO));
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_NEXT_LEFT_SLOPE), -1.5f);
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_RIGHT_SLOPE), 0.0f);
    EXPECT_EQ(c->KeyGetTangeantWeightMode(1), static_cast<unsigned int>(KFCURVE_WEIGHTED_RIGHT));
    c->Destroy();
}

TEST(KFCurveLegacy, AutoKeysOf4000To4003)
{
    // 4000: 'a' is followed by one more double, for slot 1.
    KFCurve* c = ReadHandBuilt(4000, 2, {T(0), D(1), C('U'), C('a'), D(0.75), T(kSecond), D(2), C('U'), C('s'),
                                         D(0), D(0)});
    ASSERT_EQ(c->KeyGetCount(), 2);
    EXPECT_EQ(c->KeyGetTangeantMode(0), static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO));
    EXPECT_EQ(c->KeyGetDataDouble(0, KFCURVEKEY_NEXT_LEFT_SLOPE), 0.75f);
    c->Destroy();
    // 4003: after a linear key an auto key's right auto is -100; a user key
    // before an auto key loses its next-left slope.
    c = ReadHandBuilt(4003, 4, {T(0), D(1), C('L'), T(kSecond), D(2), C('U'), C('a'), T(2 * kSecond), D(3), C('U'),
                                C('s'), D(0.5), D(0.25), C('n'), T(3 * kSecond), D(4), C('U'), C('a')});
    ASSERT_EQ(c->KeyGetCount(), 4);
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_RIGHT_SLOPE), -100.0f);
    EXPECT_EQ(c->KeyGetDataDouble(2, KFCURVEKEY_NEXT_LEFT_SLOPE), 0.0f);
    EXPECT_EQ(c->KeyGetDataDouble(2, KFCURVEKEY_RIGHT_SLOPE), 0.5f);
    EXPECT_EQ(c->KeyGetDataDouble(3, KFCURVEKEY_RIGHT_SLOPE), 0.0f);
    c->Destroy();
    // 4004: the same auto key after a linear key keeps 0.
    c = ReadHandBuilt(4004, 2, {T(0), D(1), C('L'), T(kSecond), D(2), C('U'), C('A')});
    ASSERT_EQ(c->KeyGetCount(), 2);
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_RIGHT_SLOPE), 0.0f);
    c->Destroy();
    // 'p' whose left and right auto values do not cancel becomes auto-break.
    c = ReadHandBuilt(4004, 2, {T(0), D(1), C('U'), C('q'), D(0), D(-0.5), C('n'), T(kSecond), D(2), C('U'), C('p'),
                                D(0.5), D(0.1), C('n')});
    ASSERT_EQ(c->KeyGetCount(), 2);
    EXPECT_EQ(c->KeyGetTangeantMode(0), static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO_BREAK));
    EXPECT_EQ(c->KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO));
    c->Destroy();
    c = ReadHandBuilt(4004, 2, {T(0), D(1), C('U'), C('q'), D(0), D(-0.25), C('n'), T(kSecond), D(2), C('U'), C('p'),
                                D(0.5), D(0.1), C('n')});
    EXPECT_EQ(c->KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO_BREAK));
    c->Destroy();
}

// Oldest letters: control values turned into slopes, TCB keys, auto keys.
TEST(KFCurveLegacy, LegacyLettersAndControlValues)
{
    KFCurve* c = ReadHandBuilt(4004, 4, {T(0), D(0), C('B'), C('B'), D(9), D(1.0),
                                         T(kSecond), D(2), C('B'), C('B'), D(1.5), D(3.0),
                                         T(2 * kSecond), D(2), C('H'), C('a'),
                                         T(3 * kSecond), D(1), C('T'), D(0.1), D(0.2), D(0.3)});
    ASSERT_EQ(c->KeyGetCount(), 4);
    EXPECT_EQ(c->KeyGetTangeantMode(0), static_cast<unsigned int>(KFCURVE_TANGEANT_BREAK));
    EXPECT_EQ(c->KeyGetDataDouble(0, KFCURVEKEY_RIGHT_SLOPE), 3.0f);      // 3 x (1 - 0) / 1
    EXPECT_EQ(c->KeyGetDataDouble(0, KFCURVEKEY_NEXT_LEFT_SLOPE), 1.5f);  // -3 x (1.5 - 2) / 1
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_RIGHT_SLOPE), 3.0f);      // 3 x (3 - 2) / 1
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_NEXT_LEFT_SLOPE), 0.0f);  // next letter is not 'B'
    EXPECT_EQ(c->KeyGetTangeantMode(2), static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO));
    EXPECT_EQ(c->KeyGetTangeantMode(3), static_cast<unsigned int>(KFCURVE_TANGEANT_TCB));
    EXPECT_EQ(c->KeyGetDataFloat(3, KFCURVEKEY_TCB_BIAS), 0.3f);
    c->Destroy();
    // 'O' with any other kind letter: one slope for both sides, except a TCB neighbour.
    c = ReadHandBuilt(4004, 3, {T(0), D(0), C('T'), D(0), D(0), D(0), T(kSecond), D(1), C('O'), C('x'), D(0.5),
                                T(2 * kSecond), D(1), C('R'), C('u'), D(0.75)});
    ASSERT_EQ(c->KeyGetCount(), 3);
    EXPECT_EQ(c->KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_USER));
    EXPECT_EQ(c->KeyGetDataFloat(0, KFCURVEKEY_NEXT_LEFT_SLOPE), 0.0f); // TCB continuity untouched
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_RIGHT_SLOPE), 0.5f);
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_NEXT_LEFT_SLOPE), 0.75f);
    c->Destroy();
}

// Version 3999 and older: the three conversion passes.
TEST(KFCurveLegacy, OldTangentCombinationsAreConverted)
{
    // The last key becomes cubic auto; linear keys before it stay.
    KFCurve* c = ReadHandBuilt(3999, 2, {T(0), D(0), C('L'), T(kSecond), D(1), C('L')});
    ASSERT_EQ(c->KeyGetCount(), 2);
    EXPECT_EQ(c->KeyGetInterpolation(0), static_cast<unsigned int>(KFCURVE_INTERPOLATION_LINEAR));
    EXPECT_EQ(c->KeyGetInterpolation(1), static_cast<unsigned int>(KFCURVE_INTERPOLATION_CUBIC));
    EXPECT_EQ(c->KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO));
    c->Destroy();

    // TCB, user, linear: the user key breaks; the last key takes the user key's slope.
    c = ReadHandBuilt(3999, 3, {T(0), D(0), C('U'), C('t'), D(0), D(0), D(0), T(kSecond), D(1), C('U'), C('s'),
                                D(0.5), D(0.25), T(2 * kSecond), D(2), C('L')});
    ASSERT_EQ(c->KeyGetCount(), 3);
    EXPECT_EQ(c->KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_BREAK));
    EXPECT_EQ(c->KeyGetTangeantMode(2), static_cast<unsigned int>(KFCURVE_TANGEANT_USER));
    EXPECT_EQ(c->KeyGetDataDouble(2, KFCURVEKEY_RIGHT_SLOPE), 0.25f);
    EXPECT_EQ(c->KeyGetDataDouble(2, KFCURVEKEY_NEXT_LEFT_SLOPE), 0.0f);
    c->Destroy();

    // User, TCB, user, linear: the TCB key breaks, its next-left slope from
    // tension, continuity and bias.
    const double t = 0.5, cont = 0.25, bias = -0.5;
    c = ReadHandBuilt(3999, 4, {T(0), D(0), C('U'), C('s'), D(1), D(1), T(kSecond), D(2), C('U'), C('t'), D(t),
                                D(cont), D(bias), T(3 * kSecond), D(5), C('U'), C('s'), D(0), D(0),
                                T(4 * kSecond), D(3), C('L')});
    ASSERT_EQ(c->KeyGetCount(), 4);
    EXPECT_EQ(c->KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_BREAK));
    double expected = 0.5 * (1 - t) * ((1 - cont) * (1 + bias) * (5.0 - 2.0) / 2.0 + (1 + cont) * (1 - bias) * (3.0 - 5.0) / 1.0);
    EXPECT_NEAR(c->KeyGetDataDouble(1, KFCURVEKEY_NEXT_LEFT_SLOPE), expected, 1e-6);
    EXPECT_EQ(c->KeyGetTangeantMode(2), static_cast<unsigned int>(KFCURVE_TANGEANT_BREAK));
    EXPECT_EQ(c->KeyGetTangeantMode(3), static_cast<unsigned int>(KFCURVE_TANGEANT_USER));
    c->Destroy();

    // Constant, auto, auto: the middle auto key after a constant key becomes
    // user with a flat left side and the secant to the last key.
    c = ReadHandBuilt(3999, 3, {T(0), D(0), C('C'), T(kSecond), D(1), C('U'), C('a'), T(3 * kSecond), D(2), C('U'),
                                C('a')});
    ASSERT_EQ(c->KeyGetCount(), 3);
    EXPECT_EQ(c->KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_USER));
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_RIGHT_SLOPE), 0.0f);
    EXPECT_EQ(c->KeyGetDataDouble(1, KFCURVEKEY_NEXT_LEFT_SLOPE), 0.5f); // (2 - 1) / 2 s
    c->Destroy();
}

// Malformed keys are dropped; binary reading resynchronises on the time type.
TEST(KFCurveRepair, InvalidKeysAreDroppedInOrder)
{
    KFCurve* c = ReadHandBuilt(4004, 5, {T(0), D(1), C('X'),
                                         T(kSecond), D(2), C('L'),
                                         T(kSecond), D(3), C('L'),
                                         T(static_cast<long long>(0x8000000000000001ull)), D(4), C('L'),
                                         T(3 * kSecond), D(5), C('L')});
    ASSERT_EQ(c->KeyGetCount(), 2);
    EXPECT_EQ(c->KeyGetTime(0).Get(), kSecond);
    EXPECT_EQ(c->KeyGetValue(0), 2.0f);
    EXPECT_EQ(c->KeyGetTime(1).Get(), 3 * kSecond);
    c->Destroy();

    // Stray values between keys, a value of the wrong type, a missing tangent letter.
    c = ReadHandBuilt(4004, 4, {T(0), D(1), C('U'), C('s'), D(0.5), D(0.5), C('n'), I(999), D(7),
                                T(kSecond), I(5), C('L'),
                                T(2 * kSecond), D(3), C('U'), D(8),
                                T(3 * kSecond), D(4), C('L')});
    ASSERT_EQ(c->KeyGetCount(), 3);
    EXPECT_EQ(c->KeyGetTime(0).Get(), 0);
    EXPECT_EQ(c->KeyGetTime(1).Get(), 2 * kSecond);
    EXPECT_EQ(c->KeyGetTangeantMode(1), static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO)); // 'a' assumed
    EXPECT_EQ(c->KeyGetTime(2).Get(), 3 * kSecond);
    c->Destroy();
}

// A count from the file is checked against the values present before any
// key storage is reserved; a negative count is refused.
TEST(KFCurveRepair, KeyCountIsCheckedBeforeAllocation)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII}) {
        KFCurve* c = ReadHandBuilt(4004, -5, {T(0), D(1), C('L')}, form);
        EXPECT_EQ(c->KeyGetCount(), 0);
        EXPECT_EQ(c->GetValue(), 0.5f);
        c->Destroy();
        long long before = GetRecordingMemory();
        c = ReadHandBuilt(4004, 2000000000, {T(0), D(1), C('L'), T(kSecond), D(2), C('C'), C('s')}, form);
        ASSERT_EQ(c->KeyGetCount(), 2);
        EXPECT_LT(GetRecordingMemory() - before, 1 << 20);
        c->Destroy();
        // No "KeyVer": the version reads 0 and old rules apply; no "Key": no keys.
        c = ReadHandBuilt(0, 3, {}, form);
        EXPECT_EQ(c->KeyGetCount(), 0);
        c->Destroy();
    }
}

// ASCII carries no type codes: the same hand-built key reads the same.
TEST(KFCurveRepair, AsciiReadsTheSameKeys)
{
    KFCurve* c = ReadHandBuilt(4004, 3, {T(0), D(1), C('U'), C('b'), D(0.5), D(-0.5), C('l'), D(0.6),
                                         T(kSecond), D(2), C('C'), C('n'),
                                         T(2 * kSecond), D(3), C('U'), C('t'), D(0.1), D(0.2), D(0.3)},
                               KQox::eASCII);
    ASSERT_EQ(c->KeyGetCount(), 3);
    EXPECT_EQ(c->KeyGetTangeantMode(0), static_cast<unsigned int>(KFCURVE_TANGEANT_BREAK));
    EXPECT_EQ(c->KeyGetTangeantWeightMode(0), static_cast<unsigned int>(KFCURVE_WEIGHTED_NEXT_LEFT));
    EXPECT_NEAR(c->KeyGetDataDouble(0, KFCURVEKEY_NEXT_LEFT_WEIGHT), 0.6, 1e-4);
    EXPECT_EQ(c->KeyGetConstantMode(1), static_cast<unsigned int>(KFCURVE_CONSTANT_NEXT));
    EXPECT_EQ(c->KeyGetDataFloat(2, KFCURVEKEY_TCB_CONTINUITY), 0.2f);
    c->Destroy();
}

} // namespace
