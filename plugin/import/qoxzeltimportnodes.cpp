// Around the creation passes: the node name set, tree helpers, the geometry
// loop, the animation dispatch and the report of failed blend shapes.
#include <strings.h>
#include <unordered_map>
#include <utility>

#include "base/kfilecause.h"
#include "base/qoxlogfile.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltuserparams.h"
#include "plugin/qoxzeltutility.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeattribute.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

// ---------------------------------------------------------------------------
// Shared helpers

int qoxzeltimport::AttributeType(KQoxNode* node)
{
    KQoxNodeAttribute* attribute = node ? node->GetNodeAttribute() : nullptr;
    return attribute ? static_cast<int>(attribute->GetAttributeType()) : 0;
}

KString qoxzeltimport::ShortName(KQoxNode* node)
{
    return node ? node->GetNameWithoutNameSpacePrefix() : KString("");
}

QoxZeltNode* qoxzeltimport::ParentOf(KQoxNode* node)
{
    return node ? static_cast<QoxZeltNode*>(node->GetParent()) : nullptr;
}

ZObject qoxzeltimport::HostParentObject(KQoxNode* node)
{
    QoxZeltNode* parent = ParentOf(node);
    return parent && parent->GetDagPath() ? parent->GetDagPath()->node() : ZObject::kNullObj;
}

void qoxzeltimport::NameAndRecordHostNode(ZFnDagNode& fn, QoxZeltNode* node)
{
    fn.setName(ZString(ShortName(node).ToChars()));
    ZDagPath path;
    fn.getPath(path);
    node->SetDagPath(&path);
}

bool qoxzeltimport::ShowUI()
{
    return QoxZeltUserParams::Instance().GetBoolParam(QoxZeltUserParams::kImportShowUI);
}

void qoxzeltimport::ImportDialog(const char* title, const KString& message)
{
    if (!ShowUI())
        return;
    QoxZeltConfirmDialog dialog;
    dialog.Title(title);
    dialog.Message(message);
    dialog.Button(0, "Ok");
    dialog.Pop();
}

void qoxzeltimport::LogLine(QoxLogFile* log, const char* text)
{
    if (log)
        *log += KEscapeControls(text ? text : "").c_str();
}

namespace {

// Removes the entry that holds this node under its name; other nodes of the
// same name keep theirs.
void RemoveNodeEntry(KCharPtrSet& names, KQoxNode* node)
{
    for (int i = 0; i < names.GetCount(); ++i)
    {
        char* key = nullptr;
        kReference value = names.GetFromIndex(i, &key);
        if (value == reinterpret_cast<kReference>(node) && key && strcasecmp(key, node->GetName()) == 0)
        {
            names.RemoveFromIndex(i);
            return;
        }
    }
}

void RemoveSubtreeEntries(KCharPtrSet& names, KQoxNode* node)
{
    RemoveNodeEntry(names, node);
    for (int i = 0; i < node->GetChildCount(false); ++i)
        RemoveSubtreeEntries(names, node->GetChild(i));
}

} // namespace

// ---------------------------------------------------------------------------
// Tree helpers

void ExtractQoxNodes(QoxZeltNode* node, KArrayTemplate<QoxZeltNode*>& list)
{
    if (!node)
        return;
    list.Add(node);
    for (int i = 0; i < node->GetChildCount(false); ++i)
        ExtractQoxNodes(static_cast<QoxZeltNode*>(node->GetChild(i)), list);
}

void ReOrder(PoseRecordList& records, QoxZeltNode* root)
{
    if (records.size() == 1)
        return;
    // Each node's last record, then the nodes in pre-order: linear in the
    // tree and the records.
    std::unordered_map<QoxZeltNode*, size_t> last;
    for (size_t r = 0; r < records.size(); ++r)
        last[records[r]->mNode] = r;
    KArrayTemplate<QoxZeltNode*> nodes;
    ExtractQoxNodes(root, nodes);
    PoseRecordList ordered;
    for (int n = 0; n < nodes.GetCount(); ++n)
    {
        auto found = last.find(nodes[n]);
        if (found == last.end() || !records[found->second])
            continue;
        ordered.push_back(std::move(records[found->second]));
    }
    records = std::move(ordered);
}

bool IsJoint(KQoxNode* node)
{
    return AttributeType(node) == eSKELETON;
}

void ReplaceNullsUsedAsLinks(QoxZeltNode* node, QoxZeltSdkManager* manager)
{
    if (!node)
        return;
    if (KQoxGeometry* geometry = static_cast<KQoxGeometry*>(node->GetGeometry()))
        for (int i = 0; i < geometry->GetLinkCount(); ++i)
        {
            KQoxLink* link = geometry->GetLink(i);
            KQoxNode* influence = link ? link->GetLink() : nullptr;
            if (!influence || IsJoint(influence))
                continue;
            KQoxSkeleton* skeleton = manager->CreateKQoxSkeleton();
            influence->SetNodeAttribute(skeleton);
            skeleton->SetSkeletonType(KQoxSkeleton::eLIMB_NODE);
        }
    for (int i = 0; i < node->GetChildCount(false); ++i)
        ReplaceNullsUsedAsLinks(static_cast<QoxZeltNode*>(node->GetChild(i)), manager);
}

