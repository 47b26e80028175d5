// Curve keys stored as typed arrays ("KeyVer" 4005): every kind of key round
// trips bit for bit in every form, the arrays' layout, and damaged arrays.

#include "fcurve_test_util.h"

#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

using namespace fctest;

namespace {

struct Destroyer
{
    void operator()(KFCurve* c) const { c->Destroy(); }
};
using Curve = std::unique_ptr<KFCurve, Destroyer>;

const unsigned int AUTO_BREAK = KFCURVE_TANGEANT_AUTO_BREAK, TCB = KFCURVE_TANGEANT_TCB;

// A file in memory of the given capacity with one section "Takes" (version
// 6000) holding one "Channel" block.
template <typename Writer>
std::vector<unsigned char> WriteChannelImage(KQox::EForm form, Writer write, size_t capacity = 1 << 20)
{
    std::vector<unsigned char> bytes(capacity);
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), form, KQox::eVERSION_6, "pw"));
    f.ProjectWriteSectionBegin("Takes", 6000);
    BeginChannel(f, "T");
    write(f);
    EndChannel(f);
    f.ProjectWriteSectionEnd();
    EXPECT_TRUE(f.ProjectClose()) << f.GetLastErrorString();
    bytes.resize(static_cast<size_t>(f.ProjectGetFileSize()));
    return bytes;
}

bool OpenChannel(KQox& f, const std::vector<unsigned char>& bytes)
{
    return f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size()), "pw") && f.ProjectOpenSection(0) &&
           f.FieldReadBegin("Channel") && f.FieldReadBlockBegin();
}

std::vector<unsigned char> StoreArrays(KFCurve& curve, KQox::EForm form = KQox::eBINARY, size_t capacity = 1 << 20)
{
    return WriteChannelImage(
        form, [&](KQox& f) { EXPECT_TRUE(curve.QoxStore(&f, false, true, false, true)); }, capacity);
}

Curve ReadBack(const std::vector<unsigned char>& bytes)
{
    KQox f;
    EXPECT_TRUE(OpenChannel(f, bytes));
    Curve back(KFCurveCreate(&f));
    EXPECT_NE(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
    return back;
}

KFCurveKey* Append(KFCurve& curve, long long ticks, float value, unsigned int interpolation, unsigned int mode = 0,
                   float slot0 = 0.0f, float slot1 = 0.0f)
{
    KFCurveKey* key = curve.KeyGetPtr(curve.KeyAppendFast(KTime(ticks), value));
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

// Weights and velocities of a cubic key, with their flag bits.
void SetTangents(KFCurveKey* key, unsigned int weights, float right, float nextLeft, unsigned int velocities = 0,
                 float rightVelocity = 0.0f, float nextLeftVelocity = 0.0f)
{
    key->SetTangeantWeightMode(weights, KFCURVE_WEIGHTED_ALL);
    key->SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, right);
    key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT, nextLeft);
    key->SetTangeantVelocityMode(velocities, KFCURVE_VELOCITY_ALL);
    key->SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, rightVelocity);
    key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_VELOCITY, nextLeftVelocity);
}

