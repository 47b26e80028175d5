// Key record encodings, key storage across block and table boundaries, key
// search, and single-key edits of a curve.

#include "fcurve/kfcurve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

KTime Sec(double s)
{
    KTime t;
    t.SetSecondDouble(s);
    return t;
}

float Fixed(int v)
{
    return static_cast<float>(v / 9999.0);
}

short RawShort(const KFCurveKey& key, int slot)
{
    short s;
    std::memcpy(&s, reinterpret_cast<const char*>(key.GetDataPtr()) + 8 + 2 * (slot - 2), 2);
    return s;
}

KFCurveKey MakeKey(float value, unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR)
{
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    key.Set(KTime(0), value, interpolation, KFCURVE_TANGEANT_USER);
    return key;
}

// The search as a plain walk from the hint; the curve's search must answer
// the same position and leave the same hint.
double WalkFind(KFCurve& c, KTime time, int& hint)
{
    const int n = c.KeyGetCount();
    if (n == 0)
        return -1.0;
    int s = hint < 0 ? 0 : (hint > n - 1 ? n - 1 : hint);
    auto t = [&](int i) { return c.KeyGetTime(i); };
    if (time == t(s)) {
        hint = s;
        return s;
    }
    if (time < t(s)) {
        while (s > 0 && time < t(s - 1))
            --s;
        if (s == 0) {
            hint = 0;
            return -0.5;
        }
        const int i = s - 1;
        hint = i;
        return i + (time - t(i)).GetSecondDouble() / (t(i + 1) - t(i)).GetSecondDouble();
    }
    if (s >= n - 1) {
        hint = n;
        return n - 0.5;
    }
    while (s < n - 1) {
        if (time <= t(s + 1)) {
            hint = s + 1;
            return s + (time - t(s)).GetSecondDouble() / (t(s + 1) - t(s)).GetSecondDouble();
        }
        ++s;
    }
    hint = n;
    return n - 0.5;
}

}  // namespace

TEST(KFCurveKeyTest, DataSlotsStoreFixedPointWithClamps)
{
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);

    key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, 1.5f);  // above 0.99: clamped
    EXPECT_EQ(RawShort(key, 2), 9899);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_RIGHT_WEIGHT), Fixed(9899));
    key.SetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT, 0.999f);
    EXPECT_EQ(RawShort(key, 3), 9899);
    key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, 0.0f);  // below the minimum: 1
    EXPECT_EQ(RawShort(key, 2), 1);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_RIGHT_WEIGHT), Fixed(1));
    key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, -3.0f);
    EXPECT_EQ(RawShort(key, 2), 1);
    key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, KFCURVE_DEFAULT_WEIGHT);
    EXPECT_EQ(RawShort(key, 2), 3333);

    // Velocities are not clamped to the weight range; truncated toward zero.
    key.SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, -0.5f);
    EXPECT_EQ(RawShort(key, 4), -4999);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_RIGHT_VELOCITY), Fixed(-4999));
    key.SetDataDouble(KFCURVEKEY_NEXT_LEFT_VELOCITY, 2.0f);
    EXPECT_EQ(RawShort(key, 5), 19998);
    // Beyond the 16-bit range a velocity is held at the end instead of wrapping.
    key.SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, 10.0f);
    EXPECT_EQ(RawShort(key, 4), 32767);
    key.SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, -10.0f);
    EXPECT_EQ(RawShort(key, 4), -32768);

    // Slots 0 and 1 hold floats, unconverted; float slot 2 overlays the weights.
    key.SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, 12.5f);
    key.SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, -0.125f);
    EXPECT_EQ(key.GetDataPtr()[0], 12.5f);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE), -0.125f);
    key.SetDataFloat(KFCURVEKEY_TCB_BIAS, 0.75f);
    EXPECT_EQ(key.GetDataFloat(KFCURVEKEY_TCB_BIAS), 0.75f);
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
}