void CountNbQoxLinks(QoxZeltNode* node, int& count)
{
    if (!node)
        return;
    if (KQoxGeometry* geometry = static_cast<KQoxGeometry*>(node->GetGeometry()))
        count += geometry->GetLinkCount();
    for (int i = 0; i < node->GetChildCount(false); ++i)
        CountNbQoxLinks(static_cast<QoxZeltNode*>(node->GetChild(i)), count);
}

// ---------------------------------------------------------------------------
// The node name set

void QoxZeltImport::AddPelbrinNodeArray(KQoxNode* node)
{
    if (!node)
        return;
    mNodeNameSet.Add(node->GetName(), reinterpret_cast<kReference>(node));
    for (int i = 0; i < node->GetChildCount(false); ++i)
        AddPelbrinNodeArray(node->GetChild(i));
}

void QoxZeltImport::FillPelbrinNodeArray(KQoxNode* node)
{
    if (!node)
        return;
    for (int i = 0; i < node->GetChildCount(false); ++i)
        AddPelbrinNodeArray(node->GetChild(i));

    // The host's own cameras never take nodes from the file.
    KArrayTemplate<KQoxNode*> reserved;
    for (int i = 0; mRootNode && i < mRootNode->GetChildCount(false); ++i)
    {
        KQoxNode* child = mRootNode->GetChild(i);
        if (AttributeType(child) == eCAMERA && QoxZeltUtility::IsCameraNameReserved(ShortName(child).ToChars()))
            reserved.Add(child);
    }
    for (int i = 0; i < reserved.GetCount(); ++i)
    {
        RemoveSubtreeEntries(mNodeNameSet, reserved[i]);
        mRootNode->RemoveChild(reserved[i]);
        mManager.DestroyKQoxNode(reserved[i], true);
    }

    // Camera targets get no host object of their own.
    KArrayTemplate<KQoxNode*> targets;
    for (int i = 0; i < mNodeNameSet.GetCount(); ++i)
    {
        KQoxNode* entry = reinterpret_cast<KQoxNode*>(mNodeNameSet.GetFromIndex(i));
        if (AttributeType(entry) == eCAMERA && entry->GetTarget())
            targets.Add(entry->GetTarget());
    }
    for (int i = 0; i < targets.GetCount(); ++i)
        RemoveNodeEntry(mNodeNameSet, targets[i]);
}

// ---------------------------------------------------------------------------
// Dispatch

ZStatus QoxZeltImport::ImportGeometry()
{
    if (QoxZeltUserParams::Instance().GetImportType() != eEXCLUSIVE_MERGE)
    {
        QoxZeltProgressMeter progress;
        for (int i = 0; i < mNodeNameSet.GetCount(); ++i)
        {
            QoxZeltNode* node = reinterpret_cast<QoxZeltNode*>(mNodeNameSet.GetFromIndex(i));
            progress.Activate(ShortName(node).ToChars());
            ImportGeometry(node);
        }
    }
    ZGlobal::executeCommand("namespace -set \":\"", false, false);
    return ZStatus();
}

ZStatus QoxZeltImport::ImportAnimation(QoxZeltNode& node)
{
    ZDagPath* path = node.GetDagPath();
    if (path && path->isValid())
    {
        QoxZeltProgressMeter progress;
        progress.Activate(ShortName(&node).ToChars());
        switch (AttributeType(&node))
        {
        case eCAMERA:
        {
            ImportAnimationCamera(node);
            QoxZeltNode* group = ParentOf(&node);
            if (IsCameraGroup(group))
            {
                // The group's animation goes onto the host transform above the camera.
                ZStatus st;
                ZFnDagNode dagNode(*path, &st);
                ZObject parent;
                if (st)
                    parent = dagNode.parent(0, &st);
                ZFnTransform parentTransform;
                if (st)
                    st = parentTransform.setObject(parent);
                if (st)
                    ImportTransformAnimation(parentTransform, *group);
            }
            break;
        }
        case eMESH:
        case eNURBS:
        case ePATCH: ImportShapeAnimation(node); break;
        case eLIGHT: ImportAnimationLight(node); break;
        default: break;
        }
        ImportTransformAnimation(node);
        ImportAnimationVisibility(node);
        ImportUserProperties(node);
    }
    for (int i = 0; i < node.GetChildCount(false); ++i)
        ImportAnimation(*static_cast<QoxZeltNode*>(node.GetChild(i)));
    return ZStatus();
}

void QoxZeltImport::DisplayBlendShapeImportWarningDialog()
{
    const int count = mBlendShapeFailures.GetCount();
    if (count == 0)
        return;
    // Line breaks reach the dialog command as backslash-n.
    KString message("Import of blendshape animation failed for the following nodes:\n\n");
    LogLine(mLog.get(), "Import of blendshape animation failed for the following nodes:");
    for (int row = 0; row < count; row += 3)
    {
        message = message + "        ";
        for (int i = row; i < row + 3 && i < count; ++i)
        {
            KString name = ShortName(mBlendShapeFailures[i]);
            message = message + name;
            if (i != count - 1)
                message = message + ", ";
            LogLine(mLog.get(), name.ToChars());
        }
        message = message + "\n";
    }
    message = message + "\n" + "Make sure the animation function curves exist on these nodes.\n" +
              " (Make sure each blendshape have at least a key)\n";
    LogLine(mLog.get(), "Make sure the animation function curves exist on these nodes.");
    LogLine(mLog.get(), " (Make sure each blendshape have at least a key)");
    ImportDialog("QOX import error", message);
}