// Every interpolation, constant mode, tangent mode, weight and velocity
// combination, with extreme values and slopes.
void FillEveryKind(KFCurve& c)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    c.SetValue(-FLT_MAX);
    float color[3] = {0.25f, 0.5f, 0.75f};
    c.SetColor(color);
    long long t = -4611686018427387904LL; // far before zero
    const long long step = 1539538600LL;
    Append(c, t, FLT_MAX, C, KFCURVE_CONSTANT_STANDARD);
    Append(c, t += step, -FLT_MAX, C, KFCURVE_CONSTANT_NEXT);
    Append(c, t += step, nan, L);
    Append(c, t += step, inf, L);
    Append(c, t += step, -inf, L);
    Append(c, t += step, FLT_MIN / 4, L); // a denormal
    KFCurveKey* tcb = Append(c, t += step, -4.0f, U, TCB);
    tcb->SetDataFloat(KFCURVEKEY_TCB_TENSION, 0.1f);
    tcb->SetDataFloat(KFCURVEKEY_TCB_CONTINUITY, -FLT_MAX);
    tcb->SetDataFloat(KFCURVEKEY_TCB_BIAS, nan);
    Append(c, t += step, 5.0f, U, USER, 1.5f, -2.5f);
    SetTangents(Append(c, t += step, 6.0f, U, USER, FLT_MAX, -FLT_MAX), KFCURVE_WEIGHTED_RIGHT, 0.2f, 0.33f);
    SetTangents(Append(c, t += step, 7.0f, U, BREAK, nan, inf), KFCURVE_WEIGHTED_NEXT_LEFT, 0.5f, 0.7f);
    SetTangents(Append(c, t += step, 8.0f, U, USER, 3.0f, 4.0f), KFCURVE_WEIGHTED_ALL, KFCURVE_MIN_WEIGHT,
                KFCURVE_MAX_WEIGHT);
    SetTangents(Append(c, t += step, 9.0f, U, AUTO, 0.0f, -0.5f), KFCURVE_WEIGHTED_NONE, 0.33f, 0.33f,
                KFCURVE_VELOCITY_RIGHT, 2.5f, 0.0f);
    SetTangents(Append(c, t += step, 10.0f, U, AUTO_BREAK, 0.3f, 0.6f), KFCURVE_WEIGHTED_ALL, 0.1f, 0.9f,
                KFCURVE_VELOCITY_ALL, -3.2768f, 3.2767f);
    SetTangents(Append(c, t += step, 11.0f, U, BREAK, -1.0f, 1.0f), KFCURVE_WEIGHTED_NONE, 0.33f, 0.33f,
                KFCURVE_VELOCITY_NEXT_LEFT, 0.0f, -1.25f);
    Append(c, t += step, 12.0f, U, AUTO); // flat auto
    Append(c, 4611686018427387904LL, 13.0f, L);
    c.SetPreExtrapolation(KFCURVE_EXTRAPOLATION_MIRROR_REPETITION);
    c.SetPreExtrapolationCount(3);
    c.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_KEEP_SLOPE);
    c.SetPostExtrapolationCount(KFCURVE_UNLIMITED_REPETITION);
}

// The same curve bit for bit: the stored flag bits and every data byte the
// key's kind uses (TCB: three floats; other cubic keys: all 16 bytes).
void ExpectSameCurve(KFCurve& a, KFCurve& b)
{
    const float va = a.GetValue(), vb = b.GetValue();
    EXPECT_EQ(std::memcmp(&va, &vb, sizeof va), 0);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(a.GetColor()[k], b.GetColor()[k]);
    EXPECT_EQ(a.GetPreExtrapolation(), b.GetPreExtrapolation());
    EXPECT_EQ(a.GetPreExtrapolationCount(), b.GetPreExtrapolationCount());
    EXPECT_EQ(a.GetPostExtrapolation(), b.GetPostExtrapolation());
    EXPECT_EQ(a.GetPostExtrapolationCount(), b.GetPostExtrapolationCount());
    ASSERT_EQ(Times(a), Times(b));
    for (int i = 0; i < a.KeyGetCount(); ++i)
    {
        const KFCurveKey* x = a.KeyGetPtr(i);
        const KFCurveKey* y = b.KeyGetPtr(i);
        const float xv = x->GetValue(), yv = y->GetValue();
        EXPECT_EQ(std::memcmp(&xv, &yv, sizeof xv), 0) << i;
        EXPECT_EQ(x->GetFlags(), y->GetFlags()) << i;
        if (x->GetInterpolation() != U)
            continue;
        if (x->GetTangeantMode() == TCB)
        {
            EXPECT_EQ(std::memcmp(x->GetDataPtr(), y->GetDataPtr(), 12), 0) << i;
            continue;
        }
        EXPECT_EQ(std::memcmp(x->GetDataPtr(), y->GetDataPtr(), 8), 0) << i; // the slopes
        // Weights and velocities whose bits are set (the others read back as defaults).
        const std::pair<unsigned int, EKFCurveDataIndex> slots[] = {
            {KFCURVE_WEIGHTED_RIGHT, KFCURVEKEY_RIGHT_WEIGHT},
            {KFCURVE_WEIGHTED_NEXT_LEFT, KFCURVEKEY_NEXT_LEFT_WEIGHT},
            {KFCURVE_VELOCITY_RIGHT, KFCURVEKEY_RIGHT_VELOCITY},
            {KFCURVE_VELOCITY_NEXT_LEFT, KFCURVEKEY_NEXT_LEFT_VELOCITY}};
        for (const auto& slot : slots)
        {
            if (x->GetFlags() & slot.first)
            {
                EXPECT_EQ(x->GetDataDouble(slot.second), y->GetDataDouble(slot.second)) << i << " " << slot.second;
            }
        }
    }
}

