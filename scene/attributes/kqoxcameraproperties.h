#ifndef QOX_SCENE_ATTRIBUTES_KQOXCAMERAPROPERTIES_H
#define QOX_SCENE_ATTRIBUTES_KQOXCAMERAPROPERTIES_H

// KQoxCameraProperties: the 65 named properties of a camera, in the order of
// kqoxcameraproperties_table.h. Twelve are animatable and made at run time
// (found by name); the others are member properties bound to the block's own
// <Name>Set / <Name>Get pair, which store and return the value with no check
// or notification. Every value starts at zero, false or enumerator 0; the
// camera's Reset gives the defaults. The ten enumerations have their texts
// through <Name>AsString (null for values without a text).

#include "base/kmath_kernels.h"
#include "object/kobject.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxcamera.h"

namespace qoxsdk_600 {

class KQoxCameraProperties : public KObject
{
    KPLUG_CLASS_DECLARE(KQoxCameraProperties)
public:
    KQoxCameraProperties();
    ~KQoxCameraProperties() override;

    // An animatable, animated property named pName of the named data type.
    KProperty* AddAnimatedProperty(const char* pName, const char* pDataTypeName);

#define KQOX_CAMERA_ANIMATED(Name, DataType)
#define KQOX_CAMERA_PLAIN(Member, Name, Type)                                                                          \
    virtual void Member##Set(Type pValue)                                                                              \
    {                                                                                                                  \
        KPropertyCopyValue(m##Member, pValue);                                                                         \
    }                                                                                                                  \
    virtual Type Member##Get()                                                                                         \
    {                                                                                                                  \
        return m##Member;                                                                                              \
    }
#define KQOX_CAMERA_ENUM(Member, Name, Type)                                                                           \
    KQOX_CAMERA_PLAIN(Member, Name, Type)                                                                              \
    char* Member##AsString(int pValue);
#include "scene/attributes/kqoxcameraproperties_table.h"
#undef KQOX_CAMERA_ENUM
#undef KQOX_CAMERA_PLAIN

#define KQOX_CAMERA_PLAIN(Member, Name, Type) KPropertyTemplate<Type> Member;
#define KQOX_CAMERA_ENUM(Member, Name, Type)  KQOX_CAMERA_PLAIN(Member, Name, Type)
#include "scene/attributes/kqoxcameraproperties_table.h"
#undef KQOX_CAMERA_ENUM
#undef KQOX_CAMERA_PLAIN

    // The frame colour's fourth component, which the accessors do not carry.
    void FrameColorAlphaSet(double pAlpha)
    {
        mFrameColor.w = pAlpha;
    }

private:
#define KQOX_CAMERA_PLAIN(Member, Name, Type) Type m##Member = Type();
#define KQOX_CAMERA_ENUM(Member, Name, Type)  KQOX_CAMERA_PLAIN(Member, Name, Type)
#include "scene/attributes/kqoxcameraproperties_table.h"
#undef KQOX_CAMERA_ENUM
#undef KQOX_CAMERA_PLAIN
#undef KQOX_CAMERA_ANIMATED
};

} // namespace qoxsdk_600

#endif
