#ifndef QOX_SCENE_ATTRIBUTES_KQOXWEIGHTEDMAPPING_H
#define QOX_SCENE_ATTRIBUTES_KQOXWEIGHTEDMAPPING_H

// KQoxWeightedMapping: a weighted many-to-many relation between a source set
// and a destination set of numbered elements. Every relation is stored twice,
// in the source element's list (index = destination element) and in the
// destination element's list (index = source element), with the same weight.
// The surface evaluators fill it with control point -> tessellated point
// weights; the geometry converter normalises it and reads it to carry skin
// weights over a conversion.

#include <vector>

namespace qoxsdk_600 {

class KQoxWeightedMapping
{
public:
    typedef enum : int
    {
        eSOURCE = 0,
        eDESTINATION = 1
    } ESet;

    // One entry of an element's list.
    struct KElement
    {
        int mIndex;     // the related element of the other set
        double mWeight; // the relation's weight
    };

    KQoxWeightedMapping(int pSourceSize, int pDestinationSize);
    ~KQoxWeightedMapping();
    KQoxWeightedMapping(const KQoxWeightedMapping&) = delete;
    KQoxWeightedMapping& operator=(const KQoxWeightedMapping&) = delete;

    // Clear, then one empty list per source and per destination element
    // (none for a negative size).
    void Reset(int pSourceSize, int pDestinationSize);
    // Relates source element i to destination element j with the weight. A
    // pair already related gets the weight added to its relation on both
    // sides, so that each pair exists once. Indices outside the sets are
    // ignored.
    void Add(int pSourceIndex, int pDestinationIndex, double pWeight);

    int GetElementCount(ESet pSet) const;
    // 0 for an element out of range.
    int GetRelationCount(ESet pSet, int pElement) const;
    // The relation itself (its weight may be changed in place; the mirror
    // is not updated then). The element and the position must be in range.
    KElement& GetRelation(ESet pSet, int pElement, int pIndex);
    // Position of the element's relation to pRelatedElement, or -1.
    int GetRelationIndex(ESet pSet, int pElement, int pRelatedElement) const;
    // Sum of the element's weights (of their absolute values when asked);
    // 0.0 without relations or out of range.
    double GetRelationSum(ESet pSet, int pElement, bool pAbsoluteValue) const;
    // Divides, for every element of the set, each of its relation weights (on
    // both sides) by the element's sum; absolute values when asked; 0.0 when
    // the sum is 0.
    void Normalize(ESet pSet, bool pAbsoluteValue);
    // Removes every element of both sets.
    void Clear();

private:
    // One element's relations, with the position of each relation's mirror
    // in the related element's list.
    struct KList
    {
        std::vector<KElement> mRelations;
        std::vector<int> mMirrors;
    };

    bool InRange(ESet pSet, int pElement) const;
    int FindIn(const KList& pList, int pRelated) const;

    std::vector<KList> mSets[2];
};

} // namespace qoxsdk_600

#endif
