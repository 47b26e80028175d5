// Smooth skin binding: one host skin cluster per geometry over its joint
// links, with the file's bind matrices and per-influence weights.
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/knumbertext.h"
#include "base/qoxlogfile.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltcomponentselection.h"
#include "plugin/import/qoxzeltdeformations.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltuserparams.h"
#include "plugin/qoxzeltutility.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/kqoxpose.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

namespace {

const char kNewSkinCluster[] = "newSkinCluster \"-toSelectedBones -mi 5 -dr 4\"";

bool Param(int index)
{
    return QoxZeltUserParams::Instance().GetBoolParam(index);
}

// Runs one command of the binding; a failure is reported and the binding goes on.
void Run(const std::string& text, ZStringArray& result)
{
    DebugCheckStatus(ZGlobal::executeCommand(ZString(text), result, false, false), nullptr);
}

std::string NormalizeWeightsCommand(const ZString& skin, int value)
{
    return std::string("setAttr \"") + skin.asChar() + ".normalizeWeights\" " + std::to_string(value);
}

// The matrix that the first bind pose holding the node keeps for it.
bool BindPoseMatrix(KQoxSdkManager* manager, KQoxNode* node, KQoxMatrix& matrix)
{
    KArrayTemplate<KQoxPose*> poses;
    KArrayTemplate<int> indices;
    if (!manager || !KQoxPose::GetBindPoseContaining(*manager, node->GetInitialName(), poses, indices))
        return false;
    matrix = poses[0]->GetMatrix(indices[0]);
    return true;
}

void CopyMatrix(double* to, const double* from)
{
    std::memcpy(to, from, 16 * sizeof(double));
}

bool IsSorted(const int* indices, int count)
{
    for (int i = 0; i + 1 < count; ++i)
        if (indices[i] > indices[i + 1])
            return false;
    return true;
}

// The geometry's surface when it is a NURBS surface with control points in
// both directions; null for other geometry.
KQoxNurb* Surface(QoxZeltNode* node)
{
    return AttributeType(node) == eNURBS ? static_cast<KQoxNurb*>(node->GetGeometry()) : nullptr;
}

// The skin cluster that newSkinCluster made below the shape's transform:
// the first met downstream of its children, last child first.
bool FindSkinCluster(ZDagPath& skinPath, ZObject& skin)
{
    ZDagPath transform;
    ZDagPath::getAPathTo(skinPath.transform(), transform);
    for (int c = static_cast<int>(transform.childCount()) - 1; c >= 0; --c)
    {
        ZObject child = transform.child(static_cast<unsigned>(c));
        if (QoxZeltUtility::GetDependencyOfThisType(&child, 0, &skin, ZItDependencyGraph::kDownstream,
                                                    ZFn::kSkinClusterFilter))
            return true;
    }
    return false;
}

// Why the links cannot be bound, empty when they can: each needs a bone with
// a valid host path.
KString UnboundLinkReason(KArrayTemplate<KQoxLink*>& links)
{
    for (int k = 0; k < links.GetCount(); ++k)
    {
        KQoxNode* bone = links[k]->GetLink();
        if (!bone)
            return KString("its link ") + (k + 1) + " has no bone.";
        ZDagPath* path = static_cast<QoxZeltNode*>(bone)->GetDagPath();
        if (!path || !path->isValid())
            return KString("its bone ") + ShortName(bone) + " has no host node.";
    }
    return KString();
}

} // namespace

void QoxZeltImport::SortControlPointsOnSmoothSkin(KQoxLink* link)
{
    if (link && link->GetControlPointIndicesCount() > 1)
        DoubleQuickSort(link->GetControlPointIndices(), link->GetControlPointWeights(), 0,
                        link->GetControlPointIndicesCount() - 1);
}

