// The import's world transform (master scale and host up axis), the root
// wrapper that carries it, and the checks made on the way: animated
// non-uniform scale above RrSs children and meshes split per polygon vertex.
#include <cmath>
#include <cstring>

#include "base/qoxlogfile.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurvenode.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltdeformations.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltuserparams.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodefinder.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

namespace {

// The reference nodes that the motion-capture readers name after their format.
const char* const kAlternativeRootNames[] = {"BVH:reference", "HTR:reference", "ASF:reference", "AMC:reference"};
const double kScaleEpsilon = 1e-6;
const int kRrSs = 0;
const char kBadScaleTitle[] = "QOX import Error";

// The rotation of +90 degrees about X, built as an XYZ Euler matrix from the
// cosines and sines, so c = cos(pi / 2) is the library's tiny value, not 0.
void UpAxisRotation(KgeAMatrix& rotation)
{
    const double x = 90.0 * kDegToRad;
    const double cx = std::cos(x), sx = std::sin(x), c0 = std::cos(0.0), s0 = std::sin(0.0);
    rotation.SetIdentity();
    double(*m)[4] = rotation.mData;
    m[0][0] = c0 * c0;
    m[0][1] = c0 * s0;
    m[0][2] = -s0;
    m[1][0] = sx * s0 * c0 - cx * s0;
    m[1][1] = sx * s0 * s0 + cx * c0;
    m[1][2] = sx * c0;
    m[2][0] = cx * s0 * c0 + sx * s0;
    m[2][1] = cx * s0 * s0 - sx * c0;
    m[2][2] = cx * c0;
}

// Whether some control point of the mesh is used by two polygon vertices: a
// mesh whose points were not split per polygon vertex.
bool SharesControlPoints(KQoxMesh& mesh)
{
    std::vector<bool> used(static_cast<size_t>(mesh.GetControlPointsCount()), false);
    for (int p = 0; p < mesh.GetPolygonCount(); ++p)
        for (int v = 0; v < mesh.GetPolygonSize(p); ++v)
        {
            const int point = mesh.GetPolygonVertex(p, v);
            if (point < 0 || point >= static_cast<int>(used.size()))
                continue;
            if (used[static_cast<size_t>(point)])
                return true;
            used[static_cast<size_t>(point)] = true;
        }
    return false;
}

} // namespace

void QoxZeltImport::ComputeWorldTransform(KgeAMatrix& world)
{
    const double scale = QoxZeltUserParams::Instance().GetDoubleParam(QoxZeltUserParams::kImportMasterScale);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            world.mData[r][c] = r == c ? scale : 0.0;
    world.mData[3][0] = world.mData[3][1] = world.mData[3][2] = 0.0;

    ZStringArray answer;
    ZGlobal::executeCommand("upAxis -q -axis", answer, false, false);
    if (answer.length() > 0 && answer[0] == ZString("z"))
    {
        KgeAMatrix rotation;
        UpAxisRotation(rotation);
        // The scale first, then the rotation: +Y goes to +Z.
        KmAA(world.mData, rotation.mData, world.mData);
    }
}

void QoxZeltImport::CustomApplyWorldTransform(KQoxNode* node, KgeAMatrix& world, bool isIdentity)
{
    KQoxPluginImportBase::CustomApplyWorldTransform(node, world, isIdentity);
    if (isIdentity)
        return;
    mWorldMatrix.reset(new KQoxXMatrix);
    std::memcpy(static_cast<double*>(*mWorldMatrix), &world.mData[0][0], 16 * sizeof(double));
}

bool QoxZeltImport::IsAlternativeQoxRootNode(KQoxNode* node)
{
    if (!node)
        return false;
    KString name = node->GetNameWithoutNameSpacePrefix();
    for (const char* alternative : kAlternativeRootNames)
    {
        if (name.Find(alternative, 0) < 0)
            continue;
        name.FindAndReplace(alternative, GetRootName().ToChars(), 0);
        node->SetInitialName(name.ToChars());
        node->SetName(name.ToChars());
        return true;
    }
    return false;
}

bool QoxZeltImport::NeedQoxRoot(KQoxNode* node)
{
    return KQoxPluginImportBase::NeedQoxRoot(node) && !static_cast<QoxZeltNode*>(node)->mMatchedByMerge;
}

