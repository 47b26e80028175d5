// Weighted cluster deformers: one host cluster per link, with the link's
// bind-pre matrix, its points in the deformer set and its weights.
#include <cmath>
#include <string>

#include "base/qoxlogfile.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltdeformations.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltutility.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

namespace {

// Consecutive vertices whose weights differ by no more than this share one
// "percent" command.
const double kWeightTolerance = 0.00001;

ZStatus Run(const std::string& text, ZStringArray& result)
{
    return ZGlobal::executeCommand(ZString(text), result, false, false);
}

// The host object named, or the null object with failure.
ZStatus DependNodeByName(const ZString& name, ZObject& object)
{
    ZSelectionList list;
    ZStatus status = list.add(name);
    if (status)
        status = list.getDependNode(0, object);
    return status;
}

void LogSkip(QoxLogFile* log, KQoxNode* node, KQoxNode* linked, const char* reason)
{
    const KString text = KString("Cluster of ") + ShortName(node) + " on " +
                         (linked ? ShortName(linked) : KString("(none)")) + " skipped: " + reason;
    LogLine(log, text.ToChars());
}

// The cluster that stands for the linked node: an existing one when its host
// path leads to a cluster handle, else one made by the cluster command (the
// handle is then attached to the linked node). False when none can be had.
bool FindOrCreateCluster(QoxZeltNode* linked, KQoxLink* link, ZObject& cluster, ZStringArray& result)
{
    ZDagPath* linkedPath = linked->GetDagPath();
    if (linkedPath->hasFn(ZFn::kClusterHandle))
    {
        const std::string name = QoxZeltUtility::Replace(linked->mHostName.asChar(), " ", "_");
        ZStatus status = DependNodeByName(ZString(name), cluster);
        if (!status)
            status.perror("Cannot find cluster link.");
        return static_cast<bool>(status);
    }
    const std::string hostName = ZFnDependencyNode(linkedPath->node()).name().asChar();
    Run("select -cl", result);
    std::string command = std::string("cluster -n ") + ShortName(linked).ToChars();
    if (link->GetUserData().CompareNoCase(kRelativeClusterHint) == 0)
        command += " -rel ";
    command += " -bf -bs 1.0  -wn " + hostName + "  " + hostName;
    ZStatus status = Run(command, result);
    const ZString clusterName = status && result.length() > 0 ? result[0] : ZString();
    const ZString handleName = status && result.length() > 1 ? result[1] : ZString();
    bool found = static_cast<bool>(status = DependNodeByName(clusterName, cluster));
    if (!found)
        status.perror("Cannot create the cluster.");
    ZObject handle;
    ZDagPath handlePath;
    if (DependNodeByName(handleName, handle) && ZDagPath::getAPathTo(handle, handlePath))
    {
        linked->SetDagPath(&handlePath);
        linked->mHostName = clusterName;
    }
    return found;
}

// The deformer set the cluster's "message" feeds, when there is one.
bool DeformerSet(const ZObject& cluster, ZObject& set)
{
    ZFnDependencyNode fn(cluster);
    ZPlugArray plugs;
    fn.findPlug("message").connectedTo(plugs, false, true);
    if (plugs.length() == 0)
        return false;
    set = plugs[0].node();
    return set.hasFn(ZFn::kSet);
}

// The cluster's bind-pre matrix becomes the inverse of the link's transform-link matrix.
void SetBindPreMatrix(ZFnDependencyNode& cluster, KQoxLink* link)
{
    ZPlug plug;
    QoxZeltUtility::GetPlug(cluster, "bindPreMatrix", plug);
    KQoxXMatrix linkMatrix;
    link->GetTransformLinkMatrix(linkMatrix);
    KmAi(linkMatrix, linkMatrix);
    ZMatrix matrix;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            matrix.matrix[r][c] = linkMatrix.Get(r, c);
    ZObject data;
    plug.getValue(data);
    ZFnMatrixData fn;
    if (fn.setObject(data))
        fn.set(matrix);
    else
        data = fn.create(matrix);
    plug.setValue(data);
}

// Mesh vertices: all into the set with one call, then the weights in runs of
// consecutive indices of equal weight.
void WeightVertices(KQoxLink* link, ZFnSet& set, const std::string& cluster, const std::string& geometry,
                    ZStatus lastStatus, ZStringArray& result)
{
    QoxZeltProgressMeter progress;
    const int count = link->GetControlPointIndicesCount();
    const int* indices = link->GetControlPointIndices();
    const double* weights = link->GetControlPointWeights();
    ZSelectionList members;
    for (int k = 0; k < count && lastStatus; ++k)
    {
        members.add(ZString(geometry + ".vtx[" + std::to_string(indices[k]) + "]"));
        progress.Activate(nullptr);
    }
    ZStatus status = set.addMembers(members);
    if (!status)
    {
        DebugCheckStatus(status, "Cannot add deformed vertex in Cluster deformation list.");
        return;
    }
    for (int k = 0; k < count;)
    {
        std::string text = "percent -v " + FormatLf(weights[k]) + " " + cluster + "  " + geometry + ".vtx[" +
                           std::to_string(indices[k]);
        int last = k;
        while (last + 1 < count && indices[last + 1] == indices[last] + 1 &&
               std::fabs(weights[last + 1] - weights[last]) <= kWeightTolerance)
        {
            ++last;
            progress.Activate(nullptr);
        }
        text += last == k ? "]" : ":" + std::to_string(indices[last]) + "]";
        progress.Activate(nullptr);
        if (!Run(text, result))
            return;
        k = last + 1;
    }
}

// Control vertices one by one, with the seam-repeated ones of a surface the
// host built open where the file's is closed.
void WeightControlVertices(QoxZeltNode* node, KQoxNurb* surface, KQoxLink* link, ZFnSet& set,
                           const std::string& cluster, const std::string& geometry, ZStringArray& result)
{
    QoxZeltProgressMeter progress;
    const int uCount = surface->GetUCount();
    const int vCount = surface->GetVCount();
    const int uSeam = node->mUSeam ? static_cast<int>(surface->GetUOrder()) - 1 : 0;
    const int vSeam = node->mVSeam ? static_cast<int>(surface->GetVOrder()) - 1 : 0;
    const int* indices = link->GetControlPointIndices();
    const double* weights = link->GetControlPointWeights();
    for (int k = 0; k < link->GetControlPointIndicesCount(); ++k)
    {
        const unsigned index = static_cast<unsigned>(indices[k]);
        const int a = static_cast<int>(index / static_cast<unsigned>(uCount));
        const int b = static_cast<int>(index % static_cast<unsigned>(uCount));
        std::vector<std::pair<int, int>> pairs{{a, b}};
        if (b < uSeam)
            pairs.push_back({a, b + uCount});
        if (a < vSeam)
        {
            pairs.push_back({a + vCount, b});
            if (b < uSeam)
                pairs.push_back({a + vCount, b + uCount});
        }
        for (const auto& pair : pairs)
        {
            const std::string cv = ".cv[" + std::to_string(pair.first) + "][" + std::to_string(pair.second) + "]";
            ZSelectionList members;
            members.add(ZString(geometry + cv));
            ZStatus status = set.addMembers(members);
            if (!status)
                status.perror("Cannot create the CV cluster weight.");
            Run("percent -v " + FormatLf(weights[k]) + "  " + cluster + "  " + geometry + cv, result);
        }
        progress.Activate(nullptr);
    }
}

} // namespace

