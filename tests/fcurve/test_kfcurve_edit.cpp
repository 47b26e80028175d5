// Copy, range deletion, span replacement, change notification and the
// update counter.

#include "fcurve/kfcurve.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

KTime Sec(double s)
{
    KTime t;
    t.SetSecondDouble(s);
    return t;
}

void Add(KFCurve& c, double seconds, float value, unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR,
         unsigned int mode = KFCURVE_TANGEANT_USER, float right = 0.0f, float nextLeft = 0.0f)
{
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    key.Set(Sec(seconds), value, interpolation, mode, right, nextLeft);
    c.KeyAdd(Sec(seconds), key);
}

struct Received
{
    int calls = 0;
    int kinds = 0;
    int first = 0;
    int last = 0;
    int count = 0;
};

void Record(KFCurve*, KFCurveEvent* event, void* data)
{
    Received* r = static_cast<Received*>(data);
    r->calls++;
    r->kinds = event->mType;
    r->first = event->mKeyIndexStart;
    r->last = event->mKeyIndexStop;
    r->count = event->mEventCount;
}

std::vector<int> gOrder;

void First(KFCurve*, KFCurveEvent*, void*)
{
    gOrder.push_back(1);
}

// Unregisters itself while the event is being delivered.
void Leave(KFCurve* curve, KFCurveEvent*, void* data)
{
    gOrder.push_back(2);
    curve->CallbackUnregister(Leave, data);
}

// Unregisters itself when the curve is being destroyed.
void LeaveOnDestroy(KFCurve* curve, KFCurveEvent* event, void* data)
{
    gOrder.push_back(event->mType & KFCURVEEVENT_DESTROY ? 20 : 2);
    if (event->mType & KFCURVEEVENT_DESTROY)
        curve->CallbackUnregister(LeaveOnDestroy, data);
}

void Last(KFCurve*, KFCurveEvent* event, void*)
{
    gOrder.push_back(event->mType & KFCURVEEVENT_DESTROY ? 30 : 3);
}

// Edits the curve from inside a delivery.
void Echo(KFCurve* curve, KFCurveEvent* event, void* data)
{
    int* depth = static_cast<int*>(data);
    if (event->mType & KFCURVEEVENT_CANDIDATE && *depth == 0) {
        ++*depth;
        curve->SetPreExtrapolation(2);
    }
}

}  // namespace

TEST(KFCurveRangeTest, DeleteByIndex)
{
    KFCurve c;
    EXPECT_FALSE(c.Delete(0, 3));
    for (int i = 0; i < 5; ++i)
        Add(c, i, static_cast<float>(i + 1));
    EXPECT_TRUE(c.Delete(2, 1));
    EXPECT_EQ(c.KeyGetCount(), 5);
    EXPECT_TRUE(c.Delete(1, 3));
    ASSERT_EQ(c.KeyGetCount(), 2);
    EXPECT_EQ(c.KeyGetValue(1), 5.0f);
    // Indices beyond the keys are limited to them.
    EXPECT_TRUE(c.Delete(-4, 100));
    EXPECT_EQ(c.KeyGetCount(), 0);
    EXPECT_EQ(c.GetValue(), 1.0f);  // the first key's value stays as the static value
    EXPECT_TRUE(c.CheckCurve());
}

TEST(KFCurveRangeTest, DeleteAcrossWholeBlocksKeepsTheFollowingTangent)
{
    const long long base = GetRecordingMemory();
    KFCurve c;
    for (int i = 0; i < 200; ++i)
        Add(c, i, static_cast<float>(i), KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_BREAK, 0.5f,
            static_cast<float>(-i));
    const long long full = GetRecordingMemory() - base;
    EXPECT_EQ(c.KeyGetLeftDerivative(151), -150.0f);
    EXPECT_TRUE(c.Delete(10, 150));
    ASSERT_EQ(c.KeyGetCount(), 59);
    for (int i = 0; i < 59; ++i)
        ASSERT_EQ(c.KeyGetValue(i), static_cast<float>(i < 10 ? i : i + 141)) << i;
    EXPECT_EQ(c.KeyGetLeftDerivative(10), -150.0f);  // the incoming tangent of the key after the range
    EXPECT_EQ(GetRecordingMemory() - base, full - 3 * 1024);  // blocks 1 to 3 lay wholly inside
    EXPECT_TRUE(c.CheckCurve());
    // Keys still add and evaluate normally afterwards.
    Add(c, 500, 7.0f);
    EXPECT_EQ(c.KeyGetCount(), 60);
    EXPECT_TRUE(c.CheckCurve());
}