TEST(KFCurveKeyTest, WeightReadBackIsStoredUnchanged)
{
    // A weight read from a slot and written back keeps its fixed-point value.
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    for (int v = 1; v <= 9899; ++v) {
        key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, Fixed(v));
        ASSERT_EQ(RawShort(key, 2), v);
        key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, key.GetDataDouble(KFCURVEKEY_RIGHT_WEIGHT));
        ASSERT_EQ(RawShort(key, 2), v);
    }
    for (int v = -32768; v <= 32767; v += 7) {
        key.SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, Fixed(v));
        ASSERT_EQ(RawShort(key, 4), v);
    }
}

TEST(KFCurveKeyTest, FlagFields)
{
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    key.Set(Sec(1), 2.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_BREAK, 1.0f, 2.0f, KFCURVE_WEIGHTED_ALL,
            0.5f, 0.25f, 0.1f, 0.2f);
    EXPECT_EQ(key.GetFlags(), 0x8u | 0xC00u | 0x3000000u);
    EXPECT_TRUE(key.GetBreak());
    EXPECT_EQ(RawShort(key, 2), 4999);
    EXPECT_EQ(RawShort(key, 3), 2499);

    key.SetSelected(true);
    key.SetFocus(true);
    EXPECT_EQ(key.GetFlags() & 0xF0000u, 0x90000u);
    key.SetSelected(false);  // clears the focus too
    EXPECT_EQ(key.GetFlags() & 0xF0000u, 0u);
    key.SetFocus(true);
    EXPECT_TRUE(key.GetFocus());
    EXPECT_FALSE(key.GetSelected());

    key.SetTangeantVisibility(KFCURVE_TANGEANT_SHOW_BOTH);
    EXPECT_EQ(key.GetTangeantVisibility(), 0x300000u);
    // A mask outside the field changes nothing else.
    key.SetTangeantWeightMode(0, 0xFFFFFFFFu);
    EXPECT_EQ(key.GetTangeantWeightMode(), 0u);
    EXPECT_EQ(key.GetTangeantVisibility(), 0x300000u);
    key.SetTangeantVelocityMode(KFCURVE_VELOCITY_RIGHT, KFCURVE_VELOCITY_ALL);
    EXPECT_EQ(key.GetTangeantVelocityMode(), 0x10000000u);

    // Constant mode shares bit 0x100 with the auto tangent mode.
    key.SetInterpolation(KFCURVE_INTERPOLATION_CONSTANT);
    key.SetConstantMode(KFCURVE_CONSTANT_NEXT);
    EXPECT_EQ(key.GetTangeantMode(), 0xD00u);
    EXPECT_EQ(key.GetConstantMode(), 0x100u);

    // Becoming cubic resets weights and velocities; staying cubic keeps them.
    key.SetTangeantWeightMode(KFCURVE_WEIGHTED_ALL);
    key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, 0.5f);
    key.SetInterpolation(KFCURVE_INTERPOLATION_CUBIC);
    EXPECT_EQ(key.GetTangeantWeightMode(), 0u);
    EXPECT_EQ(key.GetTangeantVelocityMode(), 0u);
    EXPECT_EQ(RawShort(key, 2), 3333);
    EXPECT_EQ(RawShort(key, 3), 3333);
    EXPECT_EQ(RawShort(key, 4), 0);
    key.SetTangeantWeightMode(KFCURVE_WEIGHTED_RIGHT);
    key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, 0.5f);
    key.SetInterpolation(KFCURVE_INTERPOLATION_CUBIC);
    EXPECT_EQ(key.GetTangeantWeightMode(), 0x1000000u);
    EXPECT_EQ(RawShort(key, 2), 4999);

    // Init zeroes value, time and flags and keeps the data.
    key.Init();
    EXPECT_EQ(key.GetFlags(), 0u);
    EXPECT_EQ(key.GetValue(), 0.0f);
    EXPECT_EQ(key.GetTime(), KTime(0));
    EXPECT_EQ(RawShort(key, 2), 4999);

    key.SetTCB(Sec(2), 3.0f, 0.1f, 0.2f, 0.3f);
    EXPECT_EQ(key.GetInterpolation(), 8u);
    EXPECT_EQ(key.GetTangeantMode(), 0x200u);
    EXPECT_EQ(key.GetDataFloat(KFCURVEKEY_TCB_CONTINUITY), 0.2f);
    EXPECT_EQ(key.GetTangeantVisibility(), 0u);
}

