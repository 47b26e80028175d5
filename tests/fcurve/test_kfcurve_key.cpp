// Key record encodings, key storage across block and table boundaries, key search, and single-key edits of a curve.

#include "fcurve_test_util.h"

#include <random>

using namespace fctest;

namespace {

short RawShort(const KFCurveKey& key, int slot)
{
    short s;
    std::memcpy(&s, reinterpret_cast<const char*>(key.GetDataPtr()) + 8 + 2 * (slot - 2), 2);
    return s;
}

// The fixed-point slots 2 to 5: weights, then velocities.
std::vector<short> Fixed(const KFCurveKey& key)
{
    return {RawShort(key, 2), RawShort(key, 3), RawShort(key, 4), RawShort(key, 5)};
}

// The search as a plain walk from the hint; the curve's search must answer the same position and leave the same hint.
double WalkFind(KFCurve& c, KTime time, int& hint)
{
    const int n = c.KeyGetCount();
    int s = hint < 0 ? 0 : (hint > n - 1 ? n - 1 : hint);
    auto t = [&](int i) { return c.KeyGetTime(i); };
    auto at = [&](int i) { return i + (time - t(i)).GetSecondDouble() / (t(i + 1) - t(i)).GetSecondDouble(); };
    if (time == t(s))
        return hint = s;
    if (time < t(s))
    {
        while (s > 0 && time < t(s - 1))
            --s;
        hint = s == 0 ? 0 : s - 1;
        return s == 0 ? -0.5 : at(s - 1);
    }
    for (; s < n - 1; ++s)
        if (time <= t(s + 1))
        {
            hint = s + 1;
            return at(s);
        }
    hint = n;
    return n - 0.5;
}

} // namespace

TEST(KFCurveKeyTest, DataSlotsStoreFixedPointWithClamps)
{
    KFCurveKey key = MakeKey(KTime(0), 0.0f);
    // Weights are clamped to [0.0001, 0.99]; velocities truncate toward zero and stop at the 16-bit range's ends.
    const struct
    {
        EKFCurveDataIndex slot;
        float value;
        short raw;
    } cases[] = {{KFCURVEKEY_RIGHT_WEIGHT, 1.5f, 9899},
                 {KFCURVEKEY_NEXT_LEFT_WEIGHT, 0.999f, 9899},
                 {KFCURVEKEY_RIGHT_WEIGHT, 0.0f, 1},
                 {KFCURVEKEY_RIGHT_WEIGHT, -3.0f, 1},
                 {KFCURVEKEY_RIGHT_WEIGHT, KFCURVE_DEFAULT_WEIGHT, 3333},
                 {KFCURVEKEY_RIGHT_VELOCITY, -0.5f, -4999},
                 {KFCURVEKEY_NEXT_LEFT_VELOCITY, 2.0f, 19998},
                 {KFCURVEKEY_RIGHT_VELOCITY, 10.0f, 32767},
                 {KFCURVEKEY_RIGHT_VELOCITY, -10.0f, -32768}};
    for (const auto& c : cases)
    {
        key.SetDataDouble(c.slot, c.value);
        EXPECT_EQ(RawShort(key, c.slot), c.raw) << c.value;
        EXPECT_EQ(key.GetDataDouble(c.slot), static_cast<float>(c.raw / 9999.0)) << c.value;
    }
    // Slots 0 and 1 hold floats, unconverted; float slot 2 overlays the weights.
    key.SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, 12.5f);
    key.SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, -0.125f);
    EXPECT_EQ(key.GetDataPtr()[0], 12.5f);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE), -0.125f);
    key.SetDataFloat(KFCURVEKEY_TCB_BIAS, 0.75f);
    float raw;
    std::memcpy(&raw, reinterpret_cast<const char*>(key.GetDataPtr()) + 8, 4);
    EXPECT_EQ(raw, 0.75f);
    // Slots outside the area read 0 and are not written.
    EXPECT_EQ(key.GetDataDouble(static_cast<EKFCurveDataIndex>(6)), 0.0f);
    EXPECT_EQ(key.GetDataFloat(static_cast<EKFCurveDataIndex>(9)), 0.0f);
    KFCurveKey before = key;
    key.SetDataDouble(static_cast<EKFCurveDataIndex>(-1), 5.0f);
    key.SetDataFloat(static_cast<EKFCurveDataIndex>(4), 5.0f);
    EXPECT_EQ(std::memcmp(&before, &key, sizeof key), 0);
    // A weight read from a slot and written back keeps its fixed-point value.
    for (int v = 1; v <= 9899; ++v)
    {
        key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, static_cast<float>(v / 9999.0));
        key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, key.GetDataDouble(KFCURVEKEY_RIGHT_WEIGHT));
        ASSERT_EQ(RawShort(key, 2), v);
    }
    for (int v = -32768; v <= 32767; v += 7)
    {
        key.SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, static_cast<float>(v / 9999.0));
        ASSERT_EQ(RawShort(key, 4), v);
    }
}

