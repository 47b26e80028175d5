#ifndef QOX_PLUGIN_IMPORT_QOXZELTDEFORMATIONS_H
#define QOX_PLUGIN_IMPORT_QOXZELTDEFORMATIONS_H

// Helpers of the deformation, pivot and curve steps of the import that are
// not members of the import object.

#include <string>

#include "base/karray.h"

class KFCurve;
class QoxZeltNode;
class ZFnSkinCluster;
namespace qoxsdk_600 {
class KQoxGeometry;
class KQoxLink;
class KQoxNode;
} // namespace qoxsdk_600

// The user-data id of a link's cluster hint, and the hints that mean something.
extern const char* const kClusterHintId;       // "Zelt_ClusterHint"
extern const char* const kRigidBindHint;       // "RigidBind"
extern const char* const kCompensationHint;    // "CompensationCluster"
extern const char* const kRelativeClusterHint; // "WeightedRelativeCluster"

// Sets the weights of one link's control points for one influence of the
// skin cluster, on the node's host geometry (NURBS control vertices with the
// seam-repeated ones, or vertices); without a link, every point of the
// geometry with no weights.
void SetZeltSmoothBindingZeltParameter(QoxZeltNode* node, qoxsdk_600::KQoxLink* link, int influence,
                                       ZFnSkinCluster& skin, bool normalize);
// Per control point, the weights of the Total1 and mode-0 links with a bone:
// a single weight strictly between 0 and 1 becomes 1, several are divided by
// their sum (left alone when it is 0).
void PreNormalize(qoxsdk_600::KQoxGeometry* geometry);
// Sorts indices[low..high] ascending, moving weights along (equal indices in no set order).
void DoubleQuickSort(int* indices, double* weights, int low, int high);
int DoublePartition(int* indices, double* weights, int low, int high);

// Sorts by name without namespace prefix (strcmp, stable) and keeps the
// first of each run of equal names.
void SortNodeArray(KArrayTemplate<qoxsdk_600::KQoxNode*>& array);

// printf's "%lf" of the value in the "C" locale, at any length.
std::string FormatLf(double value);

#endif
