// Native reader: scene nodes with their properties, pivots and limits, and
// the connections that build the hierarchy and name the nodes' targets.

#include <cstring>
#include <string>

#include "fileio/kqoxattribute_private.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxread_nodefill_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace qoxnative;

namespace {

int ShadingFromLetter(char letter)
{
    for (int mode = 1; mode < static_cast<int>(sizeof(kShadingLetters)); ++mode)
        if (kShadingLetters[mode] == letter)
            return mode;
    return KQoxNode::eLIGHT_SHADING;
}

int CullingFromToken(const char* token)
{
    for (int type = 0; type < 3; ++type)
        if (std::strcmp(kCullingTokens[type], token) == 0)
            return type;
    return KQoxNode::eCULLING_OFF;
}

} // namespace

void KQoxRead6::ReadNode(int record)
{
    if (!mFile.FieldReadBegin(kModel))
        return;
    // Short texts: kept without a heap copy.
    const std::string name(mFile.FieldReadC());
    const std::string kind(mFile.FieldReadC());
    KQoxNode* node = mScene.mManager.CreateKQoxNode(name.c_str());
    if (!node)
    {
        mFile.FieldReadEnd();
        return;
    }
    mNodes.push_back(node);
    const bool geometry = IsGeometryKindText(kind.c_str());
    // A block a scout found plain is not entered here at all.
    bool plain = false;
    const bool scouted = mNodeFill && !geometry && mNodeFill->Scouted(record, *node, plain);
    if (scouted && plain)
    {
        mFile.FieldReadEnd();
        mNodeFill->Add(record, node);
        return;
    }
    // -1: no field (older files), the state follows the properties read.
    int pivotEnabled = -1;
    if (mFile.FieldReadBlockBegin())
    {
        if (mNodeFill && !geometry && !scouted && NodeBlockIsPlain(mFile, *node))
        {
            mFile.FieldReadBlockEnd();
            mFile.FieldReadEnd();
            mNodeFill->Add(record, node);
            return;
        }
        // User properties, the attribute (it adds its channels), the Default
        // take's static values, then the property values: their full
        // precision wins over the curves' own.
        ReadUserProperties(*node, node->GetPropertyHandler());
        if (geometry)
            ReadGeometry(*node, kind.c_str());
        else
            ReadAttribute(*node);
        ReadNodeBlock(mFile, *node, pivotEnabled);
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    FinishNode(*node, pivotEnabled);
}

bool KQoxRead6::NodeBlockIsPlain(KQox& file, KQoxNode& node)
{
    return file.FieldReadGetCount(kNodeAttribute) == 0 && UserPropertiesKnown(file, node, node.GetPropertyHandler());
}

void KQoxRead6::ReadNodeBlock(IQoxObject& file, KQoxNode& node, int& pivotEnabled)
{
    ReadDefaults(file, node);
    if (Ok(file))
        file.FieldReadPropertiesList(*node.GetPropertyHandler());
    node.SetMultiLayer(file.FieldReadI(kMultiLayer, 0) != 0);
    node.SetMultiTakeMode(file.FieldReadI(kMultiTake, 0) != 0 ? KQoxNode::eMULTI_TAKE : KQoxNode::eNO_MULTI_TAKE);
    // The writer leaves the field out for hard shading (mode 0).
    char shading = file.FieldReadCH(kShading, 0);
    node.SetShadingMode(
        static_cast<KQoxNode::EShadingMode>(shading ? ShadingFromLetter(shading) : KQoxNode::eHARD_SHADING));
    node.SetCullingType(CullingFromToken(file.FieldReadC(kCulling, kCullingTokens[0])));
    pivotEnabled = file.FieldReadI(kPivotEnabled, -1);
    KQoxVector4 vector;
    if (ReadFour(file, kPostTargetRotation, vector))
        node.SetPostTargetRotation(vector);
    if (ReadFour(file, kTargetUpVector, vector))
        node.SetTargetUpVector(vector);
}

void KQoxRead6::FinishNode(KQoxNode& node, int pivotEnabled)
{
    // The working records and the Default take follow the properties read.
    // The stored state wins over the one the properties suggest: a set may
    // be active with every pivot neutral, or kept for reference only.
    node.UpdatePivotsAndLimitsFromProperties();
    if (pivotEnabled == 0)
        node.SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
    else if (pivotEnabled > 0)
        node.SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    node.UpdateDefaultTakeFromProperties();
}

void KQoxRead6::ReadConnections()
{
    const int count = static_cast<int>(mNodes.size());
    // Parent of each node; -1 the root. The writer lists parents before
    // their children, so a parent's index is below its child's: anything
    // else (unknown nodes, a node connected twice, a cycle) is damage.
    std::vector<int> parentOf(mNodes.size(), -1);
    std::vector<bool> connected(mNodes.size(), false);
    // Each node's look-at and up-vector target (-1: none), set once every
    // connection has been checked.
    std::vector<int> lookAt(mNodes.size(), -1), upVector(mNodes.size(), -1);
    while (Ok() && mFile.FieldReadBegin(kConnect))
    {
        // Kinds are short: kept without a heap copy.
        const std::string kind(mFile.FieldReadC());
        int child = mFile.FieldReadI();
        int parent = mFile.FieldReadI();
        mFile.FieldReadEnd();
        if (kind != kObjectObject)
        {
            // Kinds this reader does not know are passed over.
            const bool deformer = kind == kSkinOf || kind == kClusterOf || kind == kBoneOf || kind == kAssociateOf;
            const bool target = kind == kLookAtOf || kind == kUpVectorOf;
            if ((deformer && !ReadDeformerConnection(kind.c_str(), child, parent)) ||
                (target && !ReadTargetConnection(kind == kLookAtOf ? lookAt : upVector, child, parent)))
            {
                mCorrupted = true;
                return;
            }
            continue;
        }
        if (child < 0 || child >= count || parent < -1 || parent >= child || connected[static_cast<size_t>(child)])
        {
            mCorrupted = true;
            return;
        }
        parentOf[static_cast<size_t>(child)] = parent;
        connected[static_cast<size_t>(child)] = true;
    }
    // Nodes attached in file order, parents before their children, so that
    // each attachment hangs a node with no children yet: it is built as a
    // scene is built node by node (nodes of one name may share a subtree),
    // in time linear in its size, however deep.
    for (int child = 0; child < count && Ok(); ++child)
    {
        const int parent = parentOf[static_cast<size_t>(child)];
        KQoxNode* parentNode = parent < 0 ? mScene.mRoot : mNodes[static_cast<size_t>(parent)];
        if (!parentNode->AddChild(mNodes[static_cast<size_t>(child)]))
            mCorrupted = true;
    }
    for (size_t i = 0; i < mNodes.size() && Ok(); ++i)
    {
        if (lookAt[i] >= 0)
            mNodes[i]->SetTarget(mNodes[static_cast<size_t>(lookAt[i])]);
        if (upVector[i] >= 0)
            mNodes[i]->SetTargetUp(mNodes[static_cast<size_t>(upVector[i])]);
    }
}

bool KQoxRead6::ReadTargetConnection(std::vector<int>& targets, int node, int target)
{
    // Both among the nodes read, a node aiming at another, once per kind.
    const int count = static_cast<int>(targets.size());
    if (node < 0 || node >= count || target < 0 || target >= count || target == node ||
        targets[static_cast<size_t>(node)] >= 0)
        return false;
    targets[static_cast<size_t>(node)] = target;
    return true;
}

} // namespace qoxsdk_600
