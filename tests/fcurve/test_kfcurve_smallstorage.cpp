// Key storage of curves with few keys: a short first block that grows to
// the full block, with everything a curve answers the same as with full
// blocks (keys, counts limited to the storage, copies, deletion).

#include "fcurve_test_util.h"

#include <vector>

using namespace fctest;

TEST(KFCurveSmallStorage, FewKeysTakeAShortBlockThatGrows)
{
    const long long base = GetRecordingMemory();
    KFCurve c;
    EXPECT_EQ(GetRecordingMemory(), base);
    c.KeyAppendFast(Sec(0), 0.0f);
    // A one-block table and a block of four keys.
    EXPECT_EQ(GetRecordingMemory() - base, static_cast<long long>(sizeof(void*)) + 4 * 32);
    for (int i = 1; i < 4; ++i)
        c.KeyAppendFast(Sec(i), static_cast<float>(i));
    EXPECT_EQ(GetRecordingMemory() - base, static_cast<long long>(sizeof(void*)) + 4 * 32);
    c.KeyAppendFast(Sec(4), 4.0f);
    EXPECT_EQ(GetRecordingMemory() - base, static_cast<long long>(sizeof(void*)) + 8 * 32);
    // Keys inserted before the others move up through each growth.
    for (int i = 5; i < 40; ++i)
        EXPECT_GE(c.KeyAdd(Sec(-i)), 0);
    ASSERT_EQ(c.KeyGetCount(), 40);
    EXPECT_TRUE(c.CheckCurve());
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(c.KeyGetTime(i), Sec(i < 35 ? i - 39 : i - 35)) << i;
    EXPECT_EQ(c.KeyGetValue(39), 4.0f);
    // Full blocks from 32 keys on: the table addresses 2048 keys.
    EXPECT_EQ(GetRecordingMemory() - base, 64 * static_cast<long long>(sizeof(void*)) + 2 * 1024);
    c.KeyClear();
    EXPECT_EQ(GetRecordingMemory(), base);
}

TEST(KFCurveSmallStorage, CountsBeyondTheKeysCoverAWholeBlock)
{
    KFCurve c;
    AddKeys(c, {1, 2, 3});
    c.KeyModifyBegin(); // a count beyond the storage is limited to one whole block
    c.KeyModifyEnd(100000);
    ASSERT_EQ(c.KeyGetCount(), 32);
    EXPECT_TRUE(c.CheckCurve());
    EXPECT_EQ(c.KeyGetValue(2), 3.0f);
    for (int i = 3; i < 32; ++i)
    {
        EXPECT_EQ(c.KeyGetValue(i), 0.0f) << i;
        EXPECT_EQ(c.KeyGetTime(i), KTime(0)) << i;
    }
    // A batch of five fills its keys directly.
    KFCurve d;
    d.KeyModifyBegin(5);
    for (int i = 0; i < 5; ++i)
        d.KeyGetPtr(i)->Set(Sec(i), static_cast<float>(10 * i));
    EXPECT_EQ(d.KeyGetPtr(8), nullptr);
    d.KeyModifyEnd(5);
    EXPECT_EQ(Values(d), (std::vector<float>{0, 10, 20, 30, 40}));
}

TEST(KFCurveSmallStorage, CopiesKeepWhatTheBlocksHold)
{
    // A curve that had 40 keys and kept 3 still holds the others past its
    // count; a copy holds them too, as a count beyond the keys shows.
    KFCurve big;
    for (int i = 0; i < 40; ++i)
        big.KeyAppendFast(Sec(i), static_cast<float>(i));
    EXPECT_TRUE(big.Delete(3, 39));
    ASSERT_EQ(big.KeyGetCount(), 3);
    KFCurve copy;
    copy.CopyFrom(big);
    EXPECT_EQ(Values(copy), (std::vector<float>{0, 1, 2}));
    copy.KeyModifyBegin();
    copy.KeyModifyEnd(32);
    big.KeyModifyBegin();
    big.KeyModifyEnd(32);
    EXPECT_EQ(Values(copy), Values(big));

    // A short curve copied over a longer one leaves no key of it behind.
    KFCurve small;
    AddKeys(small, {5, 6});
    KFCurve over;
    for (int i = 0; i < 20; ++i)
        over.KeyAppendFast(Sec(i), 100.0f + static_cast<float>(i));
    over.CopyFrom(small);
    EXPECT_EQ(Values(over), (std::vector<float>{5, 6}));
    over.KeyModifyBegin();
    over.KeyModifyEnd(32);
    for (int i = 2; i < 32; ++i)
        EXPECT_EQ(over.KeyGetValue(i), 0.0f) << i;
    EXPECT_TRUE(over.CheckCurve());

    KFCurve* range = small.Copy();
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(Values(*range), (std::vector<float>{5, 6}));
    range->Destroy();
}
