// The camera's property block, registered from its one table.

#include "scene/attributes/kqoxcameraproperties.h"

#include "scene/attributes/kqoxattribute_private.h"
#include "scene/kqoxpropertybinding.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxCameraProperties, KObject, "KQoxCameraProperties")

namespace {

// Texts of the ten enumerations, by value; null marks a value without text.
const char* const kResolutionModeTexts[] = {"Window Size", "Fixed Ratio", "Fixed Resolution", "Fixed Width Resolution",
                                            "Fixed Height Resolution"};
const char* const kApertureModeTexts[] = {"Horizontal & Vertical", "Horizontal", "Vertical"};
const char* const kCameraFormatTexts[] = {"Custom",  "D1 NTSC", "NTSC",    "PAL",   "D1 PAL",     "HD",
                                          "640x480", "320x200", "320x240", nullptr, "Full Screen"};
const char* const kFilmFormatIndexTexts[] = {"Custom",
                                             "16mm Theatrical",
                                             "Super 16mm",
                                             "35mm Academy",
                                             "35mm TV Projection",
                                             "35mm Full Aperture",
                                             "35mm 1.85 Projection",
                                             "35mm Anamorphic",
                                             "70mm Projection",
                                             "VistaVision",
                                             "Dynavision",
                                             "Imax"};
const char* const kViewFrustumBackPlaneModeTexts[] = {"Disabled", "Always", "When Media"};
const char* const kBackPlaneDistanceModeTexts[] = {"Relative to Interest", "Relative to Camera"};
const char* const kBackgroundModeTexts[] = {"Background", "Foreground", "Background & Forground"};
const char* const kSafeAreaDisplayStyleTexts[] = {"Round Safe Area", "Square Safe Area"};
const char* const kCameraProjectionTypeTexts[] = {"Perspective", "Orthographic"};
const char* const kFocusSourceTexts[] = {"Camera Interest", "Specific Distance"};

template <size_t N>
char* TextOf(const char* const (&pTable)[N], int pValue)
{
    return EnumText(pTable, static_cast<int>(N), pValue);
}

} // namespace

KQoxCameraProperties::KQoxCameraProperties()
{
    typedef KQoxCameraProperties P;
#define KQOX_CAMERA_ANIMATED(Name, DataType) AddAnimatedProperty(Name, DataType);
#define KQOX_CAMERA_PLAIN(Member, Name, Type)                                                                          \
    BindMemberProperty(Member, Name, this, &P::Member##Get, &P::Member##Set,                                           \
                       KPropertyGetType(static_cast<Type*>(nullptr)));
#define KQOX_CAMERA_ENUM(Member, Name, Type)                                                                           \
    KQOX_CAMERA_PLAIN(Member, Name, Type)                                                                              \
    BindAsString(Member, &P::Member##AsString);
#include "scene/attributes/kqoxcameraproperties_table.h"
#undef KQOX_CAMERA_ENUM
#undef KQOX_CAMERA_PLAIN
#undef KQOX_CAMERA_ANIMATED
}

KQoxCameraProperties::~KQoxCameraProperties() {}

KProperty* KQoxCameraProperties::AddAnimatedProperty(const char* pName, const char* pDataTypeName)
{
    return attr::AddAnimatedProperty(*this, pName, pDataTypeName);
}

#define KQOX_CAMERA_ANIMATED(Name, DataType)
#define KQOX_CAMERA_PLAIN(Member, Name, Type)
#define KQOX_CAMERA_ENUM(Member, Name, Type)                                                                           \
    char* KQoxCameraProperties::Member##AsString(int pValue)                                                           \
    {                                                                                                                  \
        return TextOf(k##Member##Texts, pValue);                                                                       \
    }
#include "scene/attributes/kqoxcameraproperties_table.h"
#undef KQOX_CAMERA_ENUM
#undef KQOX_CAMERA_PLAIN
#undef KQOX_CAMERA_ANIMATED

} // namespace qoxsdk_600
