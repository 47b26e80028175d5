// Copy, range deletion, span replacement, change notification and the update counter.

#include "fcurve_test_util.h"

#include <random>

using namespace fctest;

namespace {

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
    *r = {r->calls + 1, event->mType, event->mKeyIndexStart, event->mKeyIndexStop, event->mEventCount};
}

std::vector<int> gOrder;

// Pushes 1, 2 or 3 (10 times more for the destruction event); 2 leaves during delivery, 4 only when the curve is being
// destroyed.
template <int Tag>
void Listener(KFCurve* curve, KFCurveEvent* event, void* data)
{
    const bool destroy = (event->mType & KFCURVEEVENT_DESTROY) != 0;
    gOrder.push_back((Tag == 4 ? 2 : Tag) * (destroy ? 10 : 1));
    if (Tag == 2 || (Tag == 4 && destroy))
        curve->CallbackUnregister(Listener<Tag>, data);
}

// Edits the curve from inside a delivery.
void Echo(KFCurve* curve, KFCurveEvent* event, void* data)
{
    int* depth = static_cast<int*>(data);
    if (event->mType & KFCURVEEVENT_CANDIDATE && (*depth)++ == 0)
        curve->SetPreExtrapolation(2);
}

void Ones(KFCurve& c, int count, float value = 1.0f)
{
    for (int i = 0; i < count; ++i)
        AddKey(c, Sec(i), value);
}

} // namespace

TEST(KFCurveRangeTest, DeleteByIndexAndByTime)
{
    KFCurve c;
    EXPECT_FALSE(c.Delete(0, 3));
    for (int i = 0; i < 5; ++i)
        AddKey(c, Sec(i), static_cast<float>(i + 1));
    EXPECT_TRUE(c.Delete(2, 1));
    EXPECT_EQ(c.KeyGetCount(), 5);
    EXPECT_TRUE(c.Delete(1, 3));
    EXPECT_EQ(Values(c), (std::vector<float>{1, 5}));
    // Indices beyond the keys are limited to them; the first key's value stays as the static value.
    EXPECT_TRUE(c.Delete(-4, 100));
    EXPECT_EQ(c.KeyGetCount(), 0);
    EXPECT_EQ(c.GetValue(), 1.0f);
    KFCurve t; // by time: the keys at the ends of the span stay
    for (double s : {1.0, 1.5, 2.0})
        AddKey(t, Sec(s), 1.0f);
    EXPECT_TRUE(t.Delete(Sec(1), Sec(2)));
    EXPECT_EQ(Times(t), Secs({1, 2}));
    EXPECT_TRUE(t.Delete(Sec(0), Sec(1.5)));
    EXPECT_EQ(Times(t), Secs({2}));
    EXPECT_FALSE(KFCurve().Delete(Sec(0), Sec(1)));
}

TEST(KFCurveRangeTest, DeleteAcrossWholeBlocksKeepsTheFollowingTangent)
{
    const long long base = GetRecordingMemory();
    KFCurve c;
    for (int i = 0; i < 200; ++i)
        AddKey(c, Sec(i), static_cast<float>(i), U, BREAK, 0.5f, static_cast<float>(-i));
    const long long full = GetRecordingMemory() - base;
    EXPECT_EQ(c.KeyGetLeftDerivative(151), -150.0f);
    EXPECT_TRUE(c.Delete(10, 150));
    ASSERT_EQ(c.KeyGetCount(), 59);
    for (int i = 0; i < 59; ++i)
        ASSERT_EQ(c.KeyGetValue(i), static_cast<float>(i < 10 ? i : i + 141)) << i;
    EXPECT_EQ(c.KeyGetLeftDerivative(10), -150.0f);          // the incoming tangent of the key after the range
    EXPECT_EQ(GetRecordingMemory() - base, full - 3 * 1024); // blocks 1 to 3 lay wholly inside
    AddKey(c, Sec(500), 7.0f);
    EXPECT_EQ(c.KeyGetCount(), 60);
    EXPECT_TRUE(c.CheckCurve());
}