TEST(KFCurveKeyTest, MultTangeantOnlyScalesUserSlopes)
{
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    key.Set(KTime(0), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 2.0f, -4.0f);
    key.MultTangeant(1.5f);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_RIGHT_SLOPE), 3.0f);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE), -6.0f);
    key.Set(KTime(0), 0.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 2.0f, -4.0f);
    key.MultTangeant(1.5f);
    EXPECT_EQ(key.GetDataDouble(KFCURVEKEY_RIGHT_SLOPE), 2.0f);
}

TEST(KFCurveStorageTest, BlocksAndTableGrowAtTheirBoundaries)
{
    const long long base = GetRecordingMemory();
    KFCurve* c = KFCurveCreate();
    EXPECT_TRUE(c->CheckCurve());
    for (int i = 0; i < 32; ++i)
        c->KeyAppendFast(Sec(i), static_cast<float>(i));
    const long long table = 64 * static_cast<long long>(sizeof(void*));
    EXPECT_EQ(GetRecordingMemory() - base, table + 1024);
    c->KeyAdd(Sec(32), *c->KeyGetPtr(31));  // the 33rd key opens a second block
    EXPECT_EQ(GetRecordingMemory() - base, table + 2 * 1024);
    EXPECT_EQ(c->KeyGetCount(), 33);
    EXPECT_EQ(c->KeyGetValue(32), 31.0f);
    EXPECT_EQ(c->KeyGetTime(32), Sec(32));
    EXPECT_TRUE(c->CheckCurve());

    for (int i = 33; i < 2048; ++i)
        c->KeyAppendFast(Sec(i), static_cast<float>(i));
    EXPECT_EQ(GetRecordingMemory() - base, table + 64 * 1024);
    c->KeyAppendFast(Sec(2048), 2048.0f);  // the 2049th key: table of 128 pointers
    EXPECT_EQ(GetRecordingMemory() - base, 2 * table + 65 * 1024);
    EXPECT_EQ(c->KeyGetCount(), 2049);
    EXPECT_EQ(c->KeyGetValue(2048), 2048.0f);
    EXPECT_EQ(c->KeyGetValue(2047), 2047.0f);
    EXPECT_TRUE(c->CheckCurve());

    c->KeyClear();
    EXPECT_EQ(GetRecordingMemory(), base);
    EXPECT_EQ(c->KeyGetCount(), 0);
    EXPECT_TRUE(c->CheckCurve());
    c->Destroy();
}