// Overwrites the array field `name` of the curve's channel block: the file
// is rebuilt with the fields given by `rewrite` in place of the stored ones.
template <typename Rewrite>
std::vector<unsigned char> HandBuilt(KQox::EForm form, Rewrite rewrite)
{
    return WriteChannelImage(form, [&](KQox& f) {
        WriteD(f, "Default", 1.0);
        WriteI(f, "KeyVer", 4005);
        rewrite(f);
    });
}

void WriteLongs(KQox& f, const char* name, std::vector<long long> v)
{
    f.FieldWriteBegin(name);
    f.FieldWriteArrayL(v.data(), static_cast<unsigned int>(v.size()));
    f.FieldWriteEnd();
}
void WriteFloats(KQox& f, const char* name, std::vector<float> v)
{
    f.FieldWriteBegin(name);
    f.FieldWriteArrayF(v.data(), static_cast<unsigned int>(v.size()));
    f.FieldWriteEnd();
}
void WriteInts(KQox& f, const char* name, std::vector<int> v)
{
    f.FieldWriteBegin(name);
    f.FieldWriteArrayI(v.data(), static_cast<unsigned int>(v.size()));
    f.FieldWriteEnd();
}

} // namespace

TEST(KFCurveKeyArrays, EveryKindOfKeyRoundTripsBitForBitInEveryForm)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED})
    {
        SCOPED_TRACE(form);
        Curve curve(KFCurveCreate());
        FillEveryKind(*curve);
        Curve back = ReadBack(StoreArrays(*curve, form));
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->KeyGetCount(), curve->KeyGetCount());
        ExpectSameCurve(*curve, *back);
        // Velocities as the key reports them: the fixed-point value nearest below.
        EXPECT_EQ(back->KeyGetPtr(11)->GetDataDouble(KFCURVEKEY_RIGHT_VELOCITY), float(24997 / 9999.0));
        EXPECT_EQ(back->KeyGetPtr(13)->GetTangeantVelocityMode(), unsigned(KFCURVE_VELOCITY_NEXT_LEFT));
        EXPECT_EQ(back->KeyGetPtr(13)->GetDataDouble(KFCURVEKEY_NEXT_LEFT_VELOCITY), float(-12498 / 9999.0));
        EXPECT_TRUE(std::isnan(back->KeyGetValue(2)));
        // Written again, the arrays are the same bytes (an encrypted file has a salt of its own each time).
        if (form != KQox::eENCRYPTED)
        {
            EXPECT_EQ(StoreArrays(*back, form), StoreArrays(*curve, form));
        }
    }
}

