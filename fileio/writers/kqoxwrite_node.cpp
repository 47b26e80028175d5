// Version-6 writer: scene nodes with their properties, pivots and limits,
// and the connections that name their targets.

#include <cmath>
#include <utility>

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"

namespace qoxsdk_600 {

using namespace qoxnative;

namespace {

// A vector other than (+0, +0, +0, +0), bit for bit: -0 and NaN are kept too.
bool HoldsSomething(const KQoxVector4& vector)
{
    for (int k = 0; k < 4; ++k)
    {
        const double value = vector[k];
        if (value != 0.0 || std::signbit(value))
            return true;
    }
    return false;
}

} // namespace

void KQoxWrite6::WriteTargetVectors(KQoxNode& node)
{
    // Left out when unset, so files of nodes that aim at nothing stay as
    // earlier writers made them.
    const std::pair<const char*, KQoxVector4> vectors[] = {{kPostTargetRotation, node.GetPostTargetRotation()},
                                                           {kTargetUpVector, node.GetTargetUpVector()}};
    for (const auto& vector : vectors)
    {
        if (!HoldsSomething(vector.second))
            continue;
        const double values[4] = {vector.second[0], vector.second[1], vector.second[2], vector.second[3]};
        Doubles(vector.first, values, 4);
    }
}

void KQoxWrite6::WriteSurfaceOrMesh(KQoxGeometry& geometry)
{
    KQoxNurb* nurb =
        geometry.GetAttributeType() == KQoxNodeAttribute::eNURB ? static_cast<KQoxNurb*>(&geometry) : nullptr;
    if (!nurb || (!nurb->GetApplyFlipUV() && !nurb->GetApplyFlipLinks()))
    {
        WriteGeometry(geometry);
        return;
    }
    // A surface whose flip flags are set is written flipped: a flipped copy
    // (the flags cleared, so no reader flips it again) goes in its place.
    KQoxGeometryConverter converter(mScene.mManager);
    KQoxNurb* flipped = converter.FlipNurb(nurb, nurb->GetApplyFlipUV(), nurb->GetApplyFlipLinks());
    if (!flipped)
    {
        WriteGeometry(geometry);
        return;
    }
    flipped->SetApplyFlipUV(false);
    flipped->SetApplyFlipLinks(false);
    WriteGeometry(*flipped);
    mScene.mManager.DestroyKQoxNodeAttribute(flipped);
}

void KQoxWrite6::WriteNode(KQoxNode& node)
{
    // The pivot sets and limits live in working records; the properties are
    // what the file keeps.
    node.UpdatePropertiesFromPivotsAndLimits();
    mFile.FieldWriteBegin(kModel);
    mFile.FieldWriteC(node.GetName());
    // The attribute's kind; its data follow the node's own fields.
    KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(node.GetNodeAttribute());
    mFile.FieldWriteC(geometry ? GeometryKindText(geometry->GetAttributeType()) : "");
    mFile.FieldWriteBlockBegin();
    ObjectHeader(node, node.GetPropertyHandler(), kModelVersion);
    Int(kMultiLayer, node.GetMultiLayer() ? 1 : 0);
    Int(kMultiTake, node.GetMultiTakeMode());
    int shading = node.GetShadingMode();
    if (shading > 0 && shading < static_cast<int>(sizeof(kShadingLetters)))
    {
        mFile.FieldWriteBegin(kShading);
        mFile.FieldWriteCH(kShadingLetters[shading]);
        mFile.FieldWriteEnd();
    }
    int culling = node.GetCullingType();
    Text(kCulling, kCullingTokens[culling >= 0 && culling < 3 ? culling : 0]);
    EPivotState state;
    node.GetPivotState(eSOURCE_SET, state);
    Int(kPivotEnabled, state == ePIVOT_STATE_ACTIVE ? 1 : 0);
    WriteTargetVectors(node);
    if (geometry)
        WriteSurfaceOrMesh(*geometry);
    else if (KQoxNodeAttribute* attribute = node.GetNodeAttribute())
        WriteAttribute(*attribute);
    WriteDefaults(node);
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteTargetConnections()
{
    // One connection per node and kind: the target the node lists first
    // (the one it aims at). A target the file holds no node for, or the
    // node itself, cannot be named: it is counted as left out.
    const std::pair<const char*, KQoxNode* (KQoxNode::*)() const> kinds[] = {{kLookAtOf, &KQoxNode::GetTarget},
                                                                             {kUpVectorOf, &KQoxNode::GetTargetUp}};
    for (size_t i = 0; i < mNodes.size(); ++i)
        for (const auto& kind : kinds)
        {
            KQoxNode* target = (mNodes[i]->*kind.second)();
            if (!target)
                continue;
            auto found = mNodeIndex.find(target);
            if (found == mNodeIndex.end() || target == mNodes[i])
            {
                ++mTargetsLeftOut;
                continue;
            }
            mFile.FieldWriteBegin(kConnect);
            mFile.FieldWriteC(kind.first);
            mFile.FieldWriteI(static_cast<int>(i));
            mFile.FieldWriteI(found->second);
            mFile.FieldWriteEnd();
        }
}

} // namespace qoxsdk_600
