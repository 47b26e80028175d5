// Version-6 writer: node attributes other than geometry (nulls, skeletons,
// markers, lights, cameras, camera switchers, optical references), and the
// static values of a node's Default take.

#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxattribute_private.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WriteAttribute(KQoxNodeAttribute& attribute)
{
    const int type = attribute.GetAttributeType();
    mFile.FieldWriteBegin(kNodeAttribute);
    mFile.FieldWriteI(type);
    mFile.FieldWriteBlockBegin();
    if (KObject* properties = AttributeProperties(&attribute))
        mFile.FieldWritePropertiesList(*properties);
    switch (type)
    {
    case KQoxNodeAttribute::eSKELETON:
        Int(kSkeletonType, static_cast<KQoxSkeleton&>(attribute).GetSkeletonType());
        break;
    case KQoxNodeAttribute::eMARKER: Int(kMarkerType, static_cast<KQoxMarker&>(attribute).GetType()); break;
    case KQoxNodeAttribute::eLIGHT:
    {
        KQoxLight& light = static_cast<KQoxLight&>(attribute);
        Int(kLightType, light.GetLightType());
        mFile.FieldWriteBegin(kLightFlags);
        for (bool flag : {light.GetCastLight(), light.GetGroundProjection(), light.GetVolumetricProjection(),
                          light.GetFrontVolumetricProjection()})
            mFile.FieldWriteI(flag ? 1 : 0);
        mFile.FieldWriteEnd();
        Text(kGoboFileName, light.GetFileName() ? light.GetFileName() : "");
        break;
    }
    case KQoxNodeAttribute::eCAMERA_SWITCHER:
    {
        KQoxCameraSwitcher& switcher = static_cast<KQoxCameraSwitcher&>(attribute);
        for (int i = 0; i < switcher.GetCameraNameCount(); ++i)
            Text(kCameraName, switcher.GetCameraName(static_cast<unsigned int>(i)));
        Int(kCameraIndex, switcher.GetDefaultCameraIndex());
        break;
    }
    default: break;
    }
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteDefaults(KQoxTakeNodeContainer& object)
{
    KQoxTakeNode* take = object.GetDefaultTakeNode();
    KFCurveNode* root = take ? take->GetKFCurveNode() : nullptr;
    if (!root || root->GetCount() == 0)
        return;
    mFile.FieldWriteBegin(kDefaults);
    mFile.FieldWriteBlockBegin();
    for (int c = 0; c < root->GetCount(); ++c)
        root->Get(c)->QoxStore(&mFile, true, true, true, kChannel, true);
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