TEST(KFCurveRangeTest, CopyAndCopyFrom)
{
    KFCurve c;
    for (int i = 0; i < 40; ++i)
        AddKey(c, Sec(i * 0.5), static_cast<float>(i % 7), U, AUTO);
    c.SetValue(3.0f);
    float color[3] = {0.5f, 0.25f, 0.125f};
    c.SetColor(color);
    c.SetPostExtrapolation(KFCURVE_EXTRAPOLATION_MIRROR_REPETITION);
    c.SetPostExtrapolationCount(4);
    c.CandidateSet(Sec(3), 9.0);
    KFCurve* all = c.Copy();
    EXPECT_EQ(Sample(*all, 0, 34, 200), Sample(c, 0, 34, 200));
    EXPECT_EQ(all->GetColor()[1], 0.25f);
    EXPECT_EQ(all->GetPostExtrapolationCount(), 4u);
    EXPECT_EQ(all->CandidateGet(), 9.0f);
    all->Destroy();
    KFCurve* part = c.Copy(Sec(0), Sec(5)); // a finite span copies no keys
    EXPECT_EQ(part->KeyGetCount(), 0);
    EXPECT_EQ(part->GetValue(), 3.0f);
    EXPECT_EQ(part->GetUpdateId(), c.GetUpdateId());
    delete part;
    KFCurve d;
    AddKey(d, Sec(0), 1.0f);
    d.CopyFrom(c, false);
    EXPECT_EQ(d.KeyGetCount(), 0);
    EXPECT_EQ(d.GetValue(), 3.0f);
    EXPECT_EQ(d.GetPostExtrapolation(), 3u);
    c.CopyFrom(c, true); // itself: unchanged
    EXPECT_EQ(c.KeyGetCount(), 40);
}

