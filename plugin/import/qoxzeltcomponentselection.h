#ifndef QOX_PLUGIN_IMPORT_QOXZELTCOMPONENTSELECTION_H
#define QOX_PLUGIN_IMPORT_QOXZELTCOMPONENTSELECTION_H

// Component selection texts for the skin binding: the union of the control
// points that a geometry's links influence, and the argument of a host
// "select -tgl " command naming them (vertices as runs of consecutive
// indices, NURBS control vertices one by one as [v][u]). Every item appended
// starts with one blank; the output text is never cleared first.

#include <vector>

#include "base/karray.h"
#include "base/kstring.h"

namespace qoxsdk_600 {
class KQoxLink;
class KQoxNurb;
} // namespace qoxsdk_600

// One run of consecutive indices, both ends included.
struct ElementRange
{
    int mFirst;
    int mLast;
};

// Adds the link's control-point indices to the list, which stays ascending
// (unsigned order) and without repeats.
void FillClusterElements(KArrayTemplate<int>& list, qoxsdk_600::KQoxLink* link);
// One record per run of the sorted list, in order.
std::vector<ElementRange> GroupElementsByRange(const KArrayTemplate<int>& list);
// " " + prefix + "[first:last]", or "[first]" for a run of one, per range.
void BuildSelectCommandArgFromElementRange(KString& text, const std::vector<ElementRange>& ranges,
                                           const KString& prefix);
// " " + prefix + "[i div n][i mod n]" per index, n the surface's U count.
// False, with nothing appended, when the U count is not positive.
bool BuildSelectCommandArgFromElementCV(KString& text, KArrayTemplate<int>& list, KString& prefix,
                                        qoxsdk_600::KQoxNurb* surface);

#endif
