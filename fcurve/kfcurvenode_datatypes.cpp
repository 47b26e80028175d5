// The data types the curve nodes look for, in one place.

#include "fcurve/kfcurvenode_internal.h"

#include "object/kpropertydatatype.h"

namespace kfcurvenode_detail {

KDataType* TypeLclTranslation()
{
    return KDataTypeLclTranslation;
}
KDataType* TypeLclRotation()
{
    return KDataTypeLclRotation;
}
KDataType* TypeLclScaling()
{
    return KDataTypeLclScaling;
}
KDataType* TypeTimeWarp()
{
    return KDataTypeTimeWarp;
}
KDataType* TypeNumber()
{
    return KDataTypeNumber;
}
KDataType* TypeMatrixRotation()
{
    return KDataTypeMatrixRotation;
}
KDataType* TypeScaling()
{
    return KDataTypeScaling;
}
KDataType* TypeMatrixScaling()
{
    return KDataTypeMatrixScaling;
}
KDataType* TypeScalingUV()
{
    return KDataTypeScalingUV;
}

KDataType* TypeGet(const char* name)
{
    return name ? KDataTypeGet(name) : nullptr;
}

const char* TypeName(KDataType* type)
{
    if (!type || !type->GetName())
        return "";
    return type->GetName();
}

int TypeMemberCount(KDataType* type)
{
    return type ? type->GetMemberCount() : 0;
}

} // namespace kfcurvenode_detail
