// Weighted mapping: both sides of every relation, sums and normalisation.
#include <gtest/gtest.h>

#include "scene/attributes/kqoxweightedmapping.h"

using qoxsdk_600::KQoxWeightedMapping;

namespace {
const KQoxWeightedMapping::ESet kSrc = KQoxWeightedMapping::eSOURCE;
const KQoxWeightedMapping::ESet kDst = KQoxWeightedMapping::eDESTINATION;
} // namespace

TEST(KQoxWeightedMappingTest, NormalisingDestinationsKeepsBothSidesInAgreement)
{
    KQoxWeightedMapping mapping(4, 6);
    mapping.Add(2, 5, 0.5);
    mapping.Add(3, 5, 1.5);
    mapping.Normalize(kDst, true);
    ASSERT_EQ(2, mapping.GetRelationCount(kDst, 5));
    EXPECT_DOUBLE_EQ(0.25, mapping.GetRelation(kDst, 5, 0).mWeight);
    EXPECT_DOUBLE_EQ(0.75, mapping.GetRelation(kDst, 5, 1).mWeight);
    EXPECT_DOUBLE_EQ(0.25, mapping.GetRelation(kSrc, 2, mapping.GetRelationIndex(kSrc, 2, 5)).mWeight);
    EXPECT_DOUBLE_EQ(0.75, mapping.GetRelation(kSrc, 3, mapping.GetRelationIndex(kSrc, 3, 5)).mWeight);
    // Elements without relations stay empty.
    EXPECT_EQ(0, mapping.GetRelationCount(kDst, 0));
    EXPECT_EQ(0.0, mapping.GetRelationSum(kDst, 0, true));
}

TEST(KQoxWeightedMappingTest, SumsAndZeroSums)
{
    KQoxWeightedMapping mapping(3, 2);
    mapping.Add(0, 0, 2.0);
    mapping.Add(1, 0, -2.0);
    mapping.Add(2, 1, -4.0);
    EXPECT_EQ(0.0, mapping.GetRelationSum(kDst, 0, false));
    EXPECT_EQ(4.0, mapping.GetRelationSum(kDst, 0, true));
    mapping.Normalize(kDst, false);
    // A zero sum gives every weight 0; a negative weight over its own sum is 1.
    EXPECT_EQ(0.0, mapping.GetRelation(kDst, 0, 0).mWeight);
    EXPECT_EQ(0.0, mapping.GetRelation(kSrc, 1, 0).mWeight);
    EXPECT_EQ(1.0, mapping.GetRelation(kDst, 1, 0).mWeight);
    EXPECT_EQ(1.0, mapping.GetRelation(kSrc, 2, 0).mWeight);
}

TEST(KQoxWeightedMappingTest, RepeatedPairMergesIntoOneRelation)
{
    KQoxWeightedMapping mapping(2, 2);
    mapping.Add(0, 1, 0.25);
    mapping.Add(1, 1, 0.5);
    mapping.Add(0, 1, 0.25);
    ASSERT_EQ(2, mapping.GetRelationCount(kDst, 1));
    ASSERT_EQ(1, mapping.GetRelationCount(kSrc, 0));
    EXPECT_EQ(0.5, mapping.GetRelation(kSrc, 0, 0).mWeight);
    mapping.Normalize(kDst, true);
    EXPECT_EQ(0.5, mapping.GetRelation(kSrc, 0, 0).mWeight);
    EXPECT_EQ(0.5, mapping.GetRelation(kDst, 1, 0).mWeight);
    EXPECT_EQ(1.0, mapping.GetRelationSum(kDst, 1, true));
}

TEST(KQoxWeightedMappingTest, OutOfRangeIndicesAndResets)
{
    KQoxWeightedMapping mapping(2, 2);
    const int bad[][2] = {{-1, 0}, {2, 0}, {0, -1}, {0, 2}, {1 << 30, 0}};
    for (const auto& pair : bad)
        mapping.Add(pair[0], pair[1], 1.0);
    for (int e = 0; e < 2; ++e)
        EXPECT_EQ(0, mapping.GetRelationCount(kSrc, e) + mapping.GetRelationCount(kDst, e));
    EXPECT_EQ(0, mapping.GetRelationCount(kSrc, 7));
    EXPECT_EQ(-1, mapping.GetRelationIndex(kSrc, 7, 0));
    mapping.Reset(-3, 5);
    EXPECT_EQ(0, mapping.GetElementCount(kSrc));
    EXPECT_EQ(5, mapping.GetElementCount(kDst));
    mapping.Clear();
    EXPECT_EQ(0, mapping.GetElementCount(kDst));
}

TEST(KQoxWeightedMappingTest, ManyRelationsNormaliseEveryElement)
{
    // 100,000 destination elements, each blended from four of 1,000 sources.
    const int sources = 1000, destinations = 100000;
    KQoxWeightedMapping mapping(sources, destinations);
    for (int d = 0; d < destinations; ++d)
        for (int k = 0; k < 4; ++k)
            mapping.Add((d + k * 7) % sources, d, 1.0 + k);
    mapping.Normalize(kDst, true);
    for (int d = 0; d < destinations; d += 997)
    {
        EXPECT_NEAR(1.0, mapping.GetRelationSum(kDst, d, true), 1e-12);
        EXPECT_DOUBLE_EQ(0.4, mapping.GetRelation(kDst, d, 3).mWeight);
    }
    double total = 0.0;
    for (int s = 0; s < sources; ++s)
        total += mapping.GetRelationSum(kSrc, s, true);
    EXPECT_NEAR(destinations, total, 1e-6);
}
