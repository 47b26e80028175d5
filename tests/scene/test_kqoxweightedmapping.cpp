// Weighted mapping: both sides of every relation, sums and normalisation.
#include <gtest/gtest.h>

#include "scene/attributes/kqoxweightedmapping.h"

using qoxsdk_600::KQoxWeightedMapping;

namespace {
const KQoxWeightedMapping::ESet kSrc = KQoxWeightedMapping::eSOURCE;
const KQoxWeightedMapping::ESet kDst = KQoxWeightedMapping::eDESTINATION;
} // namespace

TEST(KQoxWeightedMappingTest, NormalisationKeepsBothSidesInAgreement)
{
    KQoxWeightedMapping mapping(6, 6);
    mapping.Add(2, 5, 0.5);
    mapping.Add(3, 5, 1.5);
    mapping.Add(0, 1, 2.0); // destination 1 sums to 0
    mapping.Add(1, 1, -2.0);
    mapping.Add(4, 2, 0.25); // a repeated pair merges into one relation
    mapping.Add(4, 2, 0.25);
    mapping.Add(5, 2, 0.5);
    EXPECT_EQ(4.0, mapping.GetRelationSum(kDst, 1, true));
    EXPECT_EQ(1, mapping.GetRelationCount(kSrc, 4));
    mapping.Normalize(kDst, true);
    struct Expect
    {
        int source, destination;
        double weight;
    };
    for (const Expect& e : {Expect{2, 5, 0.25}, Expect{3, 5, 0.75}, Expect{0, 1, 0.5}, Expect{1, 1, 0.5},
                            Expect{4, 2, 0.5}, Expect{5, 2, 0.5}})
    {
        EXPECT_DOUBLE_EQ(
            e.weight,
            mapping.GetRelation(kDst, e.destination, mapping.GetRelationIndex(kDst, e.destination, e.source)).mWeight);
        EXPECT_DOUBLE_EQ(
            e.weight,
            mapping.GetRelation(kSrc, e.source, mapping.GetRelationIndex(kSrc, e.source, e.destination)).mWeight);
    }
    // Without absolute values a zero sum gives 0; an element without
    // relations stays empty.
    mapping.Normalize(kSrc, false);
    KQoxWeightedMapping zero(2, 1);
    zero.Add(0, 0, 2.0);
    zero.Add(1, 0, -2.0);
    zero.Normalize(kDst, false);
    EXPECT_EQ(0.0, zero.GetRelation(kSrc, 1, 0).mWeight);
    EXPECT_EQ(0, mapping.GetRelationCount(kDst, 0));
    EXPECT_EQ(0.0, mapping.GetRelationSum(kDst, 0, true));
}

TEST(KQoxWeightedMappingTest, OutOfRangeIndicesAndResets)
{
    KQoxWeightedMapping mapping(2, 2);
    for (const auto& pair : {std::make_pair(-1, 0), {2, 0}, {0, -1}, {0, 2}, {1 << 30, 0}})
        mapping.Add(pair.first, pair.second, 1.0);
    for (int e = 0; e < 2; ++e)
        EXPECT_EQ(0, mapping.GetRelationCount(kSrc, e) + mapping.GetRelationCount(kDst, e));
    EXPECT_EQ(-1, mapping.GetRelationIndex(kSrc, 7, 0));
    mapping.Reset(-3, 5);
    EXPECT_EQ(0, mapping.GetElementCount(kSrc));
    EXPECT_EQ(5, mapping.GetElementCount(kDst));
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
    double total = 0.0;
    for (int s = 0; s < sources; ++s)
        total += mapping.GetRelationSum(kSrc, s, true);
    EXPECT_NEAR(destinations, total, 1e-6);
    EXPECT_DOUBLE_EQ(0.4, mapping.GetRelation(kDst, 99999, 3).mWeight);
}
