// Version-6 writer: scene nodes with their properties, pivots and limits.

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"

namespace qoxsdk_600 {

using namespace qoxnative;

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
    if (geometry)
        WriteSurfaceOrMesh(*geometry);
    else if (KQoxNodeAttribute* attribute = node.GetNodeAttribute())
        WriteAttribute(*attribute);
    WriteDefaults(node);
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
