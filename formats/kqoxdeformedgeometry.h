#ifndef QOX_FORMATS_KQOXDEFORMEDGEOMETRY_H
#define QOX_FORMATS_KQOXDEFORMEDGEOMETRY_H

// Deformed geometry for the geometry writers (OBJ, DXF, 3DS): a mesh's shapes
// blended into its points and its skin links applied to them, in the default
// pose. Writers derive from KQoxDeformedGeometry so they carry these members
// under the same names; the members use no state of their own.

#include "base/kmath_types.h"

namespace qoxsdk_600 {

class KQoxMesh;
class KQoxNode;

class KQoxDeformedGeometry
{
public:
    // Adds to points (one per control point of the mesh) the offsets of every
    // shape, each weighted by its channel value in the default take. Offsets
    // are taken against the undeformed points, so shapes add up. A shape with
    // fewer points than the mesh moves only the points it has. The node is
    // not used.
    static void ComputeShapeDeformation(KQoxNode* node, KQoxMesh* mesh, KQoxVector4* points);

    // Replaces points (one per control point) by their skinned positions in
    // the mesh node's space. reference is the mesh node's global matrix as
    // the writer builds it. The mode of link 0 governs every link: 0 weight
    // normalised, 1 additive (links compose in order), 2 total one (the
    // missing weight keeps the point). Entries of weight 0 and indices
    // outside the mesh are skipped; a point that no link reaches is kept.
    static void ComputeLinkDeformation(KQoxXMatrix& reference, KQoxMesh* mesh, KQoxVector4* points);

    // All sixteen elements times s.
    static void MatrixScale(KQoxXMatrix& matrix, double s);
    // s added to elements 0, 5, 10 and 15.
    static void MatrixAddToDiagonal(KQoxXMatrix& matrix, double s);
    // matrix[i] += other[i] for all sixteen elements.
    static void MatrixAdd(KQoxXMatrix& matrix, KQoxXMatrix& other);

    // The node's matrix from its default translation, rotation (XYZ degrees)
    // and scaling; pivots, pre/post rotations and limits play no part.
    static KQoxXMatrix GetLocalPosition(KQoxNode* node);
    // The node's global matrix from default values up its parent chain,
    // the parent's matrix on the left.
    static KQoxXMatrix GetGlobalPosition(KQoxNode* node);
};

} // namespace qoxsdk_600

#endif