TEST(KFCurveRangeTest, DeleteByTimeKeepsTheKeysAtTheEnds)
{
    KFCurve c;
    Add(c, 1, 1.0f);
    Add(c, 1.5, 2.0f);
    Add(c, 2, 3.0f);
    EXPECT_TRUE(c.Delete(Sec(1), Sec(2)));
    ASSERT_EQ(c.KeyGetCount(), 2);
    EXPECT_EQ(c.KeyGetTime(0), Sec(1));
    EXPECT_EQ(c.KeyGetTime(1), Sec(2));
    EXPECT_TRUE(c.Delete(Sec(0), Sec(1.5)));
    ASSERT_EQ(c.KeyGetCount(), 1);
    EXPECT_EQ(c.KeyGetTime(0), Sec(2));
    KFCurve empty;
    EXPECT_FALSE(empty.Delete(Sec(0), Sec(1)));
}

TEST(KFCurveRangeTest, CopyAndCopyFrom)
{
    KFCurve c;
    for (int i = 0; i < 40; ++i)
        Add(c, i * 0.5, static_cast<float>(i % 7), KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    c.SetValue(3.0f);
    float color[3] = {0.5f, 0.25f, 0.125f};
    c.SetColor(color);
    c.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_MIRROR_REPETITION);
    c.SetPostExtrapolationCount(4);
    c.CandidateSet(Sec(3), 9.0);

    KFCurve* all = c.Copy();
    ASSERT_EQ(all->KeyGetCount(), 40);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(all->Evaluate(Sec(i * 0.17)), c.Evaluate(Sec(i * 0.17)));
    EXPECT_EQ(all->GetColor()[1], 0.25f);
    EXPECT_EQ(all->GetPostExtrapolationCount(), 4u);
    EXPECT_EQ(all->CandidateGet(), 9.0f);
    all->Destroy();

    KFCurve* part = c.Copy(Sec(0), Sec(5));
    EXPECT_EQ(part->KeyGetCount(), 0);
    EXPECT_EQ(part->GetValue(), 3.0f);
    EXPECT_EQ(part->GetUpdateId(), c.GetUpdateId());
    delete part;

    KFCurve d;
    Add(d, 0, 1.0f);
    d.CopyFrom(c, false);
    EXPECT_EQ(d.KeyGetCount(), 0);
    EXPECT_EQ(d.GetValue(), 3.0f);
    EXPECT_EQ(d.GetPostExtrapolation(), 3u);
    c.CopyFrom(c, true);  // itself: unchanged
    EXPECT_EQ(c.KeyGetCount(), 40);
}

