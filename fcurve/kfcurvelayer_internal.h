#ifndef QOX_FCURVE_KFCURVELAYER_INTERNAL_H
#define QOX_FCURVE_KFCURVELAYER_INTERNAL_H

// The leaf layout that plotting and solving in layers work in: one value per
// leaf of a node (a node without children, the node itself when it has
// none), depth first. A node shaped like it whose every leaf holds a curve,
// and no other node a curve, takes these values as they are (KeyAppend).
// Evaluation writes one value per curve instead: these helpers place each
// value on the leaf it belongs to.

#include "base/karray.h"
#include "base/ktime.h"

#include <unordered_map>
#include <vector>

class KFCurveNode;

namespace kfcurvelayer_detail {

// The layer type by which values of the given layer type combine over a
// node's leaves: Euler angles only over three children without children of
// their own, a quaternion only over four; any other shape adds them.
int CombiningType(KFCurveNode* node, int layerType);

// out = first combined with second, count values, by a combining type
// (plain, added, multiplied, Euler XYZ or quaternion; other types leave out
// alone). out may be either input.
void CombineValues(int type, int count, double* out, const double* first, const double* second);
// out = the inverse of in for a combining type.
void InvertValues(int type, int count, double* out, const double* in);

class LeafLayout
{
public:
    explicit LeafLayout(KFCurveNode* node);

    KFCurveNode* Node() const { return mNode; }
    int Count() const { return static_cast<int>(mLeaves.size()); }
    // The child indices from the node down to leaf i.
    const std::vector<int>& Path(int leaf) const { return mLeaves[static_cast<size_t>(leaf)].path; }
    // The leaf of member m (child m when it has no children, the node itself
    // for member 0 when it has none); -1 when that member is no leaf.
    int MemberLeaf(int member) const;
    // The node at a leaf's path from root (a node of any shape): null where
    // root has no such child; for the empty path, root only when it has no
    // children.
    static KFCurveNode* Follow(KFCurveNode* root, const std::vector<int>& path);

    // The combining type of the node's own layer type over its leaves.
    int Combining() const { return mCombining; }
    // The neutral value of a combining type for leaf i.
    double Identity(int type, int leaf) const;
    // What a leaf no layer gives a value for shows: the neutral value of its
    // parent's own layer type (1 under a multiplied node).
    double Default(int leaf) const { return mLeaves[static_cast<size_t>(leaf)].fallback; }

    // For each value that node evaluated at layerId writes
    // (EvaluateSpecificLayer), the leaf of this layout it belongs to, -1 for
    // none: members are matched by child index, values of another shape
    // fall on no leaf.
    void MapValues(KFCurveNode* node, int layerId, std::vector<int>& map) const;

private:
    struct Leaf
    {
        std::vector<int> path;
        double fallback;
    };
    void Collect(KFCurveNode* node, KFCurveNode* parent, std::vector<int>& path);
    void MapInto(KFCurveNode* node, int layerId, KFCurveNode* counterpart, std::vector<int>& map) const;

    KFCurveNode* mNode;
    int mCombining;
    std::vector<Leaf> mLeaves;
    std::unordered_map<const KFCurveNode*, int> mLeafOf;
};

// One node evaluated at a layer id, its values placed on a layout's leaves;
// candidate: its curves' candidates are read.
class LeafValues
{
public:
    LeafValues(const LeafLayout& layout, KFCurveNode* node, int layerId, bool candidate = false);

    KFCurveNode* Node() const { return mNode; }
    // out (one per leaf) takes the values; a leaf the node gives no value for
    // takes fill's (out and fill may be the same). covered, when given, is
    // set for each leaf given a value.
    void Evaluate(KTime time, int* index, const double* fill, double* out, std::vector<char>* covered);
    // Combines the values into out (one per leaf) by the combining type: a
    // rotation or quaternion over every leaf (a leaf given no value counts
    // as neutral), added or multiplied into the leaves given values alone.
    void Fold(const LeafLayout& layout, int type, KTime time, int* index, double* out, std::vector<char>* covered);

private:
    // Evaluates the node's layer and hands each value to use with the leaf
    // it lands on; covered, when given, is set for those leaves.
    template <class Use>
    void ForEachLeafValue(KTime time, int* index, std::vector<char>* covered, Use use);

    KFCurveNode* mNode;
    int mLayerId;
    bool mCandidate;
    int mLeafCount;
    std::vector<int> mMap;
    std::vector<double> mScratch;
    std::vector<double> mLeaves; // a rotation's or quaternion's
};

// Layers folded over a layout, each by its own combining type, from the
// neutral values of the layout's node.
class LayerFold
{
public:
    explicit LayerFold(const LeafLayout& layout)
        : mLayout(layout)
    {}
    // Folds the layer, evaluated at its own id, after those added before.
    void Add(KFCurveNode* layer);
    bool Empty() const { return mLayers.empty(); }
    // out (one per leaf) = the folded values; covered, when given, is set for
    // each leaf some layer gives a value for.
    void Evaluate(KTime time, int* index, double* out, std::vector<char>* covered);

private:
    const LeafLayout& mLayout;
    std::vector<LeafValues> mLayers;
};

// The layers of a node's chain KFCurve_CandidateEvaluateInLayersRecursive
// folds for a list of ids (all without one), in fold order.
std::vector<KFCurveNode*> ListedLayers(KFCurveNode* node, KArrayTemplate<int>* layerIds, int listIndex);

// The values the target layer must hold so that the layers below, it and
// the layers above combine to wanted, all in the layout of `layout`; Euler
// angles follow on from previous (when given).
void SolveForLayer(const LeafLayout& layout, LayerFold& below, LayerFold& above, const double* wanted, KTime time,
                   int* index, const double* previous, double* out);

} // namespace kfcurvelayer_detail

#endif