void QoxZeltImport::PropagateWorldTransformToChildrenOf(KQoxNode* root)
{
    if (!mWorldMatrix || !root)
        return;
    const KQoxVector4 t = mWorldMatrix->GetT();
    const KQoxVector4 r = mWorldMatrix->GetR();
    const KQoxVector4 s = mWorldMatrix->GetS();
    QoxZeltNode* wrapper = nullptr;
    KArrayTemplate<KQoxNode*> moved;
    for (int i = 0; i < root->GetChildCount(false); ++i)
    {
        KQoxNode* child = root->GetChild(i);
        if (NeedQoxRoot(child))
        {
            if (!wrapper)
            {
                wrapper = mManager.CreateQoxZeltNode(GetRootName().ToChars(), nullptr);
                wrapper->SetDefaultT(t);
                wrapper->SetDefaultR(r);
                wrapper->SetDefaultS(s);
            }
            moved.Add(child);
        }
        else if (IsQoxRootNode(child))
        {
            KQoxTakeNode* take = child->GetCurrentTakeNode();
            if (!take || !take->GetKFCurveNode())
                continue;
            KFCurveFilterMatrixConverter converter;
            KTime period;
            period.SetSecondDouble(1.0 / QoxZeltUserParams::Instance().GetResamplingRate(true));
            converter.SetResamplingPeriod(period);
            converter.SetGenerateLastKeyExactlyAtEndTime(true);
            converter.SetApplyUnroll(false);
            converter.SetResampleTranslation(false);
            converter.SetApplyConstantKeyReducer(true);
            converter.SetSourceMatrix(KFCurveFilterMatrixConverter::ePostGlobal, *mWorldMatrix);
            converter.Apply(*take->GetKFCurveNode(), true);
        }
    }
    if (!wrapper)
        return;
    for (int i = 0; i < moved.GetCount(); ++i)
        wrapper->AddChild(moved[i]);
    root->AddChild(wrapper);
}

ZStatus QoxZeltImport::CheckBadScale(QoxZeltNode& root)
{
    KQoxNodeFinderBadScale finder;
    finder.SetEpsilon(kScaleEpsilon);
    finder.SetCheckBoneScale(false);
    finder.SetCheckNegativeScale(false);
    finder.SetCheckNonUniformScale(true);
    if (finder.Apply(root).GetCount() == 0)
        return ZStatus();
    KArrayTemplate<KQoxNode*> nodes;
    nodes = finder.NonUniformScaleAnimatedNodeArray();
    SortNodeArray(nodes);
    KString message;
    for (int i = 0; i < nodes.GetCount(); ++i)
    {
        KQoxNode* node = nodes[i];
        for (int c = 0; c < node->GetChildCount(false); ++c)
        {
            ETransformInheritType inherit;
            node->GetChild(c)->GetTransformationInheritType(inherit);
            if (static_cast<int>(inherit) != kRrSs)
                continue;
            message += "Node ";
            message += ShortName(node);
            message += " has a Non-uniform scale and one or more child that have a RrSs-type scaling which is not "
                       "supported by Zelt. Some shearing that was not present in StageSculptor may appear on a "
                       "child.\\n";
            LogLine(mLog.get(), message.ToChars());
            break;
        }
    }
    if (!message.IsEmpty() && QoxZeltUserParams::Instance().GetBoolParam(QoxZeltUserParams::kExportShowUI))
    {
        QoxZeltConfirmDialog dialog;
        dialog.Title(kBadScaleTitle);
        dialog.Message(message);
        dialog.Button(0, "Ok");
        dialog.Pop();
    }
    return ZStatus();
}

void QoxZeltImport::MergeMeshOnNormalPerPolyVertex(KQoxNode* node)
{
    if (!node)
        return;
    KQoxNodeAttribute* attribute = node->GetNodeAttribute();
    if (attribute && static_cast<int>(attribute->GetAttributeType()) == eMESH)
    {
        KQoxMesh* mesh = static_cast<KQoxMesh*>(attribute);
        // Only meshes whose points were split per polygon vertex, with a
        // list that maps every point.
        if (mesh->GetPolygonCount() > 0 && !SharesControlPoints(*mesh))
        {
            KArrayTemplate<int> merge;
            if (mesh->BuildMergeList(merge, static_cast<KQoxMesh::ESplitObject>(0), true))
                mesh->MergePointsForPolygonVerteNormals(merge);
        }
    }
    for (int i = 0; i < node->GetChildCount(false); ++i)
        MergeMeshOnNormalPerPolyVertex(node->GetChild(i));
}