TEST(KFCurveStorageTest, InsertAndRemoveMoveKeysAcrossBlocks)
{
    KFCurve c;
    // Every key goes in at index 0, so every insertion carries keys over
    // block boundaries.
    for (int i = 99; i >= 0; --i) {
        KFCurveKey key = MakeKey(static_cast<float>(i));
        EXPECT_EQ(c.KeyAdd(Sec(i), key), 0);
    }
    ASSERT_EQ(c.KeyGetCount(), 100);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(c.KeyGetValue(i), static_cast<float>(i));
        ASSERT_EQ(c.KeyGetTime(i), Sec(i));
    }
    // Removing from the front moves every later key down a slot.
    EXPECT_EQ(c.KeyRemove(0), 0);
    EXPECT_EQ(c.KeyRemove(30), 0);  // the key of value 31
    ASSERT_EQ(c.KeyGetCount(), 98);
    for (int i = 0; i < 98; ++i) {
        const int expected = i < 30 ? i + 1 : i + 2;
        ASSERT_EQ(c.KeyGetValue(i), static_cast<float>(expected)) << i;
    }
    EXPECT_EQ(c.KeyRemove(98), 1);
    EXPECT_EQ(c.KeyRemove(-1), 1);
    EXPECT_EQ(c.KeyGetCount(), 98);

    const long long before = GetRecordingMemory();
    for (int i = 97; i >= 10; --i)
        c.KeyRemove(i);
    EXPECT_EQ(GetRecordingMemory(), before);  // removal keeps the blocks
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
    EXPECT_NE(c.KeyGetPtr(1), nullptr);
    EXPECT_EQ(c.KeyGetPtr(2), nullptr);
    EXPECT_EQ(c.KeyGetPtr(-1), nullptr);
    EXPECT_EQ(c.KeyGetValue(2), 0.0f);
    EXPECT_EQ(c.KeyGetValue(-5), 0.0f);
    EXPECT_EQ(c.KeyGetTime(1000000), KTime(0));
    c.KeySetValue(2, 9.0f);
    c.KeySetTime(-1, Sec(4));
    c.KeySet(5, Sec(5), 1.0f);
    c.KeySetDataDouble(7, KFCURVEKEY_RIGHT_SLOPE, 1.0f);
    EXPECT_EQ(c.KeyGet(64).GetValue(), 0.0f);
    EXPECT_EQ(c.KeyGetCount(), 2);
    EXPECT_EQ(c.KeyGetValue(1), 2.0f);
    EXPECT_EQ(c.KeyGetLeftDerivative(2), 0.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(-3), 0.0f);
    c.KeySetLeftTangeantWeight(2, 0.5f);
    c.KeySetRightDerivative(5, 1.0f);
    EXPECT_TRUE(c.CheckCurve());

    // A KeyModifyBegin(n) batch may fill its n keys directly.
    c.KeyModifyBegin(40);
    for (int i = 2; i < 40; ++i) {
        KFCurveKey* key = c.KeyGetPtr(i);
        ASSERT_NE(key, nullptr);
        key->Set(Sec(i), static_cast<float>(i + 1));
    }
    EXPECT_EQ(c.KeyGetPtr(40), nullptr);
    c.KeyModifyEnd(40);
    EXPECT_EQ(c.KeyGetCount(), 40);
    EXPECT_EQ(c.KeyGetValue(39), 40.0f);
    EXPECT_EQ(c.KeyGetPtr(40), nullptr);
    // A count beyond the storage is limited to it.
    c.KeyModifyBegin();
    c.KeyModifyEnd(100000);
    EXPECT_EQ(c.KeyGetCount(), 64);
    EXPECT_TRUE(c.CheckCurve());
}

TEST(KFCurveSearchTest, KeyFindRule)
{
    KFCurve c;
    int hint = 0;
    EXPECT_EQ(c.KeyFind(Sec(1), &hint), -1.0);
    c.KeyAppendFast(Sec(0), 0.0f);
    c.KeyAppendFast(Sec(1), 10.0f);
    hint = 0;
    EXPECT_DOUBLE_EQ(c.KeyFind(Sec(0.25), &hint), 0.25);
    EXPECT_EQ(hint, 1);
    EXPECT_EQ(c.KeyFind(Sec(1), &hint), 1.0);
    EXPECT_EQ(hint, 1);
    EXPECT_EQ(c.KeyFind(Sec(-1), &hint), -0.5);
    EXPECT_EQ(hint, 0);
    EXPECT_EQ(c.KeyFind(Sec(2), &hint), 1.5);
    EXPECT_EQ(hint, 2);
    // From a hint past a key the search walks down: the hint names the key before.
    EXPECT_DOUBLE_EQ(c.KeyFind(Sec(0.5), &hint), 0.5);
    EXPECT_EQ(hint, 0);
    // Null uses the curve's own hint.
    EXPECT_DOUBLE_EQ(c.KeyFind(Sec(0.75)), 0.75);
}