void QoxZeltImport::BuildWeightedDeformers(QoxZeltNode* node, QoxLogFile* log, KQoxSdkManager* manager,
                                           KArrayTemplate<KQoxLink*>* links)
{
    if (!node || !links || links->GetCount() == 0)
        return;
    QoxZeltProgressMeter progress;
    progress.Activate(ShortName(node).ToChars());
    ZDagPath* nodePath = node->GetDagPath();
    if (!nodePath)
        return;
    ZStatus status;
    nodePath->node(&status);
    DebugCheckStatus(status, nullptr);
    // Components are named by full path, as the smooth binding names them.
    const std::string geometry = nodePath->fullPathName().asChar();
    const int type = AttributeType(node);

    ZStringArray result;
    for (int position = 1; position <= links->GetCount(); ++position)
    {
        KQoxLink* link = (*links)[position - 1];
        if (!link)
            continue;
        Run("select -cl", result);
        QoxZeltNode* linked = static_cast<QoxZeltNode*>(link->GetLink());
        if (!linked || !linked->GetDagPath())
        {
            LogSkip(log, node, linked, "the linked node has no host node.");
            continue;
        }
        ZObject cluster;
        if (!FindOrCreateCluster(linked, link, cluster, result))
        {
            LogSkip(log, node, linked, "no cluster could be found or made.");
            continue;
        }
        ZObject setObject;
        if (!DeformerSet(cluster, setObject))
        {
            LogSkip(log, node, linked, "the cluster has no deformer set.");
            continue;
        }
        ZFnDependencyNode clusterFn(cluster);
        const std::string clusterName = clusterFn.name().asChar();
        const ZStatus selectStatus = Run("select -cl", result);
        SetBindPreMatrix(clusterFn, link);
        const std::string pass = "Pass " + std::to_string(position) + " of " + std::to_string(links->GetCount());
        progress.Activate(pass.c_str());

        ZFnSet set(setObject);
        if (type == eMESH)
        {
            WeightVertices(link, set, clusterName, geometry, selectStatus, result);
            continue;
        }
        if (type != eNURBS && type != ePATCH)
            continue;
        KQoxNurb* surface = nullptr;
        KQoxNurb* converted = nullptr;
        if (type == ePATCH)
        {
            KQoxGeometryConverter* converter = manager ? manager->CreateKQoxGeometryConverter() : nullptr;
            if (converter)
            {
                converted = converter->ConvertPatchToNurb(static_cast<KQoxPatch*>(node->GetGeometry()));
                manager->DestroyKQoxGeometryConverter(converter);
            }
            surface = converted;
            if (!surface)
            {
                LogSkip(log, node, linked, "the patch could not be made a NURBS surface.");
                continue;
            }
        }
        else
            surface = static_cast<KQoxNurb*>(node->GetGeometry());
        if (surface->GetUCount() <= 0 || surface->GetVCount() <= 0)
            LogSkip(log, node, linked, "its NURBS surface has no control point in U or in V.");
        else
        {
            ZStatus shapeStatus;
            ZFnNurbsSurface shape(nodePath->child(0), &shapeStatus);
            if (!shapeStatus)
                shapeStatus.perror("Cannot find NURBS.");
            WeightControlVertices(node, surface, link, set, clusterName, geometry, result);
        }
        if (converted)
            manager->DestroyKQoxNodeAttribute(converted);
    }
}
