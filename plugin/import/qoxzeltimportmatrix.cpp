// Host transformations and cached global transforms as SDK matrices, and
// host nodes named by command results.
#include "base/kmath_kernels.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltnode.h"

using namespace qoxzeltimport;

namespace {

// Translation, rotation (degrees, XYZ) and scale of a host transformation;
// its rotation is reordered to XYZ first.
void ReadTransformation(ZTransformationMatrix& transform, double t[3], double r[3], double s[3])
{
    if (transform.rotationOrder() != ZTransformationMatrix::kXYZ)
        transform.reorderRotation(ZTransformationMatrix::kXYZ);
    ZTransformationMatrix::RotationOrder order = ZTransformationMatrix::kXYZ;
    if (transform.getRotation(r, order, ZSpace::kWorld))
        for (int i = 0; i < 3; ++i)
            r[i] *= kRadToDeg;
    transform.translation(ZSpace::kWorld).get(t);
    transform.getScale(s, ZSpace::kWorld);
}

// Rows 0 to 3, columns 0 to 2 of out: the XYZ rotation with row i scaled
// by s[i], and the translation.
void BuildMatrix(const double t[3], const double r[3], const double s[3], KgeAMatrix& out)
{
    KgeAMatrix work;
    work.SetIdentity();
    KmIJKtoR(work.mData, r[0], r[1], r[2], 0);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            work.mData[row][column] *= s[row];
    for (int column = 0; column < 3; ++column)
        work.mData[3][column] = t[column];
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column)
            out.mData[row][column] = work.mData[row][column];
}

} // namespace

void SetMatrix(ZTransformationMatrix& transform, KgeAMatrix& out)
{
    double t[3] = {0, 0, 0}, r[3] = {0, 0, 0}, s[3] = {1, 1, 1};
    ReadTransformation(transform, t, r, s);
    BuildMatrix(t, r, s, out);
}

void SetVector(ZTransformationMatrix& transform, KgeTVector& t, KgeRVector& r, KgeSVector& s)
{
    double tv[3] = {0, 0, 0}, rv[3] = {0, 0, 0}, sv[3] = {1, 1, 1};
    ReadTransformation(transform, tv, rv, sv);
    r.x = rv[0];
    r.y = rv[1];
    r.z = rv[2];
    t.x = tv[0];
    t.y = tv[1];
    t.z = tv[2];
    s.x = sv[0];
    s.y = sv[1];
    s.z = sv[2];
}

void SetMatrixFromGlobal(QoxZeltNode* node, KgeAMatrix& out)
{
    BuildMatrix(node->GetGlobalTranslation(), node->GetGlobalRotation(), node->GetGlobalScaling(), out);
}

ZObject GetResultObject(ZStringArray& result, unsigned index)
{
    ZString name(result[index].asChar());
    return GetResultObject(name);
}

ZObject GetResultObject(ZString& name)
{
    ZObject object;
    ZSelectionList list;
    list.clear();
    list.add(name);
    ZStatus st = list.getDependNode(0, object);
    if (!st)
    {
        st.perror("Result object not found.");
        return ZObject();
    }
    return object;
}