TEST(KFCurveKeyTest, FlagFields)
{
    KFCurveKey key = MakeKey(KTime(0), 0.0f);
    key.Set(Sec(1), 2.0f, U, BREAK, 1.0f, 2.0f, KFCURVE_WEIGHTED_ALL, 0.5f, 0.25f, 0.1f, 0.2f);
    EXPECT_EQ(key.GetFlags(), 0x8u | 0xC00u | 0x3000000u);
    EXPECT_TRUE(key.GetBreak());
    EXPECT_EQ(Fixed(key), (std::vector<short>{4999, 2499, 999, 1999}));
    key.SetSelected(true);
    key.SetFocus(true);
    EXPECT_EQ(key.GetFlags() & 0xF0000u, 0x90000u);
    key.SetSelected(false); // clears the focus too
    EXPECT_EQ(key.GetFlags() & 0xF0000u, 0u);
    key.SetTangeantVisibility(KFCURVE_TANGEANT_SHOW_BOTH);
    key.SetTangeantWeightMode(0, 0xFFFFFFFFu); // a mask outside the field changes nothing else
    EXPECT_EQ(key.GetTangeantWeightMode(), 0u);
    EXPECT_EQ(key.GetTangeantVisibility(), 0x300000u);
    key.SetTangeantVelocityMode(KFCURVE_VELOCITY_RIGHT, KFCURVE_VELOCITY_ALL);
    EXPECT_EQ(key.GetTangeantVelocityMode(), 0x10000000u);
    key.SetInterpolation(C); // constant mode shares bit 0x100 with the auto tangent mode
    key.SetConstantMode(KFCURVE_CONSTANT_NEXT);
    EXPECT_EQ(key.GetTangeantMode(), 0xD00u);
    // Becoming cubic resets weights and velocities; staying cubic keeps them.
    key.SetTangeantWeightMode(KFCURVE_WEIGHTED_ALL);
    key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, 0.5f);
    key.SetInterpolation(U);
    EXPECT_EQ(key.GetTangeantWeightMode() | key.GetTangeantVelocityMode(), 0u);
    EXPECT_EQ(Fixed(key), (std::vector<short>{3333, 3333, 0, 0}));
    key.SetTangeantWeightMode(KFCURVE_WEIGHTED_RIGHT);
    key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, 0.5f);
    key.SetInterpolation(U);
    EXPECT_EQ(key.GetTangeantWeightMode(), 0x1000000u);
    EXPECT_EQ(RawShort(key, 2), 4999);
    key.Init(); // init zeroes value, time and flags and keeps the data
    EXPECT_EQ(key.GetFlags(), 0u);
    EXPECT_EQ(key.GetTime().Get() + key.GetValue(), 0);
    EXPECT_EQ(RawShort(key, 2), 4999);
    key.SetTCB(Sec(2), 3.0f, 0.1f, 0.2f, 0.3f);
    EXPECT_EQ(key.GetFlags(), 0x208u);
    EXPECT_EQ(key.GetDataFloat(KFCURVEKEY_TCB_CONTINUITY), 0.2f);
    // Only user and break slopes scale.
    key = MakeKey(KTime(0), 0.0f, U, USER, 2.0f, -4.0f);
    key.MultTangeant(1.5f);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_RIGHT_SLOPE), 3.0f);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE), -6.0f);
    key.SetTangeantMode(AUTO);
    key.MultTangeant(1.5f);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_RIGHT_SLOPE), 3.0f);
}