TEST(KFCurveSearchTest, KeysAtBothEndsOfTheTickRangeDoNotOverflow)
{
    // Keys from a file may sit more than 2^63 ticks apart.
    KFCurve c;
    const long long lo = -0x7FFFFFFFFFFFFF00LL, hi = 0x7FFFFFFFFFFFFF00LL;
    c.KeyAppendFast(KTime(lo), 0.0f);
    c.KeyAppendFast(KTime(hi), 1.0f);
    int hint = 0;
    EXPECT_NEAR(c.KeyFind(KTime(0), &hint), 0.5, 1e-12);
    EXPECT_EQ(hint, 1);
    hint = 1;
    EXPECT_NEAR(c.KeyFind(KTime(hi / 2), &hint), 0.75, 1e-12);
}

TEST(KFCurveSearchTest, SearchAgreesWithTheWalkFromAnyHint)
{
    std::mt19937 rng(7);
    KFCurve c;
    long long t = 0;
    for (int i = 0; i < 3000; ++i) {
        t += 1 + rng() % 5000000;
        c.KeyAppendFast(KTime(t), static_cast<float>(i));
    }
    const long long end = t;
    for (int trial = 0; trial < 20000; ++trial) {
        const long long when = static_cast<long long>(rng() % (end + 20000000)) - 10000000;
        int h1 = static_cast<int>(rng() % 3010) - 5;
        KTime time(trial % 4 == 0 ? c.KeyGetTime(static_cast<int>(rng() % 3000)).Get() : when);
        int h2 = h1;
        const double expected = WalkFind(c, time, h2);
        const double got = c.KeyFind(time, &h1);
        ASSERT_EQ(got, expected) << trial;
        ASSERT_EQ(h1, h2) << trial;
    }
}

TEST(KFCurveEditTest, KeyAddReplacesAtAnExistingTime)
{
    KFCurve c;
    KFCurveKey a = MakeKey(1.0f), b = MakeKey(2.0f), d = MakeKey(3.0f);
    int last = -1;
    EXPECT_EQ(c.KeyAdd(Sec(1), a, &last), 0);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(c.KeyAdd(Sec(2), b, &last), 1);
    EXPECT_EQ(c.KeyAdd(Sec(1), d, &last), 0);
    EXPECT_EQ(c.KeyGetCount(), 2);
    EXPECT_EQ(c.KeyGetValue(0), 3.0f);

    // KeySet keeps the order of the keys.
    KFCurveKey late = MakeKey(5.0f);
    late.SetTime(Sec(3));
    EXPECT_EQ(c.KeySet(0, late), 1);
    late.SetTime(Sec(0.5));
    EXPECT_EQ(c.KeySet(0, late), 0);
    EXPECT_EQ(c.KeyGetTime(0), Sec(0.5));

    // KeyAdd with no key given keys the curve's value there.
    EXPECT_EQ(c.KeyAdd(Sec(1.5)), 1);
    EXPECT_FLOAT_EQ(c.KeyGetValue(1), 3.0f);  // linear from (0.5 s, 5) to (2 s, 2)
    EXPECT_EQ(c.KeyGetInterpolation(1), 8u);
    EXPECT_EQ(c.KeyGetTangeantMode(1), 0x100u);

    // Removing the only key leaves its value as the static value.
    KFCurve one;
    KFCurveKey k = MakeKey(4.5f);
    one.KeyAdd(Sec(2), k);
    EXPECT_EQ(one.KeyRemove(0), 0);
    EXPECT_EQ(one.GetValue(), 4.5f);
    EXPECT_EQ(one.KeyGetCount(), 0);
}