TEST(KFCurveRangeTest, Replace)
{
    KFCurve target, source;
    for (int i = 0; i <= 10; ++i)
        Add(target, i, 1.0f);
    Add(source, 0, 5.0f);
    Add(source, 3, 6.0f);
    Add(source, 4.5, 7.0f);
    Add(source, 10, 8.0f);
    target.Replace(&source, Sec(2.5), Sec(6.5), false);
    // Without the exact-span flag the span shrinks to the source keys 3 s and 4.5 s.
    std::vector<double> times;
    for (int i = 0; i < target.KeyGetCount(); ++i)
        times.push_back(target.KeyGetTime(i).GetSecondDouble());
    const std::vector<double> expected = {0, 1, 2, 3, 4.5, 5, 6, 7, 8, 9, 10};
    ASSERT_EQ(times.size(), expected.size());
    for (size_t i = 0; i < times.size(); ++i)
        EXPECT_NEAR(times[i], expected[i], 1e-9);
    EXPECT_EQ(target.KeyGetValue(3), 6.0f);
    EXPECT_EQ(target.KeyGetValue(4), 7.0f);

    // An empty source span only deletes the span's keys...
    KFCurve t2, empty;
    for (int i = 0; i <= 4; ++i)
        Add(t2, i, 2.0f);
    empty.SetValue(9.0f);
    t2.Replace(&empty, Sec(1), Sec(3), true, false);
    EXPECT_EQ(t2.KeyGetCount(), 2);
    // ...and with candidate keys it pins both sides and keys the source's static value.
    KFCurve t3;
    for (int i = 0; i <= 4; ++i)
        Add(t3, i, 2.0f);
    t3.Replace(&empty, Sec(1), Sec(3), true, true);
    ASSERT_EQ(t3.KeyGetCount(), 6);
    EXPECT_EQ(t3.KeyGetTime(1), Sec(1) - KTime(1));
    EXPECT_FLOAT_EQ(t3.KeyGetValue(1), 2.0f);
    EXPECT_EQ(t3.KeyGetTime(2), Sec(1));
    EXPECT_EQ(t3.KeyGetValue(2), 9.0f);
    EXPECT_EQ(t3.KeyGetValue(3), 9.0f);
    EXPECT_EQ(t3.KeyGetTime(4), Sec(3) + KTime(1));
    EXPECT_FLOAT_EQ(t3.Evaluate(Sec(0.5)), 2.0f);
    EXPECT_FLOAT_EQ(t3.Evaluate(Sec(3.5)), 2.0f);

    // Euler: offset and mirrored spans, offset keys after the span.
    KFCurve e;
    for (int i = 0; i <= 4; ++i)
        Add(e, i, 10.0f);
    KFCurve s;
    Add(s, 1, 1.0f);
    Add(s, 2, 2.0f);
    e.ReplaceForEulerXYZ(&s, Sec(1), Sec(2), 360.0f, 90.0f, false, false, true, false);
    EXPECT_EQ(e.KeyGetValue(1), 361.0f);
    EXPECT_EQ(e.KeyGetValue(2), 362.0f);
    EXPECT_EQ(e.KeyGetValue(3), 100.0f);
    EXPECT_EQ(e.KeyGetValue(0), 10.0f);
    e.ReplaceForEulerXYZ(&s, Sec(1), Sec(2), 180.0f, 0.0f, true, false, true, false);
    EXPECT_EQ(e.KeyGetValue(1), 179.0f);

    // Quaternion: the factor moves linearly across the span.
    KFCurve q;
    Add(q, 0, 1.0f);
    Add(q, 4, 1.0f);
    KFCurve qs;
    Add(qs, 1, 2.0f);
    Add(qs, 2, 2.0f);
    Add(qs, 3, 2.0f);
    q.ReplaceForQuaternion(&qs, Sec(1), Sec(3), 1.0f, -1.0f, true, false);
    ASSERT_EQ(q.KeyGetCount(), 5);
    EXPECT_FLOAT_EQ(q.KeyGetValue(1), 2.0f);
    EXPECT_FLOAT_EQ(q.KeyGetValue(2), 0.0f);
    EXPECT_FLOAT_EQ(q.KeyGetValue(3), -2.0f);
}

TEST(KFCurveNotifyTest, EventsAndUpdateId)
{
    KFCurve c;
    Received r;
    c.CallbackRegister(Record, &r);
    const unsigned int id = c.GetUpdateId();
    c.SetValue(2.0f);
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.kinds, KFCURVEEVENT_CANDIDATE);
    EXPECT_EQ(r.first, -1);
    EXPECT_EQ(c.GetUpdateId(), id + 2);  // the event and one more

    Add(c, 0, 1.0f);
    Add(c, 1, 2.0f);
    EXPECT_EQ(r.kinds, KFCURVEEVENT_KEY);
    EXPECT_EQ(r.first, 1);
    c.KeySetValue(1, 4.0f);
    EXPECT_EQ(r.kinds, KFCURVEEVENT_KEYVALUE);

    // Selection counts in the high half of the counter.
    const unsigned int before = c.GetUpdateId();
    c.KeySetSelected(0, true);  // no event
    EXPECT_EQ(c.GetUpdateId(), before);
    c.KeySelectAll();           // one key changed: one event 256
    EXPECT_EQ(r.kinds, KFCURVEEVENT_SELECTION);
    EXPECT_EQ(r.first, 1);
    EXPECT_EQ(c.GetUpdateId(), before + 0x10000);
    EXPECT_EQ(c.GetValuesUpdateId(), before & 0xFFFF);

    // While disabled, events accumulate and arrive once.
    const int calls = r.calls;
    c.CallbackEnable(false);
    EXPECT_FALSE(c.CallbackIsEnable());
    c.KeySetValue(0, 1.0f);
    c.SetPostExtrapolation(2);
    c.KeySetValue(1, 3.0f);
    EXPECT_EQ(r.calls, calls);
    c.CallbackEnable(true);
    EXPECT_EQ(r.calls, calls + 1);
    EXPECT_EQ(r.kinds, KFCURVEEVENT_KEYVALUE | KFCURVEEVENT_KEY);
    EXPECT_EQ(r.first, -1);
    EXPECT_EQ(r.last, 1);
    EXPECT_EQ(r.count, 3);
    // CallbackClear drops what accumulated.
    c.CallbackEnable(false);
    c.SetValue(5.0f);
    c.CallbackClear();
    c.CallbackEnable(true);
    EXPECT_EQ(r.calls, calls + 1);

    // A batch delivers once at its end.
    c.KeyModifyBegin();
    c.KeySetValue(0, 1.5f);
    c.KeySetValue(1, 2.5f);
    EXPECT_EQ(r.calls, calls + 1);
    c.KeyModifyEnd();
    EXPECT_EQ(r.calls, calls + 2);
    EXPECT_EQ(r.count, 2);

    // The same function twice with two user pointers: unregistering one leaves the other.
    Received other;
    c.CallbackRegister(Record, &other);
    c.CallbackUnregister(Record, &r);
    c.SetValue(1.0f);
    EXPECT_EQ(r.calls, calls + 2);
    EXPECT_EQ(other.calls, 1);
}

