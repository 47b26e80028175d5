#ifndef QOX_FCURVE_KFCURVENODE_INTERNAL_H
#define QOX_FCURVE_KFCURVENODE_INTERNAL_H

// Helpers shared by the curve-node source files.

#include "fcurve/kfcurvenode.h"

#include <memory>

class KDataType;

namespace kfcurvenode_detail {

// The named data types the curve nodes test for and give to members.
KDataType* TypeLclTranslation();
KDataType* TypeLclRotation();
KDataType* TypeLclScaling();
KDataType* TypeTimeWarp();
KDataType* TypeNumber();
KDataType* TypeMatrixRotation();
KDataType* TypeScaling();
KDataType* TypeMatrixScaling();
KDataType* TypeScalingUV();
KDataType* TypeGet(const char* name);
const char* TypeName(KDataType* type);
int TypeMemberCount(KDataType* type);

// Deleter for the objects that end through their own Destroy().
struct DestroyDeleter
{
    template <class T>
    void operator()(T* object) const
    {
        object->Destroy();
    }
};
template <class T>
using Destroyed = std::unique_ptr<T, DestroyDeleter>;

// An Euler XYZ rotation node "R" whose children "X", "Y" and "Z" borrow
// three curves, for running a node filter on bare curves. The curves go
// back to their owner when it ends.
class BorrowedRotation
{
public:
    explicit BorrowedRotation(KFCurve** curves);
    ~BorrowedRotation();
    BorrowedRotation(const BorrowedRotation&) = delete;
    BorrowedRotation& operator=(const BorrowedRotation&) = delete;

    KFCurveNode& Node() { return *mNode; }

private:
    // Takes the lent curves back from the children made so far.
    void GiveBack();

    Destroyed<KFCurveNode> mNode;
};

// Neutral value of a layer type for the values of member `member` (-1: the
// node's own curve): 1 multiplied and for a quaternion's W, else 0.
double NeutralValue(int layerType, int member);

// Whether a node's members are three Euler angles (three children of one
// value each), or the X, Y, Z, W of a quaternion (four children of one value
// each). Only such members are combined as rotations.
bool MembersAreAngles(KFCurveNode* node);
bool MembersAreQuaternion(KFCurveNode* node);
// The layer type by which a node's members are evaluated and combined: its
// own, except that a rotation or quaternion type given to members of another
// shape (a file may give one) leaves them plain values, added.
int MemberLayerType(KFCurveNode* node);

// Scratch buffer of doubles: 32 inline, more on the heap.
typedef KFCurveValueBuffer<32> ValueBuffer;

// A node's values as evaluation writes them (a quaternion base layer, at
// any depth, as three Euler XYZ angles) turned into the form its total
// candidate keeps (that quaternion as its four members: one value per
// curve), and back. Each reads from in, which it moves past what it read,
// and returns the end of what it wrote.
double* EvaluatedToStored(KFCurveNode* node, const double*& in, double* out);
double* StoredToEvaluated(KFCurveNode* node, const double*& in, double* out);

} // namespace kfcurvenode_detail

#endif
