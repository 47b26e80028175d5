#include "plugin/import/qoxzeltmergenodematcher.h"

#include <cstring>
#include <vector>

#include "host/zfn.h"
#include "plugin/import/qoxzeltnameclashtable.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltsdkmanager.h"
#include "plugin/qoxzeltutility.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpath.h"
#include "scene/kqoxpluginbase.h"
#include "scene/kqoxuserproperty.h"
#include "scene/kqoxnodeattribute.h"

using namespace qoxsdk_600;

namespace {

const int kCameraAttribute = 7;
const int kLightAttribute = 9;
const char* const kRootNodeName = "Model::RootNode";
// Tried after the plain name: the label followed by 1 to this.
const int kMaxNameSuffix = 10;

// The host node's short name, namespaces included ("" when it has none).
KString HostName(const ZObject& node)
{
    ZFnDependencyNode fn(node);
    return KString(fn.name().asChar());
}

// The text after the last ":".
KString WithoutHostNameSpaces(const KString& name)
{
    const int colon = name.ReverseFind(':');
    return colon < 0 ? name : name.Mid(static_cast<unsigned int>(colon + 1));
}

// Every space made an underscore: the host's attribute name for a label.
KString AttributeName(const KString& label)
{
    return KString(QoxZeltUtility::Replace(label.ToChars(), " ", "_").c_str());
}

// The node's attribute type, 0 without one.
int AttributeType(KQoxNode* node)
{
    KQoxNodeAttribute* attribute = node->GetNodeAttribute();
    return attribute ? attribute->GetAttributeType() : 0;
}

} // namespace

ZStatus QoxZeltMergeNodeMatcher::Apply(KQoxNode* root, ZFn::Type filter)
{
    QoxNameClashTable clashes(root);
    for (ZItDag it(ZItDag::kDepthFirst, filter); !it.isDone(); it.next())
    {
        ZDagPath path;
        it.getPath(path);
        const KString hostName(ZFnDagNode(path).name().asChar());
        // Only the first ":" splits: a:b:c is b:c in namespace a.
        const int colon = hostName.Find(':');
        const KString prefix = colon < 0 ? KString("") : hostName.Left(static_cast<unsigned int>(colon));
        const KString name = colon < 0 ? hostName : hostName.Mid(static_cast<unsigned int>(colon + 1));

        QoxZeltNode* candidate = nullptr;
        bool foundByName = false;
        if (QoxNameClashTable::Clash* clash = clashes.Find(name.ToChars()))
        {
            for (int i = 0; i < clash->mNodes.GetCount() && !candidate; ++i)
            {
                QoxZeltNode* node = static_cast<QoxZeltNode*>(clash->mNodes[i]);
                if (FindPathEquivalent(node, path) && node->mNameSpace == prefix)
                    candidate = node;
            }
        }
        else
        {
            QoxZeltNode* node = static_cast<QoxZeltNode*>(mManager.FindKQoxNode(name.ToChars(), 0));
            if (node && node->mNameSpace == prefix)
            {
                candidate = node;
                foundByName = true;
            }
        }
        if (!candidate || IsHalvekPatch(path, candidate, mPluginBase))
            continue;
        // A unique name keeps the first host path that took it.
        if (foundByName && candidate->GetDagPath())
            continue;

        candidate->SetDagPath(&path);
        candidate->mMatchedByMerge = true;
        if (!candidate->GetNodeAttribute())
            continue;
        const int type = AttributeType(candidate);
        if (type == kCameraAttribute)
        {
            ZObject shape = ZFnCamera(path).object();
            candidate->SetShapeObject(&shape);
        }
        else if (type == kLightAttribute)
        {
            ZObject shape = ZFnLight(path).object();
            candidate->SetShapeObject(&shape);
        }
        ResolveUserPropertyNames(candidate);
    }
    return ZStatus();
}

bool QoxZeltMergeNodeMatcher::FindPathEquivalent(KQoxNode* node, ZDagPath& path)
{
    KQoxPath sdkPath(node);
    ZDagPathArray instances;
    ZDagPath::getAllPathsTo(path.node(), instances);
    for (unsigned i = 0; i < instances.length(); ++i)
        if (ComparePath(sdkPath, instances[i]))
            return true;
    return false;
}

