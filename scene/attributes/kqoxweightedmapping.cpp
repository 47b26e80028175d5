#include "scene/attributes/kqoxweightedmapping.h"

#include <cassert>
#include <cmath>

namespace qoxsdk_600 {

KQoxWeightedMapping::KQoxWeightedMapping(int pSourceSize, int pDestinationSize)
{
    Reset(pSourceSize, pDestinationSize);
}

KQoxWeightedMapping::~KQoxWeightedMapping()
{
    Clear();
}

void KQoxWeightedMapping::Reset(int pSourceSize, int pDestinationSize)
{
    Clear();
    mSets[eSOURCE].resize(pSourceSize > 0 ? static_cast<size_t>(pSourceSize) : 0);
    mSets[eDESTINATION].resize(pDestinationSize > 0 ? static_cast<size_t>(pDestinationSize) : 0);
}

void KQoxWeightedMapping::Clear()
{
    mSets[eSOURCE].clear();
    mSets[eDESTINATION].clear();
}

bool KQoxWeightedMapping::InRange(ESet pSet, int pElement) const
{
    return (pSet == eSOURCE || pSet == eDESTINATION) && pElement >= 0 &&
           static_cast<size_t>(pElement) < mSets[pSet].size();
}

int KQoxWeightedMapping::FindIn(const KList& pList, int pRelated) const
{
    const int count = static_cast<int>(pList.mRelations.size());
    for (int i = 0; i < count; ++i)
        if (pList.mRelations[static_cast<size_t>(i)].mIndex == pRelated)
            return i;
    return -1;
}

void KQoxWeightedMapping::Add(int pSourceIndex, int pDestinationIndex, double pWeight)
{
    if (!InRange(eSOURCE, pSourceIndex) || !InRange(eDESTINATION, pDestinationIndex))
        return;
    KList& source = mSets[eSOURCE][static_cast<size_t>(pSourceIndex)];
    KList& destination = mSets[eDESTINATION][static_cast<size_t>(pDestinationIndex)];

    // A pair is looked for in the shorter of its two lists; the mirror
    // position gives the other side at once.
    const bool fromSource = source.mRelations.size() <= destination.mRelations.size();
    const int found = fromSource ? FindIn(source, pDestinationIndex) : FindIn(destination, pSourceIndex);
    if (found >= 0)
    {
        KList& near = fromSource ? source : destination;
        KList& far = fromSource ? destination : source;
        const size_t at = static_cast<size_t>(found);
        near.mRelations[at].mWeight += pWeight;
        far.mRelations[static_cast<size_t>(near.mMirrors[at])].mWeight = near.mRelations[at].mWeight;
        return;
    }
    source.mRelations.push_back(KElement{pDestinationIndex, pWeight});
    source.mMirrors.push_back(static_cast<int>(destination.mRelations.size()));
    destination.mRelations.push_back(KElement{pSourceIndex, pWeight});
    destination.mMirrors.push_back(static_cast<int>(source.mRelations.size() - 1));
}

int KQoxWeightedMapping::GetElementCount(ESet pSet) const
{
    if (pSet != eSOURCE && pSet != eDESTINATION)
        return 0;
    return static_cast<int>(mSets[pSet].size());
}

int KQoxWeightedMapping::GetRelationCount(ESet pSet, int pElement) const
{
    if (!InRange(pSet, pElement))
        return 0;
    return static_cast<int>(mSets[pSet][static_cast<size_t>(pElement)].mRelations.size());
}

KQoxWeightedMapping::KElement& KQoxWeightedMapping::GetRelation(ESet pSet, int pElement, int pIndex)
{
    assert(InRange(pSet, pElement) && pIndex >= 0 && pIndex < GetRelationCount(pSet, pElement));
    return mSets[pSet][static_cast<size_t>(pElement)].mRelations[static_cast<size_t>(pIndex)];
}

int KQoxWeightedMapping::GetRelationIndex(ESet pSet, int pElement, int pRelatedElement) const
{
    if (!InRange(pSet, pElement))
        return -1;
    return FindIn(mSets[pSet][static_cast<size_t>(pElement)], pRelatedElement);
}

double KQoxWeightedMapping::GetRelationSum(ESet pSet, int pElement, bool pAbsoluteValue) const
{
    if (!InRange(pSet, pElement))
        return 0.0;
    double sum = 0.0;
    for (const KElement& relation : mSets[pSet][static_cast<size_t>(pElement)].mRelations)
        sum += pAbsoluteValue ? std::fabs(relation.mWeight) : relation.mWeight;
    return sum;
}

void KQoxWeightedMapping::Normalize(ESet pSet, bool pAbsoluteValue)
{
    if (pSet != eSOURCE && pSet != eDESTINATION)
        return;
    std::vector<KList>& elements = mSets[pSet];
    std::vector<KList>& others = mSets[pSet == eSOURCE ? eDESTINATION : eSOURCE];
    for (size_t e = 0; e < elements.size(); ++e)
    {
        const double sum = GetRelationSum(pSet, static_cast<int>(e), pAbsoluteValue);
        KList& list = elements[e];
        for (size_t r = 0; r < list.mRelations.size(); ++r)
        {
            KElement& relation = list.mRelations[r];
            double weight = 0.0;
            if (sum != 0.0)
            {
                weight = relation.mWeight / sum;
                if (pAbsoluteValue)
                    weight = std::fabs(weight);
            }
            relation.mWeight = weight;
            KList& other = others[static_cast<size_t>(relation.mIndex)];
            other.mRelations[static_cast<size_t>(list.mMirrors[r])].mWeight = weight;
        }
    }
}

} // namespace qoxsdk_600
