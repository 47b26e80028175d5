// The deformation step of the import: each geometry's skin links sorted into
// weighted clusters, one rigid bind and one smooth skin, and the rigid bind.
#include "base/qoxlogfile.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltdeformations.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltutility.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlink.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

const char* const kClusterHintId = "Zelt_ClusterHint";
const char* const kRigidBindHint = "RigidBind";
const char* const kCompensationHint = "CompensationCluster";
const char* const kRelativeClusterHint = "WeightedRelativeCluster";

namespace {

const char kNonJointHeading[] = "The following DAG nodes influence the skin in the source QOX file but because they "
                                "are not of type Joint, they are ignored:";
const char kNonJointEnd[] = "The resulting skin operation may produce errors.";
const char kNonJointIndent[] = "        ";
// Two characters: the message travels inside a host command.
const char kBreak[] = "\\n";
const int kNamesPerLine = 3;

// The link's node is parented under the link's associate model.
bool ParentIsAssociateModel(KQoxLink* link)
{
    KQoxNode* model = link->GetAssociateModel();
    return model && link->GetLink()->GetParent() == model;
}

// Where a mode-1 link goes, by its cluster hint: 0 weighted, 1 rigid, -1 dropped.
int AdditiveLinkKind(KQoxLink* link)
{
    const KString hint = link->GetUserData(KString(kClusterHintId));
    if (hint.IsEmpty())
        return ParentIsAssociateModel(link) || IsJoint(link->GetLink()) ? 1 : 0;
    if (hint == kRigidBindHint)
        return 1;
    if (hint == kCompensationHint)
        return -1;
    if (!ParentIsAssociateModel(link))
        return 0;
    link->SetUserData(KString(kClusterHintId), KString(kRigidBindHint));
    return 1;
}

// Tells the user which non-joint influences a smooth skin left out.
void WarnNonJoints(KArrayTemplate<KQoxLink*>& nonJoints, QoxLogFile* log)
{
    KString message(kNonJointHeading);
    message += kBreak;
    message += kBreak;
    LogLine(log, kNonJointHeading);
    const int count = nonJoints.GetCount();
    // One line more than the names need, holding the indent only.
    for (int start = 0; start < count + kNamesPerLine; start += kNamesPerLine)
    {
        message += kNonJointIndent;
        for (int k = start; k < start + kNamesPerLine && k < count; ++k)
        {
            const KString name = ShortName(nonJoints[k]->GetLink());
            message += name;
            if (k != count - 1)
                message += ", ";
            LogLine(log, name.ToChars());
        }
        message += kBreak;
    }
    message += kBreak;
    message += kNonJointEnd;
    message += kBreak;
    LogLine(log, kNonJointEnd);
    ImportDialog("QOX import error", message);
}

} // namespace

void QoxZeltImport::BuildClusterInformation(QoxZeltNode* node)
{
    if (!node)
        return;
    for (int i = node->GetChildCount(false) - 1; i >= 0; --i)
        BuildClusterInformation(static_cast<QoxZeltNode*>(node->GetChild(i)));

    KQoxGeometry* geometry = static_cast<KQoxGeometry*>(node->GetGeometry());
    if (!geometry || node->mMatchedByMerge || geometry->GetLinkCount() == 0)
        return;
    ZDagPath* path = node->GetDagPath();
    if (!path || !path->isValid())
        return;

    QoxZeltProgressMeter progress;
    progress.Activate(ShortName(node).ToChars());
    KArrayTemplate<KQoxLink*> weighted, rigid, smooth, nonJoints;
    for (int i = 0; i < geometry->GetLinkCount(); ++i)
    {
        KQoxLink* link = geometry->GetLink(i);
        if (!link || !link->GetLink())
            continue;
        switch (link->GetLinkMode())
        {
        case 0:
        case KQoxLink::eTOTAL1: (IsJoint(link->GetLink()) ? smooth : nonJoints).Add(link); break;
        case KQoxLink::eADDITIVE:
        {
            const int kind = AdditiveLinkKind(link);
            if (kind >= 0)
                (kind == 1 ? rigid : weighted).Add(link);
            break;
        }
        default: break;
        }
    }
    progress.Activate("This may take a while. Please wait!");
    if (weighted.GetCount() > 0)
        BuildWeightedDeformers(node, mLog.get(), &mManager, &weighted);
    if (rigid.GetCount() > 0)
        BuildRigidBinding(node, mLog.get(), &mManager, &rigid);
    if (smooth.GetCount() > 0)
    {
        BuildSmoothBinding(node, mLog.get(), &mManager, &smooth);
        if (nonJoints.GetCount() > 0)
            WarnNonJoints(nonJoints, mLog.get());
    }
}

void QoxZeltImport::BuildRigidBinding(QoxZeltNode* node, QoxLogFile* log, KQoxSdkManager*,
                                      KArrayTemplate<KQoxLink*>* links)
{
    if (!node || !links || links->GetCount() == 0 || !node->GetDagPath())
        return;
    QoxZeltProgressMeter progress;
    progress.Activate(ShortName(node).ToChars());
    ZStatus status;
    node->GetDagPath()->node(&status);
    DebugCheckStatus(status, nullptr);

    ZStringArray result;
    ZGlobal::executeCommand("select -cl", result, false, false);
    std::string bones = "select -tgl ";
    for (int i = 0; i < links->GetCount(); ++i)
    {
        QoxZeltNode* bone = (*links)[i] ? static_cast<QoxZeltNode*>((*links)[i]->GetLink()) : nullptr;
        if (!bone || !bone->GetDagPath())
        {
            const KString text = KString("Rigid binding of ") + ShortName(node) + ": the influence " +
                                 (bone ? ShortName(bone) : KString("(none)")) + " has no host node; it is left out.";
            LogLine(log, text.ToChars());
            continue;
        }
        bones += bone->GetDagPath()->fullPathName().asChar();
        bones += " ";
    }
    ZGlobal::executeCommand(ZString(bones), result, false, false);
    ZGlobal::executeCommand(ZString(std::string("select -tgl ") + node->GetDagPath()->fullPathName().asChar()), result,
                            false, false);
    ZGlobal::executeCommand("newBindSkin \"-byClosestPoint -toSelectedBones\"", result, false, false);
    ZGlobal::executeCommand("select -cl", result, false, false);
}
