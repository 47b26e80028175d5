#ifndef QOX_FCURVE_KFCURVELAYER_H
#define QOX_FCURVE_KFCURVELAYER_H

// Arithmetic of animation layers by layer type, solving the value one layer
// must hold for a wanted total, the set that numbers time-warp nodes for the
// native file, and one geometric helper.
//
// Values are arrays of doubles, one per member of the curve node (one per
// child, or one when the node has only its own curve; four for a quaternion
// node); solving and evaluating in layers take one per leaf of the node (a
// node without children: a member, or the node itself when it has none),
// depth first, the same for a node of members. Layer types combine as
// evaluation combines them: added (0, 1), multiplied (3), Euler XYZ rotations
// composed with the first applied first (2), quaternion product (4); a
// rotation or quaternion type over members of another shape than three or
// four leaves adds them.

#include "base/karray.h"
#include "base/ktime.h"

class KFCurveNode;
class KSet;

// Installs the time-warp set (nick number -> time-warp node); not owned. The
// set is the calling thread's: the two lookups below see the set installed
// on their own thread only, so reads and writes on other threads never see
// each other's warps.
void KFCurve_SetTWSet(KSet* set);
// The time-warp node numbered nick; null without a set or such a number.
KFCurveNode* KFCurve_FindTWFromNickNumber(int nick);
// The number of a time-warp node; false without a set or when absent.
bool KFCurve_FindNickNumberFromTW(int& nick, KFCurveNode* timeWarp);

// Euler XYZ angles (degrees) of the rotation turning the direction p0->p1
// onto p0->p2. Always true.
bool AxisAlignmentInEulerAngle(double* p0, double* p1, double* p2, double* angles);

// out = first combined with second by the node's layer type. out may be
// either input.
void AddValuesAlongLayerType(KFCurveNode* node, double* out, double* first, double* second);
// out = the inverse of in for the node's layer type.
void InverseValuesAlongLayerType(KFCurveNode* node, double* out, double* in);

// Splits the node's layers around a target layer id: below gets the layers
// before the first one not below the target, above the layers after those
// at or below it (stopping at a base layer). With a list, the layers are the
// listed ids that exist, in list order.
void KFCurve_PrepareForSolving(KFCurveNode* node, KArrayTemplate<int>* layerIds, int targetLayerId,
                               KArrayTemplate<KFCurveNode*>& below, KArrayTemplate<KFCurveNode*>& above);
// out = the values the target layer must hold so that below, it and above
// combine to wanted (one per leaf of the node, as out; each layer's values
// placed on the leaves they belong to); Euler values follow on from previous.
void KFCurve_CandidateSolveInLayers(KFCurveNode* node, double* out, double* wanted, KTime time,
                                    KArrayTemplate<KFCurveNode*>& below, KArrayTemplate<KFCurveNode*>& above,
                                    int unused, int* index, double* previous);
// Room a buffer the node's layers are folded into needs: the most values any
// layer of its chain holds or writes when evaluated at its own id, and at
// least one per member and per leaf of the node (the layers of a file need
// not have the base's shape).
int KFCurve_LayerValueRoom(KFCurveNode* node);
// Folds the values of the listed layers (all without a list) of the node's
// chain into the accumulator (one value per leaf of the node; room for
// KFCurve_LayerValueRoom values), starting at list index listIndex. Each
// layer's values land on the leaves they belong to (members matched by child
// index); a leaf a layer gives no value for takes its neutral value.
void KFCurve_CandidateEvaluateInLayersRecursive(KFCurveNode* node, double* accumulator, KTime time,
                                                KArrayTemplate<int>* layerIds, int listIndex, int* index);

#endif
