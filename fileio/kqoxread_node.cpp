// Native reader: scene nodes with their properties, pivots and limits, and
// the connections that build the hierarchy.

#include <cstring>

#include "fileio/kqoxnative_private.h"
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

void KQoxRead6::ReadNode()
{
    if (!mFile.FieldReadBegin(kModel))
        return;
    KString name(mFile.FieldReadC());
    KQoxNode* node = mScene.mManager.CreateKQoxNode(name.ToChars());
    if (!node)
    {
        mFile.FieldReadEnd();
        return;
    }
    mNodes.push_back(node);
    if (mFile.FieldReadBlockBegin())
    {
        ObjectHeader(*node, node->GetPropertyHandler());
        node->SetMultiLayer(mFile.FieldReadI(kMultiLayer, 0) != 0);
        node->SetMultiTakeMode(mFile.FieldReadI(kMultiTake, 0) != 0 ? KQoxNode::eMULTI_TAKE : KQoxNode::eNO_MULTI_TAKE);
        // The writer leaves the field out for hard shading (mode 0).
        char shading = mFile.FieldReadCH(kShading, 0);
        node->SetShadingMode(
            static_cast<KQoxNode::EShadingMode>(shading ? ShadingFromLetter(shading) : KQoxNode::eHARD_SHADING));
        node->SetCullingType(CullingFromToken(mFile.FieldReadC(kCulling, kCullingTokens[0])));
        if (mFile.FieldReadI(kPivotEnabled, 1) == 0)
            node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    // The working records and the Default take follow the properties read.
    node->UpdatePivotsAndLimitsFromProperties();
    node->UpdateDefaultTakeFromProperties();
}

void KQoxRead6::ReadConnections()
{
    const int count = static_cast<int>(mNodes.size());
    std::vector<bool> connected(mNodes.size(), false);
    while (Ok() && mFile.FieldReadBegin(kConnect))
    {
        KString kind(mFile.FieldReadC());
        int child = mFile.FieldReadI();
        int parent = mFile.FieldReadI();
        mFile.FieldReadEnd();
        if (std::strcmp(kind.ToChars(), kObjectObject) != 0)
            continue;
        // A hostile file may name nodes that do not exist, connect a node
        // twice or close a cycle: all damage.
        if (child < 0 || child >= count || parent < -1 || parent >= count || connected[static_cast<size_t>(child)])
        {
            mCorrupted = true;
            return;
        }
        KQoxNode* childNode = mNodes[static_cast<size_t>(child)];
        KQoxNode* parentNode = parent < 0 ? mScene.mRoot : mNodes[static_cast<size_t>(parent)];
        if (childNode->IsSelfOrAncestorOf(parentNode) || !parentNode->AddChild(childNode))
        {
            mCorrupted = true;
            return;
        }
        connected[static_cast<size_t>(child)] = true;
    }
    // Nodes without a connection hang under the root.
    for (int i = 0; i < count && Ok(); ++i)
        if (!connected[static_cast<size_t>(i)])
            mScene.mRoot->AddChild(mNodes[static_cast<size_t>(i)]);
}

} // namespace qoxsdk_600