void QoxZeltImport::BuildSmoothBinding(QoxZeltNode* node, QoxLogFile* log, KQoxSdkManager* manager,
                                       KArrayTemplate<KQoxLink*>* links)
{
    if (!node || !links || links->GetCount() == 0 || !node->GetDagPath())
        return;
    QoxZeltProgressMeter progress;
    const KString name = ShortName(node);
    progress.Activate(name.ToChars());
    const auto skipped = [&](const KString& reason) {
        LogLine(log, (KString("Smooth binding of ") + name + " skipped: " + reason).ToChars());
    };

    // Everything that can stop the binding is decided before the links or
    // the geometry's weights change.
    ZDagPath skinPath = *node->GetDagPath();
    KQoxGeometry* geometry = static_cast<KQoxGeometry*>(node->GetGeometry());
    KQoxNurb* surface = Surface(node);
    if (surface && (surface->GetUCount() <= 0 || surface->GetVCount() <= 0))
        return skipped("its NURBS surface has no control point in U or in V.");
    const KString unbound = UnboundLinkReason(*links);
    if (!unbound.IsEmpty())
        return skipped(unbound);
    ZDagPath* parentPath = node->GetParent() ? ParentOf(node)->GetDagPath() : nullptr;
    skinPath.extendToShape();
    progress.Activate("This may take a while. Please wait!");

    std::string boneList;
    KArrayTemplate<int> elements;
    bool parented = false;
    std::string parentedBone;
    for (int k = 0; k < links->GetCount(); ++k)
    {
        KQoxLink* link = (*links)[k];
        QoxZeltNode* bone = static_cast<QoxZeltNode*>(link->GetLink());
        const std::string bonePath = bone->GetDagPath()->partialPathName().asChar();
        boneList += "\"" + bonePath + "\" ";
        if (parentPath && bone->GetDagPath() == parentPath)
        {
            parented = true;
            parentedBone = bonePath;
        }
        FillClusterElements(elements, link);
    }
    if (parented)
    {
        const KString message = KString("The skin is parented to the deforming bone (") + parentedBone.c_str() +
                                "). Inconsistent behaviour may occur.";
        LogLine(log, (KString("Warning: ") + message).ToChars());
        ImportDialog("QOX import warning", message);
    }

    ZStringArray result;
    Run("select -cl", result);
    Run("select -tgl " + boneList, result);
    KString prefix(node->GetDagPath()->fullPathName().asChar());
    prefix += surface ? ".cv" : ".vtx";
    KString components;
    if (surface)
        BuildSelectCommandArgFromElementCV(components, elements, prefix, surface);
    else
        BuildSelectCommandArgFromElementRange(components, GroupElementsByRange(elements), prefix);
    const std::string selectComponents = std::string("select -tgl ") + components.ToChars();
    Run(selectComponents, result);
    Run(kNewSkinCluster, result);
    Run("select -cl", result);

    ZObject skinObject;
    if (!FindSkinCluster(skinPath, skinObject))
        return skipped("the host made no skin cluster for it.");
    ZStatus status;
    ZFnSkinCluster skin(skinObject, &status);
    if (!status)
    {
        status.perror("Cannot find smooth binding node.");
        return skipped("its skin cluster cannot be read.");
    }
    const ZString skinName = skin.name();
    ZPlug bindPre;
    const unsigned bindCount = QoxZeltUtility::GetPlug(skin, "bindPreMatrix", bindPre) ? bindPre.numElements() : 0;
    if (bindCount != static_cast<unsigned>(links->GetCount()))
    {
        // The binding cannot be trusted: take the stray skin cluster away.
        Run(std::string("delete ") + skinName.asChar(), result);
        return skipped(KString("the skin cluster ") + skinName.asChar() + " has " + static_cast<int>(bindCount) +
                       " bind matrices for " + links->GetCount() + " influences; it was deleted.");
    }

    // The binding goes ahead: the links take their final order and matrices.
    for (int k = 0; k < links->GetCount(); ++k)
    {
        KQoxLink* link = (*links)[k];
        if (!IsSorted(link->GetControlPointIndices(), link->GetControlPointIndicesCount()))
            SortControlPointsOnSmoothSkin(link);
        KQoxMatrix poseMatrix;
        if (Param(QoxZeltUserParams::kImportNullsToPivot) && BindPoseMatrix(manager, link->GetLink(), poseMatrix))
        {
            KQoxXMatrix linkMatrix;
            CopyMatrix(linkMatrix, poseMatrix);
            link->SetTransformLinkMatrix(linkMatrix);
        }
    }
    if (Param(QoxZeltUserParams::kImportForceWeightNormalize))
        PreNormalize(geometry);

    // The geometry's bind matrix G and its inverse.
    KQoxMatrix geometryMatrix;
    if (!BindPoseMatrix(manager, node, geometryMatrix))
        CopyMatrix(geometryMatrix, node->GetGlobalMatrix(eDESTINATION_SET, false));
    ZPlug geomPlug;
    if (QoxZeltUtility::GetPlug(skin, "geomMatrix", geomPlug))
        QoxZeltUtility::SetPlugMatrix(geomPlug, geometryMatrix, true);
    KQoxMatrix geometryInverse;
    KmAi(geometryInverse, geometryMatrix);

    for (int k = 0; k < links->GetCount(); ++k)
    {
        KQoxLink* link = (*links)[k];
        QoxZeltNode* bone = static_cast<QoxZeltNode*>(link->GetLink());
        KQoxXMatrix transform, transformLink;
        link->GetTransformMatrix(transform);
        link->GetTransformLinkMatrix(transformLink);
        // P = G^-1 . T . TL^-1 (G^-1 applied first); B = P^-1.
        KQoxMatrix preMatrix, bindMatrix, linkInverse;
        KmAi(linkInverse, transformLink);
        KmAA(preMatrix, transform, geometryInverse);
        KmAA(preMatrix, linkInverse, preMatrix);
        if (BindPoseMatrix(manager, bone, bindMatrix))
            KmAi(preMatrix, bindMatrix);
        else
        {
            KmAi(bindMatrix, preMatrix);
            ZPlug bindPose = ZFnDagNode(*bone->GetDagPath()).findPlug("bindPose", &status);
            if (status)
                QoxZeltUtility::SetPlugMatrix(bindPose, bindMatrix, false);
            else
                status.perror("Plug not found : bindPose");
        }
        ZPlug element = bindPre.elementByLogicalIndex(static_cast<unsigned>(k));
        QoxZeltUtility::SetPlugMatrix(element, preMatrix, true);
    }

    // The bind command weighted every point to its closest bones; those
    // weights would survive for the bones a point's links do not name.
    Run(std::string("skinPercent -prw 10000 -normalize off ") + skinName.asChar() + " \"" +
            skinPath.partialPathName().asChar() + "\"",
        result);
    Run(selectComponents, result);
    Run(NormalizeWeightsCommand(skinName, 0), result);
    for (int i = 0; i < links->GetCount(); ++i)
    {
        KQoxLink* link = (*links)[i];
        const KString pass = name + " : Pass " + (i + 1) + " of " + links->GetCount();
        progress.Activate(pass.ToChars());
        QoxZeltNode* bone = static_cast<QoxZeltNode*>(link->GetLink());
        const unsigned index = skin.indexForInfluenceObject(*bone->GetDagPath(), &status);
        if (!status)
        {
            // An unknown influence would take another bone's weights.
            DebugCheckStatus(status, nullptr);
            LogLine(log, (KString("Smooth binding of ") + name + ": " + ShortName(bone) +
                          " is no influence of the skin cluster; its weights are left out.")
                             .ToChars());
            continue;
        }
        SetZeltSmoothBindingZeltParameter(node, link, static_cast<int>(index), skin, false);
    }
    Run(NormalizeWeightsCommand(skinName, 1), result);
    Run(std::string("skinPercent -normalize true ") + skinName.asChar(), result);
    Run(NormalizeWeightsCommand(skinName, 0), result);
    Run("select -cl", result);
}