TEST(KFCurveStorageTest, BlocksAndTableGrowAtTheirBoundaries)
{
    const long long base = GetRecordingMemory();
    KFCurve* c = KFCurveCreate();
    for (int i = 0; i < 32; ++i)
        c->KeyAppendFast(Sec(i), static_cast<float>(i));
    const long long table = 64 * static_cast<long long>(sizeof(void*));
    EXPECT_EQ(GetRecordingMemory() - base, table + 1024);
    c->KeyAdd(Sec(32), *c->KeyGetPtr(31)); // the 33rd key opens a second block
    EXPECT_EQ(GetRecordingMemory() - base, table + 2 * 1024);
    EXPECT_EQ(c->KeyGetValue(32), 31.0f);
    EXPECT_EQ(c->KeyGetTime(32), Sec(32));
    for (int i = 33; i < 2048; ++i)
        c->KeyAppendFast(Sec(i), static_cast<float>(i));
    EXPECT_EQ(GetRecordingMemory() - base, table + 64 * 1024);
    c->KeyAppendFast(Sec(2048), 2048.0f); // the 2049th key: table of 128 pointers
    EXPECT_EQ(GetRecordingMemory() - base, 2 * table + 65 * 1024);
    EXPECT_EQ(c->KeyGetCount(), 2049);
    for (int i : {31, 2047, 2048})
        EXPECT_EQ(c->KeyGetValue(i), i) << i;
    EXPECT_TRUE(c->CheckCurve());
    c->KeyClear();
    EXPECT_EQ(GetRecordingMemory(), base);
    EXPECT_TRUE(c->CheckCurve());
    c->Destroy();
}

TEST(KFCurveStorageTest, InsertAndRemoveMoveKeysAcrossBlocks)
{
    KFCurve c;
    // Every key goes in at index 0, so every insertion carries keys over block boundaries.
    for (int i = 99; i >= 0; --i)
    {
        KFCurveKey key = MakeKey(KTime(0), static_cast<float>(i));
        EXPECT_EQ(c.KeyAdd(Sec(i), key), 0);
    }
    ASSERT_EQ(c.KeyGetCount(), 100);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(c.KeyGetTime(i).GetSecondDouble(), c.KeyGetValue(i));
    EXPECT_EQ(c.KeyRemove(0), 0);  // removing from the front moves every later key down a slot
    EXPECT_EQ(c.KeyRemove(30), 0); // the key of value 31
    ASSERT_EQ(c.KeyGetCount(), 98);
    for (int i = 0; i < 98; ++i)
        ASSERT_EQ(c.KeyGetValue(i), static_cast<float>(i < 30 ? i + 1 : i + 2)) << i;
    EXPECT_EQ(c.KeyRemove(98), 1);
    EXPECT_EQ(c.KeyRemove(-1), 1);
    const long long before = GetRecordingMemory();
    for (int i = 97; i >= 10; --i)
        c.KeyRemove(i);
    EXPECT_EQ(GetRecordingMemory(), before); // removal keeps the blocks
    c.KeyShrink();
    EXPECT_EQ(GetRecordingMemory(), before - 3 * 1024);
    EXPECT_TRUE(c.CheckCurve());
}

TEST(KFCurveStorageTest, OutOfRangeIndicesAreRefused)
{
    KFCurve c;
    EXPECT_EQ(c.KeyGetPtr(0), nullptr);
    c.KeyAppendFast(Sec(0), 1.0f);
    c.KeyAppendFast(Sec(1), 2.0f);
    for (int bad : {2, -1, 1000000})
    {
        EXPECT_EQ(c.KeyGetPtr(bad), nullptr) << bad;
        EXPECT_EQ(c.KeyGetValue(bad), 0.0f) << bad;
        EXPECT_EQ(c.KeyGetTime(bad), KTime(0)) << bad;
        EXPECT_EQ(c.KeyGetLeftDerivative(bad), 0.0f) << bad;
        EXPECT_EQ(c.KeyGetRightDerivative(bad), 0.0f) << bad;
        EXPECT_EQ(c.KeyGet(bad).GetValue(), 0.0f) << bad;
        c.KeySetValue(bad, 9.0f);
        c.KeySetTime(bad, Sec(4));
        c.KeySet(bad, Sec(5), 1.0f);
        c.KeySetDataDouble(bad, KFCURVEKEY_RIGHT_SLOPE, 1.0f);
        c.KeySetLeftTangeantWeight(bad, 0.5f);
        c.KeySetRightDerivative(bad, 1.0f);
    }
    EXPECT_EQ(Times(c), (std::vector<long long>{0, kTicksPerSecond}));
    EXPECT_EQ(Values(c), (std::vector<float>{1, 2}));
    EXPECT_TRUE(c.CheckCurve());
    c.KeyModifyBegin(40); // a KeyModifyBegin(n) batch may fill its n keys directly
    for (int i = 2; i < 40; ++i)
    {
        KFCurveKey* key = c.KeyGetPtr(i);
        ASSERT_NE(key, nullptr);
        key->Set(Sec(i), static_cast<float>(i + 1));
    }
    EXPECT_EQ(c.KeyGetPtr(40), nullptr);
    c.KeyModifyEnd(40);
    EXPECT_EQ(c.KeyGetValue(39), 40.0f);
    EXPECT_EQ(c.KeyGetPtr(40), nullptr);
    c.KeyModifyBegin(); // a count beyond the storage is limited to it
    c.KeyModifyEnd(100000);
    EXPECT_EQ(c.KeyGetCount(), 64);
    EXPECT_TRUE(c.CheckCurve());
}