TEST(KFCurveEditTest, KeyMoveRespectsTheTimeEpsilon)
{
    KFCurve c;
    for (int i = 0; i < 4; ++i) {
        KFCurveKey key = MakeKey(static_cast<float>(i));
        c.KeyAdd(Sec(i), key);
    }
    EXPECT_EQ(gsTimeEpsilon, Sec(1e-5));
    // Onto another key's exact time: it lands one epsilon later.
    EXPECT_EQ(c.KeyMove(0, Sec(2)), 2);
    EXPECT_EQ(c.KeyGetTime(2), Sec(2) + gsTimeEpsilon);
    EXPECT_EQ(c.KeyGetValue(2), 0.0f);
    EXPECT_EQ(c.KeyGetValue(1), 2.0f);
    // In place when it stays clear of its neighbours.
    EXPECT_EQ(c.KeyMove(3, Sec(10)), 3);
    EXPECT_EQ(c.KeyGetTime(3), Sec(10));
    EXPECT_EQ(c.KeyMove(7, Sec(1)), -1);

    // Moving the selected keys by a delta, past unselected ones.
    KFCurve m;
    for (int i = 0; i < 5; ++i) {
        KFCurveKey key = MakeKey(static_cast<float>(i));
        m.KeyAdd(Sec(i), key);
    }
    m.KeySetSelected(1, true);
    m.KeySetSelected(2, true);
    EXPECT_EQ(m.KeyMoveOf(true, Sec(2), 10.0f), 0);
    ASSERT_EQ(m.KeyGetCount(), 5);
    const float values[5] = {0, 3, 11, 4, 12};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(m.KeyGetValue(i), values[i]) << i;
    EXPECT_EQ(m.KeyGetTime(2), Sec(3) + gsTimeEpsilon);
    EXPECT_EQ(m.KeyGetTime(4), Sec(4) + gsTimeEpsilon);
    for (int i = 1; i < 5; ++i)
        EXPECT_LT(m.KeyGetTime(i - 1), m.KeyGetTime(i));

    // Every key alike.
    EXPECT_EQ(m.KeyMoveOf(false, Sec(-1), 1.0f), 0);
    EXPECT_EQ(m.KeyGetTime(0), Sec(-1));
    EXPECT_EQ(m.KeyGetValue(0), 1.0f);
}

TEST(KFCurveEditTest, SelectionAndValueEdits)
{
    KFCurve c;
    for (int i = 0; i < 4; ++i) {
        KFCurveKey key;
        std::memset(static_cast<void*>(&key), 0, sizeof key);
        key.Set(Sec(i), static_cast<float>(i + 1), KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 1.0f, 1.0f);
        c.KeyAdd(Sec(i), key);
    }
    c.KeySelectAll();
    EXPECT_EQ(c.KeyGetSelectionCount(), 4);
    c.KeyUnselectAll();
    EXPECT_EQ(c.KeyGetSelectionCount(), 0);
    c.KeySetSelected(2, true);
    c.KeyScaleValueAndTangeant(true, 2.0f);
    EXPECT_EQ(c.KeyGetValue(2), 6.0f);
    EXPECT_EQ(c.KeyGetValue(1), 2.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(2), 2.0f);
    c.KeyScaleValueAndTangeant(false, 0.5f);
    EXPECT_EQ(c.KeyGetValue(2), 3.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(2), 1.0f);
    c.KeyMoveValueTo(true, -1.0f);
    EXPECT_EQ(c.KeyGetValue(2), -1.0f);

    KFCurve empty;
    empty.SetValue(3.0f);
    empty.KeyScaleValueAndTangeant(false, 2.0f);
    EXPECT_EQ(empty.GetValue(), 6.0f);
    empty.KeyScaleTangeant(false, 2.0f);
    EXPECT_EQ(empty.GetValue(), 6.0f);
    empty.KeyMoveValueTo(false, 1.0f);
    EXPECT_EQ(empty.GetValue(), 1.0f);

    c.KeySetTangeantVisibility(1, KFCURVE_TANGEANT_SHOW_LEFT);
    c.KeyTangeantHide();
    EXPECT_EQ(c.KeyGetTangeantVisibility(1), 0u);
}