void SetZeltSmoothBindingZeltParameter(QoxZeltNode* node, KQoxLink* link, int influence, ZFnSkinCluster& skin,
                                       bool normalize)
{
    KQoxGeometry* geometry = node ? static_cast<KQoxGeometry*>(node->GetGeometry()) : nullptr;
    if (!geometry || !node->GetDagPath())
        return;
    QoxZeltProgressMeter progress;
    const int count = link ? link->GetControlPointIndicesCount() : 0;
    const int* indices = link ? link->GetControlPointIndices() : nullptr;
    const double* weights = link ? link->GetControlPointWeights() : nullptr;
    if (!link)
        normalize = false;

    ZObject component;
    ZFloatArray values;
    int elementCount = 0;
    if (KQoxNurb* surface = Surface(node))
    {
        const uint32_t uCount = static_cast<uint32_t>(surface->GetUCount());
        const uint32_t vCount = static_cast<uint32_t>(surface->GetVCount());
        if (uCount == 0 || vCount == 0)
            return;
        const uint32_t uSeam = node->mUSeam && surface->GetUOrder() > 0 ? surface->GetUOrder() - 1 : 0;
        const uint32_t vSeam = node->mVSeam && surface->GetVOrder() > 0 ? surface->GetVOrder() - 1 : 0;
        ZFnDoubleIndexedComponent cvs;
        component = cvs.create(ZFn::kSurfaceCVComponent);
        if (link)
        {
            for (int k = 0; k < count; ++k)
            {
                const uint32_t i = static_cast<uint32_t>(indices[k]);
                const int a = static_cast<int>(i / uCount);
                const int b = static_cast<int>(i % uCount);
                const float w = static_cast<float>(weights[k]);
                const bool uRepeat = static_cast<uint32_t>(b) < uSeam;
                const bool vRepeat = static_cast<uint32_t>(a) < vSeam;
                cvs.addElement(a, b);
                values.append(w);
                if (uRepeat)
                {
                    cvs.addElement(a, b + static_cast<int>(uCount));
                    values.append(w);
                }
                if (vRepeat)
                {
                    cvs.addElement(a + static_cast<int>(vCount), b);
                    values.append(w);
                    if (uRepeat)
                    {
                        cvs.addElement(a + static_cast<int>(vCount), b + static_cast<int>(uCount));
                        values.append(w);
                    }
                }
                progress.Activate("");
            }
        }
        else
            cvs.setCompleteData(static_cast<int>(vCount + vSeam), static_cast<int>(uCount + uSeam));
        elementCount = cvs.elementCount();
    }
    else
    {
        ZFnSingleIndexedComponent vertices;
        component = vertices.create(ZFn::kMeshVertComponent);
        if (link)
            vertices.addElements(ZIntArray(indices, static_cast<unsigned>(count)));
        else
            vertices.setCompleteData(geometry->GetControlPointsCount());
        elementCount = vertices.elementCount();
    }
    if (weights && elementCount > 0 && values.length() == 0)
        for (int k = 0; k < count; ++k)
        {
            values.append(static_cast<float>(weights[k]));
            progress.Activate("");
        }
    ZStatus status = skin.setWeights(*node->GetDagPath(), component, ZIntArray(1, influence), values, normalize);
    DebugCheckStatus(status, nullptr);
}