TEST(KFCurveSearchTest, KeyFindRuleAndTheTickRangeEnds)
{
    KFCurve c;
    int hint = 0;
    EXPECT_EQ(c.KeyFind(Sec(1), &hint), -1.0);
    c.KeyAppendFast(Sec(0), 0.0f);
    c.KeyAppendFast(Sec(1), 10.0f);
    // {time, hint in, position, hint out}: walking down from a hint past the time, the hint names the key before.
    const struct
    {
        double time;
        int hintIn;
        double found;
        int hintOut;
    } cases[] = {{0.25, 0, 0.25, 1}, {1, 1, 1.0, 1}, {-1, 1, -0.5, 0}, {2, 0, 1.5, 2}, {0.5, 2, 0.5, 0}};
    for (const auto& k : cases)
    {
        hint = k.hintIn;
        EXPECT_DOUBLE_EQ(c.KeyFind(Sec(k.time), &hint), k.found) << k.time;
        EXPECT_EQ(hint, k.hintOut) << k.time;
    }
    EXPECT_DOUBLE_EQ(c.KeyFind(Sec(0.75)), 0.75); // null: the curve's own hint
    KFCurve wide;                                 // keys from a file may sit more than 2^63 ticks apart
    const long long hi = 0x7FFFFFFFFFFFFF00LL;
    wide.KeyAppendFast(KTime(-hi), 0.0f);
    wide.KeyAppendFast(KTime(hi), 1.0f);
    hint = 0;
    EXPECT_NEAR(wide.KeyFind(KTime(0), &hint), 0.5, 1e-12);
    EXPECT_EQ(hint, 1);
    EXPECT_NEAR(wide.KeyFind(KTime(hi / 2), &hint), 0.75, 1e-12);
}

TEST(KFCurveSearchTest, SearchAgreesWithTheWalkFromAnyHint)
{
    std::mt19937 rng(7);
    KFCurve c;
    long long t = 0;
    for (int i = 0; i < 3000; ++i)
    {
        t += 1 + rng() % 5000000;
        c.KeyAppendFast(KTime(t), static_cast<float>(i));
    }
    for (int trial = 0; trial < 20000; ++trial)
    {
        const long long when = static_cast<long long>(rng() % (t + 20000000)) - 10000000;
        int h1 = static_cast<int>(rng() % 3010) - 5;
        KTime time(trial % 4 == 0 ? c.KeyGetTime(static_cast<int>(rng() % 3000)).Get() : when);
        int h2 = h1;
        const double expected = WalkFind(c, time, h2);
        ASSERT_EQ(c.KeyFind(time, &h1), expected) << trial;
        ASSERT_EQ(h1, h2) << trial;
    }
}

TEST(KFCurveEditTest, KeyAddSetAndRemove)
{
    KFCurve c;
    int last = -1;
    KFCurveKey a = MakeKey(KTime(0), 1.0f), b = MakeKey(KTime(0), 2.0f), d = MakeKey(KTime(0), 3.0f);
    EXPECT_EQ(c.KeyAdd(Sec(1), a, &last), 0);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(c.KeyAdd(Sec(2), b, &last), 1);
    EXPECT_EQ(c.KeyAdd(Sec(1), d, &last), 0); // replaces at an existing time
    EXPECT_EQ(Values(c), (std::vector<float>{3, 2}));
    KFCurveKey late = MakeKey(Sec(3), 5.0f), early = MakeKey(Sec(0.5), 5.0f); // KeySet keeps the order of the keys
    EXPECT_EQ(c.KeySet(0, late), 1);
    EXPECT_EQ(c.KeySet(0, early), 0);
    EXPECT_EQ(c.KeyGetTime(0), Sec(0.5));
    EXPECT_EQ(c.KeyAdd(Sec(1.5)), 1);        // KeyAdd with no key given keys the curve's value there, cubic auto
    EXPECT_FLOAT_EQ(c.KeyGetValue(1), 3.0f); // linear from (0.5 s, 5) to (2 s, 2)
    EXPECT_EQ(c.KeyGetInterpolation(1) | c.KeyGetTangeantMode(1), 0x108u);
    KFCurve one; // removing the only key leaves its value as the static value
    AddKey(one, Sec(2), 4.5f);
    EXPECT_EQ(one.KeyRemove(0), 0);
    EXPECT_EQ(one.KeyGetCount(), 0);
    EXPECT_EQ(one.GetValue(), 4.5f);
}