TEST(KFCurveKeyArrays, FieldsTypesAndItemsWorkedOutByHand)
{
    Curve curve(KFCurveCreate());
    curve->SetValue(1.5f);
    Append(*curve, 0, 1.0f, C, KFCURVE_CONSTANT_NEXT);
    Append(*curve, 100, 2.0f, U, AUTO); // flat auto: two zero slopes
    SetTangents(Append(*curve, 200, 3.0f, U, USER, 0.5f, 0.25f), KFCURVE_WEIGHTED_NEXT_LEFT, 0.33f, 0.5f,
                KFCURVE_VELOCITY_RIGHT, 1.0f);
    KFCurveKey* tcb = Append(*curve, 300, 4.0f, U, TCB);
    tcb->SetDataFloat(KFCURVEKEY_TCB_TENSION, 0.5f);
    tcb->SetDataFloat(KFCURVEKEY_TCB_CONTINUITY, -0.5f);
    tcb->SetDataFloat(KFCURVEKEY_TCB_BIAS, 0.25f);
    KFCurveKey* linear = Append(*curve, 400, 5.0f, L);
    linear->SetSelected(true); // selection is not stored
    curve->SetPostExtrapolationCount(2);
    const auto bytes = StoreArrays(*curve);
    KQox f;
    ASSERT_TRUE(OpenChannel(f, bytes));
    const char* order[] = {"Default",  "KeyVer",  "KeyCount",           "KeyTime", "KeyValue",
                           "KeyFlags", "KeyData", "Post-Extrapolation", "Color"};
    ASSERT_EQ(f.FieldReadGetRecordCount(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_STREQ(f.FieldReadGetRecordName(i), order[i]);
    EXPECT_EQ(f.FieldReadI("KeyVer", 0), 4005);
    EXPECT_EQ(f.FieldReadI("KeyCount", 0), 5);
    ASSERT_TRUE(f.FieldReadBegin("KeyTime"));
    EXPECT_EQ(f.FieldReadGetType(), 'l');
    long long times[5];
    ASSERT_TRUE(f.FieldReadArrayL(times, 5));
    EXPECT_EQ(std::vector<long long>(times, times + 5), (std::vector<long long>{0, 100, 200, 300, 400}));
    f.FieldReadEnd();
    ASSERT_TRUE(f.FieldReadBegin("KeyValue"));
    EXPECT_EQ(f.FieldReadGetType(), 'f');
    f.FieldReadEnd();
    ASSERT_TRUE(f.FieldReadBegin("KeyFlags"));
    EXPECT_EQ(f.FieldReadGetType(), 'i');
    int flags[5];
    ASSERT_TRUE(f.FieldReadArrayI(flags, 5));
    // 0x102 constant-next; 0x108 cubic auto; 0x12000408 cubic user, next-left weight, right velocity;
    // 0x208 cubic TCB; 0x4 linear (the selection bit dropped).
    EXPECT_EQ(std::vector<int>(flags, flags + 5), (std::vector<int>{0x102, 0x108, 0x12000408, 0x208, 0x4}));
    f.FieldReadEnd();
    ASSERT_TRUE(f.FieldReadBegin("KeyData"));
    ASSERT_EQ(f.FieldReadArrayCount(), 2 + 4 + 3);
    float data[9];
    ASSERT_TRUE(f.FieldReadArrayF(data, 9));
    // The weight 0.5 is held as 4999 / 9999, the velocity 1 as 9999 / 9999.
    EXPECT_EQ(std::vector<float>(data, data + 9),
              (std::vector<float>{0, 0, 0.5f, 0.25f, float(4999 / 9999.0), 1.0f, 0.5f, -0.5f, 0.25f}));
    f.FieldReadEnd();
}

TEST(KFCurveKeyArrays, NoKeysAndAHundredThousandKeys)
{
    Curve empty(KFCurveCreate());
    empty->SetValue(2.0f);
    KQox f;
    const auto bytes = StoreArrays(*empty);
    ASSERT_TRUE(OpenChannel(f, bytes));
    EXPECT_EQ(f.FieldReadGetRecordCount(), 2); // "Default" and "Color"
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
    {
        SCOPED_TRACE(form);
        Curve curve(KFCurveCreate());
        curve->KeyModifyBegin();
        for (int k = 0; k < 100000; ++k)
        {
            KFCurveKey* key = curve->KeyGetPtr(curve->KeyAppendFast(KTime(k * 1539538600LL), float(k % 17) / 3.0f));
            key->SetInterpolation(k % 3 == 0 ? U : (k % 3 == 1 ? L : C));
            key->SetTangeantMode(k % 3 ? 0 : (k % 2 ? USER : AUTO)); // constant keys: standard
            key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, float(k) / 7.0f);
        }
        curve->KeyModifyEnd();
        Curve back = ReadBack(StoreArrays(*curve, form, 16u << 20));
        ASSERT_EQ(back->KeyGetCount(), 100000);
        ExpectSameCurve(*curve, *back);
    }
}

// Keys the arrays cannot hold are dropped; the others keep their order.
TEST(KFCurveKeyArrays, KeysWithoutInterpolationOrOutOfOrderAreDropped)
{
    const long long unset = static_cast<long long>(0x8000000000000001ull);
    const auto bytes = HandBuilt(KQox::eBINARY, [&](KQox& f) {
        WriteI(f, "KeyCount", 6);
        WriteLongs(f, "KeyTime", {10, unset, 20, 15, 30, 40});
        WriteFloats(f, "KeyValue", {1, 2, 3, 4, 5, 6});
        WriteInts(f, "KeyFlags", {0x4, 0x4, 0x0, 0x4, 0x408, 0x6});
        WriteFloats(f, "KeyData", {0.5f, -0.5f});
    });
    Curve c = ReadBack(bytes);
    ASSERT_NE(c, nullptr);
    // Dropped: the unset time, 20 (no interpolation), 40 (two interpolations). 15 follows the last key kept.
    EXPECT_EQ(Times(*c), (std::vector<long long>{10, 15, 30}));
    EXPECT_EQ(Values(*c), (std::vector<float>{1, 4, 5}));
    EXPECT_EQ(c->KeyGetTangeantMode(2), USER);
    EXPECT_EQ(c->KeyGetDataFloat(2, KFCURVEKEY_RIGHT_SLOPE), 0.5f);
}

TEST(KFCurveKeyArrays, ArraysThatDisagreeAreDamage)
{
    struct Case
    {
        const char* what;
        std::vector<long long> times;
        std::vector<float> values;
        std::vector<int> flags;
        std::vector<float> data;
        int count;
    };
    const Case cases[] = {
        {"times short", {1}, {1, 2}, {4, 4}, {}, 2},
        {"values long", {1, 2}, {1, 2, 3}, {4, 4}, {}, 2},
        {"flags short", {1, 2}, {1, 2}, {4}, {}, 2},
        {"data short", {1, 2}, {1, 2}, {0x408, 0x208}, {1, 2, 3, 4}, 2},
        {"data long", {1, 2}, {1, 2}, {0x4, 0x408}, {1, 2, 3}, 2},
        {"negative count", {}, {}, {}, {}, -1},
    };
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (const Case& c : cases)
        {
            SCOPED_TRACE(std::string(c.what) + " " + std::to_string(form));
            const auto bytes = HandBuilt(form, [&](KQox& f) {
                WriteI(f, "KeyCount", c.count);
                WriteLongs(f, "KeyTime", c.times);
                WriteFloats(f, "KeyValue", c.values);
                WriteInts(f, "KeyFlags", c.flags);
                WriteFloats(f, "KeyData", c.data);
            });
            KQox f;
            ASSERT_TRUE(OpenChannel(f, bytes));
            Curve back(KFCurveCreate(&f));
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(back->KeyGetCount(), 0);
            EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
            EXPECT_STREQ(f.GetLastErrorString(), "File is corrupted");
        }
    // A scalar where an array belongs is damage too.
    const auto bytes = HandBuilt(KQox::eBINARY, [&](KQox& f) {
        WriteI(f, "KeyCount", 1);
        WriteD(f, "KeyTime", 1.0);
    });
    KQox f;
    ASSERT_TRUE(OpenChannel(f, bytes));
    Curve back(KFCurveCreate(&f));
    EXPECT_EQ(back->KeyGetCount(), 0);
    EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
}

// Arrays past the few items a curve reads in place disagree as damage too,
// whichever array holds one item more or fewer.
TEST(KFCurveKeyArrays, LongArraysThatDisagreeAreDamage)
{
    const int count = 40;
    std::vector<long long> times;
    std::vector<float> values;
    std::vector<int> flags;
    for (int i = 0; i < count; ++i)
    {
        times.push_back(i + 1);
        values.push_back(static_cast<float>(i));
        flags.push_back(4);
    }
    for (int which = 0; which < 3; ++which)
        for (int delta : {-1, 1})
            for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
            {
                SCOPED_TRACE(std::to_string(which) + " " + std::to_string(delta) + " " + std::to_string(form));
                std::vector<long long> t = times;
                std::vector<float> v = values;
                std::vector<int> fl = flags;
                if (which == 0)
                    t.resize(t.size() + static_cast<size_t>(delta), 99);
                else if (which == 1)
                    v.resize(v.size() + static_cast<size_t>(delta), 1.0f);
                else
                    fl.resize(fl.size() + static_cast<size_t>(delta), 4);
                const auto bytes = HandBuilt(form, [&](KQox& f) {
                    WriteI(f, "KeyCount", count);
                    WriteLongs(f, "KeyTime", t);
                    WriteFloats(f, "KeyValue", v);
                    WriteInts(f, "KeyFlags", fl);
                });
                KQox f;
                ASSERT_TRUE(OpenChannel(f, bytes));
                Curve back(KFCurveCreate(&f));
                ASSERT_NE(back, nullptr);
                EXPECT_EQ(back->KeyGetCount(), 0);
                EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED);
            }
    // The same arrays in agreement read every key.
    const auto bytes = HandBuilt(KQox::eBINARY, [&](KQox& f) {
        WriteI(f, "KeyCount", count);
        WriteLongs(f, "KeyTime", times);
        WriteFloats(f, "KeyValue", values);
        WriteInts(f, "KeyFlags", flags);
    });
    KQox f;
    ASSERT_TRUE(OpenChannel(f, bytes));
    Curve back(KFCurveCreate(&f));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->KeyGetCount(), count);
    EXPECT_EQ(back->KeyGetValue(count - 1), static_cast<float>(count - 1));
}

