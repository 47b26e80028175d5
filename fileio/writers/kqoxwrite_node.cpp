// Version-6 writer: scene nodes with their properties, pivots and limits.

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
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
    mFile.FieldWriteC(""); // attribute kind: none of the attribute kinds is stored yet
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
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