void PreNormalize(KQoxGeometry* geometry)
{
    if (!geometry)
        return;
    const int count = geometry->GetControlPointsCount();
    if (count <= 0)
        return;
    // The weights each point holds in the eligible links, in link order and
    // then index order: one pass instead of a scan of every link per point.
    std::vector<std::vector<double*>> records(static_cast<size_t>(count));
    bool eligible = false;
    for (int l = 0; l < geometry->GetLinkCount(); ++l)
    {
        KQoxLink* link = geometry->GetLink(l);
        if (!link || !link->GetLink() || link->GetLinkMode() == KQoxLink::eADDITIVE)
            continue;
        if (link->GetLinkMode() != 0 && link->GetLinkMode() != KQoxLink::eTOTAL1)
            continue;
        eligible = true;
        const int* indices = link->GetControlPointIndices();
        double* weights = link->GetControlPointWeights();
        for (int k = 0; k < link->GetControlPointIndicesCount(); ++k)
            if (indices[k] >= 0 && indices[k] < count)
                records[static_cast<size_t>(indices[k])].push_back(&weights[k]);
    }
    QoxZeltProgressMeter progress;
    for (int p = 0; p < count; ++p)
    {
        char text[64];
        std::snprintf(text, sizeof(text), "Preparing...%d %%", static_cast<int>(p * 100.0 / count) + 1);
        progress.Activate(text);
        if (!eligible)
            continue;
        std::vector<double*>& weights = records[static_cast<size_t>(p)];
        if (weights.size() == 1)
        {
            if (*weights[0] > 0.0 && *weights[0] < 1.0)
                *weights[0] = 1.0;
        }
        else if (weights.size() > 1)
        {
            double sum = 0.0;
            for (double* w : weights)
                sum += *w;
            if (sum != 0.0)
                for (double* w : weights)
                    *w /= sum;
        }
    }
}

int DoublePartition(int* indices, double* weights, int low, int high)
{
    const int pivot = indices[low];
    int i = low - 1;
    int j = high + 1;
    for (;;)
    {
        do
            --j;
        while (indices[j] > pivot);
        do
            ++i;
        while (indices[i] < pivot);
        if (i >= j)
            return j;
        std::swap(indices[i], indices[j]);
        std::swap(weights[i], weights[j]);
    }
}

void DoubleQuickSort(int* indices, double* weights, int low, int high)
{
    // The smaller part by recursion, the larger by the loop: the stack stays
    // logarithmic whatever the order of the input.
    while (low < high)
    {
        const int p = DoublePartition(indices, weights, low, high);
        if (p - low < high - p)
        {
            DoubleQuickSort(indices, weights, low, p);
            low = p + 1;
        }
        else
        {
            DoubleQuickSort(indices, weights, p + 1, high);
            high = p;
        }
    }
}

std::string FormatLf(double value)
{
    return KDoubleText(value, 'f', 6);
}