// A file cut anywhere inside the arrays opens as damaged or reads with a
// clean "File is corrupted", never with keys from beyond the cut.
TEST(KFCurveKeyArrays, TruncatedArraysGiveACleanError)
{
    Curve curve(KFCurveCreate());
    FillEveryKind(*curve);
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
    {
        const auto whole = StoreArrays(*curve, form);
        for (size_t cut = 40; cut < whole.size(); cut += 7)
        {
            std::vector<unsigned char> bytes(whole.begin(), whole.begin() + static_cast<long>(cut));
            KQox f;
            if (!f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size()), "pw", false) ||
                !f.ProjectOpenSection(0) || !f.FieldReadBegin("Channel") || !f.FieldReadBlockBegin())
            {
                EXPECT_NE(f.GetLastErrorID(), KQox::eUNIDENTIFIED_ERROR) << cut;
                continue;
            }
            Curve back(KFCurveCreate(&f));
            if (back && back->KeyGetCount() != curve->KeyGetCount())
            {
                EXPECT_EQ(f.GetLastErrorID(), KQox::eFILE_CORRUPTED) << cut;
            }
        }
    }
}

// The key-by-key layout is still written on request, and read.
TEST(KFCurveKeyArrays, BothLayoutsReadTheSameCurve)
{
    Curve curve(KFCurveCreate());
    FillEveryKind(*curve);
    // The key-by-key layout stores no velocities and no NaN tangents of
    // TCB keys exactly: compare on a curve without them.
    for (int i = 0; i < curve->KeyGetCount(); ++i)
    {
        KFCurveKey* key = curve->KeyGetPtr(i);
        key->SetTangeantVelocityMode(KFCURVE_VELOCITY_NONE, KFCURVE_VELOCITY_ALL);
        key->SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, 0.0f);
        key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_VELOCITY, 0.0f);
    }
    // An auto key with slopes reads back from the key-by-key layout as
    // auto-break when its sides differ; the arrays keep its mode.
    curve->KeyGetPtr(11)->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, 0.0f);
    const auto perKey =
        WriteChannelImage(KQox::eBINARY, [&](KQox& f) { EXPECT_TRUE(curve->QoxStore(&f, false, true)); });
    Curve a = ReadBack(perKey);
    Curve b = ReadBack(StoreArrays(*curve));
    ASSERT_EQ(Kinds(*a), Kinds(*b));
    EXPECT_EQ(Times(*a), Times(*b));
    EXPECT_EQ(Derivatives(*a, 8), Derivatives(*b, 8));
    EXPECT_EQ(Derivatives(*a, 12), Derivatives(*b, 12));
}

// The ASCII text of the largest float reads back a hair beyond it: the
// static value and key values stay finite in either key layout.
TEST(KFCurveKeyArrays, LargestFloatsStayFiniteInAscii)
{
    for (bool arrays : {false, true})
    {
        Curve curve(KFCurveCreate());
        curve->SetValue(-FLT_MAX);
        Append(*curve, 0, FLT_MAX, L);
        Append(*curve, 10, -FLT_MAX, L);
        const auto bytes = WriteChannelImage(
            KQox::eASCII, [&](KQox& f) { EXPECT_TRUE(curve->QoxStore(&f, false, true, false, arrays)); });
        Curve back = ReadBack(bytes);
        EXPECT_EQ(back->GetValue(), -FLT_MAX) << arrays;
        EXPECT_EQ(Values(*back), (std::vector<float>{FLT_MAX, -FLT_MAX})) << arrays;
    }
}
