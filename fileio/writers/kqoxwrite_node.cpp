// Version-6 writer: scene nodes with their properties, pivots and limits.

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WriteNode(KQoxNode& node)
{
    // The pivot sets and limits live in working records; the properties are
    // what the file keeps.
    node.UpdatePropertiesFromPivotsAndLimits();
    mFile.FieldWriteBegin(kModel);
    mFile.FieldWriteC(node.GetName());
    // The attribute's kind; its data follow the node's own fields.
    KQoxMesh* mesh = dynamic_cast<KQoxMesh*>(node.GetNodeAttribute());
    mFile.FieldWriteC(mesh ? "Mesh" : "");
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
    if (mesh)
        WriteMesh(*mesh);
    else if (KQoxNodeAttribute* attribute = node.GetNodeAttribute())
        WriteAttribute(*attribute);
    WriteDefaults(node);
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