TEST(KFCurveEditTest, KeyMoveRespectsTheTimeEpsilon)
{
    KFCurve c;
    AddKeys(c, {0, 1, 2, 3});
    EXPECT_EQ(gsTimeEpsilon, Sec(1e-5));
    EXPECT_EQ(c.KeyMove(0, Sec(2)), 2); // onto another key's exact time: it lands one epsilon later
    EXPECT_EQ(c.KeyGetTime(2), Sec(2) + gsTimeEpsilon);
    EXPECT_EQ(Values(c), (std::vector<float>{1, 2, 0, 3}));
    EXPECT_EQ(c.KeyMove(3, Sec(10)), 3); // in place when it stays clear of its neighbours
    EXPECT_EQ(c.KeyGetTime(3), Sec(10));
    EXPECT_EQ(c.KeyMove(7, Sec(1)), -1);
    KFCurve m; // moving the selected keys by a delta, past unselected ones
    AddKeys(m, {0, 1, 2, 3, 4});
    m.KeySetSelected(1, true);
    m.KeySetSelected(2, true);
    EXPECT_EQ(m.KeyMoveOf(true, Sec(2), 10.0f), 0);
    EXPECT_EQ(Values(m), (std::vector<float>{0, 3, 11, 4, 12}));
    EXPECT_EQ(m.KeyGetTime(2), Sec(3) + gsTimeEpsilon);
    EXPECT_EQ(m.KeyGetTime(4), Sec(4) + gsTimeEpsilon);
    for (int i = 1; i < 5; ++i)
        EXPECT_LT(m.KeyGetTime(i - 1), m.KeyGetTime(i));
    EXPECT_EQ(m.KeyMoveOf(false, Sec(-1), 1.0f), 0); // every key alike
    EXPECT_EQ(m.KeyGetTime(0), Sec(-1));
    EXPECT_EQ(m.KeyGetValue(0), 1.0f);
}

TEST(KFCurveEditTest, SelectionAndValueEdits)
{
    KFCurve c;
    for (int i = 0; i < 4; ++i)
        AddKey(c, Sec(i), static_cast<float>(i + 1), U, USER, 1.0f, 1.0f);
    c.KeySelectAll();
    EXPECT_EQ(c.KeyGetSelectionCount(), 4);
    c.KeyUnselectAll();
    c.KeySetSelected(2, true);
    EXPECT_EQ(c.KeyGetSelectionCount(), 1);
    c.KeyScaleValueAndTangeant(true, 2.0f);
    EXPECT_EQ(Values(c), (std::vector<float>{1, 2, 6, 4}));
    EXPECT_EQ(c.KeyGetRightDerivative(2), 2.0f);
    c.KeyScaleValueAndTangeant(false, 0.5f);
    EXPECT_EQ(c.KeyGetValue(2), 3.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(2), 1.0f);
    c.KeyMoveValueTo(true, -1.0f);
    EXPECT_EQ(Values(c), (std::vector<float>{0.5f, 1, -1, 2}));
    c.KeyScaleValue(false, 4.0f); // values only
    c.KeyScaleTangeant(true, 3.0f);
    EXPECT_EQ(Values(c), (std::vector<float>{2, 4, -4, 8}));
    EXPECT_EQ(c.KeyGetRightDerivative(1), 0.5f);
    EXPECT_EQ(c.KeyGetRightDerivative(2), 3.0f);
    KFCurve empty; // without keys the edits apply to the static value (tangents have none)
    empty.SetValue(3.0f);
    empty.KeyScaleValueAndTangeant(false, 2.0f);
    empty.KeyScaleTangeant(false, 2.0f);
    EXPECT_EQ(empty.GetValue(), 6.0f);
    empty.KeyMoveValueTo(false, 1.0f);
    EXPECT_EQ(empty.GetValue(), 1.0f);
    c.KeySetTangeantVisibility(1, KFCURVE_TANGEANT_SHOW_LEFT);
    c.KeyTangeantHide();
    EXPECT_EQ(c.KeyGetTangeantVisibility(1), 0u);
}
