#ifndef QOX_FCURVE_KFCURVEPLOT_H
#define QOX_FCURVE_KFCURVEPLOT_H

// Plotting a layered curve node into keys over a time span: at every plot
// time the node's value across its layers (or the value a target layer must
// hold so that the whole shows a wanted value) is appended as keys; the new
// curves then go to a destination node or to the target layer, or layers are
// reset or removed. Smart plotting keeps keys only at the source key times,
// samples around them, and refines the result against the dense plot.

#include "base/karray.h"
#include "base/ktime.h"

class KFCurve;
class KFCurveNode;

// Options of smart plotting.
struct KSmartPlotOptions
{
    bool mSmartPlot = false;             // plot smartly
    bool mBreakTangents = true;          // break the smart keys' tangents against the dense plot
    double mBreakThreshold = 1.0;        // slope difference above which a tangent breaks
    KTime mTimeDelta = KTime(384884650); // 1/120 s: window around each source key, slope distance
    bool mIncreaseFidelity = true;       // insert keys where the smart curve strays
    double mFidelityTolerance = 0.25;    // allowed difference
    bool mFidelityBreaksTangents = true; // break the tangents of keys the fidelity step inserts
    int mFidelitySubdivisions = 2;       // subdivisions per span
    bool mFurtherFlag = true;            // not read by plotting
    bool mKeepDensePlot = false;         // hand over the dense plot instead of the smart keys
};

// Options of a layer merge; plotting itself does not read them.
struct KMergeLayerOptions
{
    KTime mStart = KTIME_MINUS_INFINITE;
    KTime mStop = KTIME_INFINITE;
    KTime mPeriod = KTime(1539538600); // 1/30 s
    KSmartPlotOptions mSmartPlotOptions;
};

// One source curve of smart plotting and the index of its next key.
struct KFCurveSmartMergeInfos
{
    KFCurve* mCurve = nullptr;
    int mNextKeyIndex = 0;
};

// Flags of KFCurve_PlotInLayers (what happens after plotting).
enum
{
    KFCURVE_PLOT_REMOVE_LAYERS = 0x2,  // remove the listed layers (when 0x4 is clear)
    KFCURVE_PLOT_RESET_LAYERS = 0x4,   // set the layers to their neutral values over the span
    KFCURVE_PLOT_REPLACE_KEYS = 0x8,   // replace the target layer's keys over the span
    KFCURVE_PLOT_REPLACE_CURVES = 0x10 // replace the target layer's curves
};

// The earliest next source key time after current over the layers (n of
// them, four members each) and members (0 to 3), advancing past keys not
// after current; members (when given) receives the members with a key then.
// Plus infinity when no key remains.
KTime GetNextSmartPlotTime(KTime* current, KFCurveSmartMergeInfos** infos, int layerCount,
                           KArrayTemplate<int>* members);

// Plots node over [start, stop] at period; see the flags above. layerIds,
// destination, wanted and options may be null. Without a wanted node the
// listed layers (all without a list) are combined; with one, the values the
// target layer must hold are solved. A period that is not positive, or a span
// that needs more regular samples than KFCURVE_MAX_SAMPLE_COUNT, plots nothing.
// One curve is plotted per leaf of the node (a node without children: each
// member at any depth, or the node itself when it has none), holding what the
// layers give that leaf, or the neutral value of its parent's layer type when
// none gives it one; it goes to the node at the same path in the destination
// or the target layer (the node's own curve to the destination itself only
// when that has no children either).
void KFCurve_PlotInLayers(KFCurveNode* node, KArrayTemplate<int>* layerIds, int targetLayerId, unsigned int flags,
                          KTime start, KTime stop, KTime period, KFCurveNode* destination, KFCurveNode* wanted,
                          bool useTimeWarp, KSmartPlotOptions* options);

// Work a time-warp merge may spend when the caller sets no other limit:
// samples times the values evaluated and the leaves keyed at each.
const long long KFCURVE_TIMEWARP_MERGE_BUDGET = 1LL << 24;

// Bakes every time warp of a curve-node tree into the nodes that use it, and
// detaches it. Each such node is plotted through its warp over the warp's
// span (its keys; the time 0 alone for a warp without keys) at the global
// plot period: a base node with KFCurve_PlotInLayers (no layer list, its own
// layer, flag 0x10, time warp on), its upper layers then removed since the
// base holds their share; an upper layer with a warp of its own over its own
// curves alone, the warp then baked into the layers after it. A node whose
// members have members of their own (T, R and S of a transform) hands its
// warp to the members of each node of its chain, each then baked so, their
// own layers included. Children and upper layers are merged before the node,
// their warps applying after its. The constant key reducer then runs on each
// node plotted when that global setting is on. budget is lowered by what a
// warp's bake costs (samples times the values evaluated and the leaves keyed
// at each); a warp whose bake would exceed what is left, that the period
// cannot sample, or that applies to a node still playing through a warp of
// its own or holding a curve beside members, stays attached whole.
void KFCurve_MergeTimeWarps(KFCurveNode* root, long long& budget);

#endif