TEST(KFCurveRangeTest, Replace)
{
    KFCurve target, source;
    Ones(target, 11);
    AddKey(source, Sec(0), 5.0f);
    AddKey(source, Sec(3), 6.0f);
    AddKey(source, Sec(4.5), 7.0f);
    AddKey(source, Sec(10), 8.0f);
    target.Replace(&source, Sec(2.5), Sec(6.5), false);
    // Without the exact-span flag the span shrinks to the source keys 3 s and 4.5 s.
    EXPECT_EQ(Times(target), Secs({0, 1, 2, 3, 4.5, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(Values(target), (std::vector<float>{1, 1, 1, 6, 7, 1, 1, 1, 1, 1, 1}));
    // An empty source span deletes the span's keys; with candidate keys it also pins both sides and keys its value.
    KFCurve empty;
    empty.SetValue(9.0f);
    KFCurve t2, t3;
    Ones(t2, 5, 2.0f);
    Ones(t3, 5, 2.0f);
    t2.Replace(&empty, Sec(1), Sec(3), true, false);
    EXPECT_EQ(t2.KeyGetCount(), 2);
    t3.Replace(&empty, Sec(1), Sec(3), true, true);
    EXPECT_EQ(Times(t3), (std::vector<long long>{0, kTicksPerSecond - 1, kTicksPerSecond, 3 * kTicksPerSecond,
                                                 3 * kTicksPerSecond + 1, 4 * kTicksPerSecond}));
    EXPECT_EQ(Values(t3), (std::vector<float>{2, 2, 9, 9, 2, 2}));
    KFCurve e, s; // Euler: offset and mirrored spans, offset keys after the span
    Ones(e, 5, 10.0f);
    AddKey(s, Sec(1), 1.0f);
    AddKey(s, Sec(2), 2.0f);
    e.ReplaceForEulerXYZ(&s, Sec(1), Sec(2), 360.0f, 90.0f, false, false, true, false);
    EXPECT_EQ(Values(e), (std::vector<float>{10, 361, 362, 100, 100}));
    e.ReplaceForEulerXYZ(&s, Sec(1), Sec(2), 180.0f, 0.0f, true, false, true, false);
    EXPECT_EQ(e.KeyGetValue(1), 179.0f);
    KFCurve q, qs; // quaternion: the factor moves linearly across the span
    AddKey(q, Sec(0), 1.0f);
    AddKey(q, Sec(4), 1.0f);
    for (int i = 1; i <= 3; ++i)
        AddKey(qs, Sec(i), 2.0f);
    q.ReplaceForQuaternion(&qs, Sec(1), Sec(3), 1.0f, -1.0f, true, false);
    EXPECT_EQ(Values(q), (std::vector<float>{1, 2, 0, -2, 1}));
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
    EXPECT_EQ(c.GetUpdateId(), id + 2); // the event and one more
    AddKey(c, Sec(0), 1.0f);
    AddKey(c, Sec(1), 2.0f);
    EXPECT_EQ(r.kinds, KFCURVEEVENT_KEY);
    EXPECT_EQ(r.first, 1);
    c.KeySetValue(1, 4.0f);
    EXPECT_EQ(r.kinds, KFCURVEEVENT_KEYVALUE);
    const unsigned int before = c.GetUpdateId(); // selection counts in the high half of the counter
    c.KeySetSelected(0, true);                   // no event
    EXPECT_EQ(c.GetUpdateId(), before);
    c.KeySelectAll(); // one key changed: one event 256
    EXPECT_EQ(r.kinds, KFCURVEEVENT_SELECTION);
    EXPECT_EQ(r.first, 1);
    EXPECT_EQ(c.GetUpdateId(), before + 0x10000);
    EXPECT_EQ(c.GetValuesUpdateId(), before & 0xFFFF);
    const int calls = r.calls; // while disabled, events accumulate and arrive once
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
    c.CallbackEnable(false); // CallbackClear drops what accumulated
    c.SetValue(5.0f);
    c.CallbackClear();
    c.CallbackEnable(true);
    EXPECT_EQ(r.calls, calls + 1);
    c.KeyModifyBegin(); // a batch delivers once at its end
    c.KeySetValue(0, 1.5f);
    c.KeySetValue(1, 2.5f);
    EXPECT_EQ(r.calls, calls + 1);
    c.KeyModifyEnd();
    EXPECT_EQ(r.calls, calls + 2);
    EXPECT_EQ(r.count, 2);
    Received other; // the same function twice with two user pointers: unregistering one leaves the other
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
    c->CallbackRegister(Listener<1>, nullptr);
    c->CallbackRegister(Listener<2>, nullptr);
    c->CallbackRegister(Listener<3>, nullptr);
    c->SetValue(1.0f);
    c->SetValue(2.0f);
    EXPECT_EQ(gOrder, (std::vector<int>{1, 2, 3, 1, 3}));
    gOrder.clear();
    c->CallbackUnregister(Listener<3>, nullptr);
    c->CallbackRegister(Listener<4>, nullptr);
    c->CallbackRegister(Listener<3>, nullptr);
    c->Destroy(); // destruction clears the keys (event 16), then sends event 512 at once
    EXPECT_EQ(gOrder, (std::vector<int>{1, 2, 3, 10, 20, 30}));
    KFCurve d; // a callback that edits the curve gets its own delivery
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
    KFCurve c, other;
    for (int i = 0; i < 20; ++i)
        AddKey(other, Sec(i * 0.25), static_cast<float>(i % 3), U, AUTO);
    auto randomTime = [&]() { return Sec(static_cast<double>(rng() % 4000) / 100.0 - 5.0); };
    const unsigned int modes[4] = {AUTO, USER, BREAK, KFCURVE_TANGEANT_TCB};
    for (int step = 0; step < 2000; ++step)
    {
        const int n = c.KeyGetCount();
        const int pick = n > 0 ? static_cast<int>(rng() % n) : 0;
        switch (rng() % 12)
        {
        case 0:
        case 1:
            AddKey(c, randomTime(), static_cast<float>(rng() % 100) / 10.0f, 2u << (rng() % 3), modes[rng() % 4],
                   static_cast<float>(rng() % 7) - 3.0f, static_cast<float>(rng() % 7) - 3.0f);
            break;
        case 2: c.KeyInsert(randomTime()); break;
        case 3: c.KeyRemove(pick); break;
        case 4: c.KeyMove(pick, randomTime()); break;
        case 5: c.Delete(pick, pick + static_cast<int>(rng() % 40)); break;
        case 6: c.Delete(randomTime(), randomTime()); break;
        case 7: c.Replace(&other, randomTime(), randomTime(), rng() % 2 == 0, rng() % 2 == 0); break;
        case 8:
            c.KeySetSelected(pick, true);
            c.KeyMoveOf(true, Sec(static_cast<double>(rng() % 200) / 100.0 - 1.0), 1.0f);
            break;
        case 9: c.KeyTangeantSetMode(rng() % 2 == 0, modes[rng() % 4]); break;
        case 10:
            c.KeySetLeftTangeantWeight(pick, static_cast<float>(rng() % 100) / 100.0f);
            c.KeySetRightTangeantWeight(pick, static_cast<float>(rng() % 100) / 100.0f);
            break;
        default: c.KeyShrink(); break;
        }
        ASSERT_TRUE(c.CheckCurve()) << step;
        for (int i = 1; i < c.KeyGetCount(); ++i)
            ASSERT_LT(c.KeyGetTime(i - 1), c.KeyGetTime(i)) << step << " " << i;
        const float v = c.Evaluate(randomTime());
        ASSERT_FALSE(v != v) << step;
    }
}
