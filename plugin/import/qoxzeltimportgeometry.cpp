// Geometry dispatch: the host object of one scene node, in the node's host
// namespace, ancestors first; and the three simplest creators, skeletons,
// nulls and joints.
#include "host/zglobal.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltutility.h"
#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/kqoxnode.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

namespace {

// The "pelbrinTypeID" tag of each skeleton type (0 Root, 1 Limb, 2 LimbNode, 3).
const int kSkeletonTags[] = {2, 4, 5, 3};

ZStatus Run(const std::string& text)
{
    return ZGlobal::executeCommand(ZString(text), false, false);
}

ZStatus Run(const std::string& text, ZStringArray& result)
{
    return ZGlobal::executeCommand(ZString(text), result, false, false);
}

// The host's current namespace becomes the node's; the namespace is added
// first when the host lacks it and the node allows it.
void SetNodeNamespace(QoxZeltNode& node)
{
    const std::string ns = node.mNameSpace.ToChars();
    if (ns.empty())
    {
        Run("namespace -set \":\"");
        return;
    }
    ZStringArray listed;
    Run("namespaceInfo -lon", listed);
    bool known = false;
    for (unsigned i = 0; i < listed.length() && !known; ++i)
        known = listed[i].str() == ns;
    if (node.mAddNameSpace && !known)
        Run("namespace -add \"" + ns + "\"");
    ZStringArray current;
    Run("namespaceInfo -currentNamespace", current);
    if (current.length() == 0 || current[0].str() != ns)
    {
        Run("namespace -set \":\"");
        Run("namespace -set \"" + ns + "\"");
    }
}

// A Root skeleton is a joint when a direct child is a Limb or LimbNode skeleton.
bool HasLimbChild(KQoxNode& node)
{
    for (int i = 0; i < node.GetChildCount(false); ++i)
    {
        KQoxSkeleton* skeleton = node.GetChild(i)->GetSkeleton();
        if (skeleton && (skeleton->GetSkeletonType() == KQoxSkeleton::eLIMB ||
                         skeleton->GetSkeletonType() == KQoxSkeleton::eLIMB_NODE))
            return true;
    }
    return false;
}

} // namespace

ZStatus QoxZeltImport::ImportGeometry(QoxZeltNode* node)
{
    if (!node || node->GetDagPath())
        return ZStatus();
    // Ancestors first, up to the scene's root, which stands for the world.
    QoxZeltNode* parent = ParentOf(node);
    if (parent && parent != mRootNode && !parent->GetDagPath())
        ImportGeometry(parent);
    SetNodeNamespace(*node);
    if (IsExcludedQoxRoot(node))
        return ZStatus();

    if (!node->GetNodeAttribute())
    {
        if (AttributeType(parent) == eSKELETON)
            CreateSkeletonGeometry(*node, 3);
        else
            CreateNullGeometry(node);
        return ZStatus();
    }
    switch (AttributeType(node))
    {
    case eSKELETON: CreateSkeletonGeometry(*node, -1); break;
    case eMESH: CreateMeshGeometry(node); break;
    case eNURBS: CreateNurbGeometry(node); break;
    case ePATCH:
    {
        KQoxGeometryConverter* converter = mManager.CreateKQoxGeometryConverter();
        if (converter && converter->ConvertPatchToNurbInPlace(node))
            CreateNurbGeometry(node);
        mManager.DestroyKQoxGeometryConverter(converter);
        break;
    }
    case eCAMERA: CreateCameraGeometry(*node); break;
    case eLIGHT: CreateLightGeometry(*node); break;
    default:
        if (!IsCameraGroup(node))
            CreateNullGeometry(node);
        break;
    }
    return ZStatus();
}

void QoxZeltImport::CreateSkeletonGeometry(QoxZeltNode& node, int type)
{
    if (type == -1)
    {
        KQoxSkeleton* skeleton = node.GetSkeleton();
        type = skeleton ? static_cast<int>(skeleton->GetSkeletonType()) : -1;
    }
    if (type == 0 && !HasLimbChild(node))
        CreateNullGeometry(&node);
    else
        CreateJointGeometry(&node);
    if (type >= 0 && type <= 3 && node.GetDagPath())
    {
        ZObject object = node.GetDagPath()->node();
        FMSetPelbrinID(object, kSkeletonTags[type]);
    }
}

ZObject QoxZeltImport::CreateNullGeometry(QoxZeltNode* node)
{
    KString name = ShortName(node);
    if (name == "RootNode")
        return ZObject();
    ZStatus st;
    ZFnTransform transform;
    ZObject object = transform.create(HostParentObject(node), &st);
    if (!st)
    {
        // Nothing was made: the node stays uncreated.
        st.perror("Cannot create Null");
        return ZObject();
    }
    NameAndRecordHostNode(transform, node);
    AddUserProperties(transform, node);
    ZFnDagNode locator;
    return locator.create("locator", object);
}

void QoxZeltImport::CreateJointGeometry(QoxZeltNode* node)
{
    QoxZeltNode* parent = ParentOf(node);
    ZObject parentObject = parent && parent->GetDagPath() ? parent->GetDagPath()->node() : ZDagPath().node();
    ZStatus st;
    ZFnIkJoint joint;
    joint.create(parentObject, &st);
    if (!st)
    {
        st.perror("Cannot create Ik joint");
        return;
    }
    NameAndRecordHostNode(joint, node);
    AddUserProperties(joint, node);
}