bool QoxZeltMergeNodeMatcher::ComparePath(KQoxPath& sdkPath, ZDagPath path)
{
    const int depth = sdkPath.GetParentCount();
    if (depth != static_cast<int>(path.length()))
        return false;
    const char* top = sdkPath.GetParentNodeName(0);
    const int first = top && std::strcmp(top, kRootNodeName) == 0 ? 1 : 0;
    for (int i = depth - 1; i >= first; --i)
    {
        path.pop(1);
        KQoxNode* ancestor = sdkPath.GetParentNode(i);
        if (!ancestor)
            return false;
        const KString sdkName = ancestor->GetNameWithoutNameSpacePrefix();
        const KString hostName = WithoutHostNameSpaces(HostName(path.node()));
        if (std::strcmp(sdkName.ToChars(), hostName.ToChars()) != 0)
            return false;
    }
    return true;
}

void QoxZeltMergeNodeMatcher::ResolveUserPropertyNames(KQoxNode* sdkNode)
{
    QoxZeltNode* node = static_cast<QoxZeltNode*>(sdkNode);
    if (!node || !node->GetDagPath())
        return;
    ZFnTransform transform(*node->GetDagPath());
    std::vector<KQoxUserProperty*> pending;
    for (int i = 0; i < node->GetPropertyCount(); ++i)
    {
        KQoxUserProperty* property = node->GetProperty(i);
        if (!property || !property->GetFlag(KQoxUserProperty::eUSER))
            continue;
        const KString label = property->GetLabel(true);
        const KString candidate = AttributeName(label);
        ZStatus status;
        ZObject attribute = transform.attribute(ZString(candidate.ToChars()), &status);
        if (!status)
            pending.push_back(property);
        else if (UserPropertyTypesMatch(property, attribute))
            node->SetUserPropertyHostName(label.ToChars(), candidate.ToChars());
    }
    for (KQoxUserProperty* property : pending)
    {
        const KString label = property->GetLabel(true);
        for (int n = 1; n <= kMaxNameSuffix; ++n)
        {
            const KString candidate = AttributeName(label + KString(n));
            ZStatus status;
            ZObject attribute = transform.attribute(ZString(candidate.ToChars()), &status);
            if (!status)
                continue;
            if (UserPropertyTypesMatch(property, attribute))
                node->SetUserPropertyHostName(label.ToChars(), candidate.ToChars());
            break;
        }
    }
}

bool QoxZeltMergeNodeMatcher::UserPropertyTypesMatch(KQoxUserProperty* property, ZObject& attribute)
{
    ZStatus status;
    ZFnNumericAttribute numeric(attribute, &status);
    if (!status || !property)
        return false;
    const int sdkType = property->GetPropertyType();
    switch (numeric.unitType())
    {
    case ZFnNumericData::kBoolean: return sdkType == KQoxUserProperty::eBOOL;
    case ZFnNumericData::kByte:
    case ZFnNumericData::kChar:
    case ZFnNumericData::kShort:
    case ZFnNumericData::kLong: return sdkType == KQoxUserProperty::eINTEGER;
    case ZFnNumericData::kFloat:
    case ZFnNumericData::kDouble: return sdkType == KQoxUserProperty::eREAL;
    case ZFnNumericData::k3Float:
    case ZFnNumericData::k3Double: return sdkType == KQoxUserProperty::eCOLOR || sdkType == KQoxUserProperty::eVECTOR;
    default: return false;
    }
}

bool IsHalvekPatch(ZDagPath& path, QoxZeltNode* node, KQoxPluginBase* plugin)
{
    if (!node || !plugin || !plugin->IsQoxRootNode(node))
        return false;
    for (int i = 0; i < node->GetChildCount(false); ++i)
    {
        const KString childName = node->GetChild(i)->GetNameWithoutNameSpacePrefix();
        const unsigned hostChildren = path.childCount();
        for (unsigned j = 0; j < hostChildren; ++j)
            if (std::strcmp(childName.ToChars(), HostName(path.child(j)).ToChars()) == 0)
                return false;
    }
    return true;
}