TEST(KFCurveNotifyTest, CallbacksMayLeaveDuringDeliveryAndDestruction)
{
    gOrder.clear();
    KFCurve* c = KFCurveCreate();
    c->CallbackRegister(First, nullptr);
    c->CallbackRegister(Leave, nullptr);
    c->CallbackRegister(Last, nullptr);
    c->SetValue(1.0f);
    c->SetValue(2.0f);
    EXPECT_EQ(gOrder, (std::vector<int>{1, 2, 3, 1, 3}));
    gOrder.clear();
    c->CallbackUnregister(Last, nullptr);
    c->CallbackRegister(LeaveOnDestroy, nullptr);
    c->CallbackRegister(Last, nullptr);
    // Destruction clears the keys (event 16), then sends event 512 at once.
    c->Destroy();
    EXPECT_EQ(gOrder, (std::vector<int>{1, 2, 3, 1, 20, 30}));

    // A callback that edits the curve gets its own delivery.
    KFCurve d;
    int depth = 0;
    Received r;
    d.CallbackRegister(Echo, &depth);
    d.CallbackRegister(Record, &r);
    d.SetValue(3.0f);
    EXPECT_EQ(d.GetPreExtrapolation(), 2u);
    EXPECT_EQ(r.calls, 2);
}

TEST(KFCurveRangeTest, RandomEditsKeepTheKeysOrderedAndTheStorageConsistent)
{
    std::mt19937 rng(11);
    KFCurve c;
    KFCurve other;
    for (int i = 0; i < 20; ++i)
        Add(other, i * 0.25, static_cast<float>(i % 3), KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    auto randomTime = [&]() { return Sec(static_cast<double>(rng() % 4000) / 100.0 - 5.0); };
    const unsigned int modes[4] = {KFCURVE_TANGEANT_AUTO, KFCURVE_TANGEANT_USER, KFCURVE_TANGEANT_BREAK,
                                   KFCURVE_TANGEANT_TCB};
    for (int step = 0; step < 4000; ++step) {
        const int n = c.KeyGetCount();
        const int pick = n > 0 ? static_cast<int>(rng() % n) : 0;
        switch (rng() % 12) {
        case 0:
        case 1: {
            KFCurveKey key;
            std::memset(static_cast<void*>(&key), 0, sizeof key);
            key.Set(KTime(0), static_cast<float>(rng() % 100) / 10.0f, 2u << (rng() % 3), modes[rng() % 4],
                    static_cast<float>(rng() % 7) - 3.0f, static_cast<float>(rng() % 7) - 3.0f);
            c.KeyAdd(randomTime(), key);
            break;
        }
        case 2:
            c.KeyInsert(randomTime());
            break;
        case 3:
            c.KeyRemove(pick);
            break;
        case 4:
            c.KeyMove(pick, randomTime());
            break;
        case 5:
            c.Delete(pick, pick + static_cast<int>(rng() % 40));
            break;
        case 6:
            c.Delete(randomTime(), randomTime());
            break;
        case 7:
            c.Replace(&other, randomTime(), randomTime(), rng() % 2 == 0, rng() % 2 == 0);
            break;
        case 8:
            c.KeySetSelected(pick, true);
            c.KeyMoveOf(true, Sec(static_cast<double>(rng() % 200) / 100.0 - 1.0), 1.0f);
            break;
        case 9:
            c.KeyTangeantSetMode(rng() % 2 == 0, modes[rng() % 4]);
            break;
        case 10:
            c.KeySetLeftTangeantWeight(pick, static_cast<float>(rng() % 100) / 100.0f);
            c.KeySetRightTangeantWeight(pick, static_cast<float>(rng() % 100) / 100.0f);
            break;
        default:
            c.KeyShrink();
            break;
        }
        ASSERT_TRUE(c.CheckCurve()) << step;
        for (int i = 1; i < c.KeyGetCount(); ++i)
            ASSERT_LT(c.KeyGetTime(i - 1), c.KeyGetTime(i)) << step << " " << i;
        const float v = c.Evaluate(randomTime());
        ASSERT_FALSE(v != v) << step;
    }
}
