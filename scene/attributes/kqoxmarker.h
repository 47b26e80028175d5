#ifndef QOX_SCENE_ATTRIBUTES_KQOXMARKER_H
#define QOX_SCENE_ATTRIBUTES_KQOXMARKER_H

// KQoxMarker: the node attribute of a marker (attribute type 2): a plain
// marker, an optical marker, or an inverse or forward kinematics effector.
//
// The display values (look, size, colour, label switch, IK pivot) live in
// the companion block KQoxMarkerProperties. The channels depend on the type:
// an optical marker has "Occlusion", an IK effector "IK Reach Translation"
// and "IK Reach Rotation"; they are tied to no property, so their defaults are
// the static values of the Default take's curves. Changing the type of an
// attached marker rebuilds the channels in every take node.

#include "base/kmath_types.h"
#include "base/kstring.h"
#include "base/kstringlist.h"
#include "object/kobject.h"
#include "object/kproperty.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxnodeattribute.h"

class KFCurve;

namespace qoxsdk_600 {

class KQoxMarkerProperties;

class KQoxMarker : public KQoxNodeAttribute
{
public:
    typedef enum : int
    {
        eSTANDARD = 0,
        eOPTICAL = 1,
        eIK_EFFECTOR = 2,
        eFK_EFFECTOR = 3
    } EType;

    typedef enum : int
    {
        eCUBE = 0,
        eHARD_CROSS = 1,
        eLIGHT_CROSS = 2,
        eSPHERE = 3
    } ELook;

    explicit KQoxMarker(KQoxSdkManager& pManager);
    // Detaches from the node first (removing the channels).
    ~KQoxMarker() override;

    EAttributeType GetAttributeType() const override { return eMARKER; }
    int GetMarkerType() const override { return mType; }
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    void RemoveChannels(KQoxTakeNode* pTakeNode) override;
    void FillPropertyList(void* pList) override;
    // "Marker", "OpticalMarker", "IKEffector", "FKEffector" by type ("Marker"
    // for any other value); the flags are always the list "Marker".
    KString GetTypeName() override;
    KStringList GetTypeFlags() override;

    KQoxMarkerProperties* GetPropertyHandler() { return mProperties; }

    // Type 0, cube look, size 100, red, no label, IK pivot (0, 0, 0); the type
    // is stored without rebuilding channels.
    void Reset();

    // A different type on an attached marker takes the marker off its node
    // and puts it back, so every take node gets the new type's channels (at
    // 0.0) and loses the old ones with their animation. Values outside 0..3
    // are stored as given and have no channels.
    void SetType(EType pType);
    EType GetType() const { return mType; }

    void SetLook(ELook pLook);
    ELook GetLook();
    void SetSize(double pSize);
    double GetSize();
    void SetShowLabel(bool pShowLabel);
    bool GetShowLabel();
    // Red, green and blue are kept; alpha reads back as 1.
    void SetColor(KQoxColor pColor);
    KQoxColor GetColor();
    void SetDefaultColor(KQoxColor& pColor) { SetColor(pColor); }
    KQoxColor& GetDefaultColor(KQoxColor& pColor);
    // x, y and z are kept; the fourth component reads back as 1.
    void SetIKPivot(KQoxVector4& pPivot);
    KQoxVector4 GetIKPivot();

    // Channel defaults, in single precision. Each works for its own type only
    // (occlusion: optical marker; IK reach: IK effector), and only while the
    // Default take holds the channel; otherwise a set does nothing and a get
    // returns 0.0.
    void SetDefaultOcclusion(double pValue);
    double GetDefaultOcclusion();
    void SetDefaultIKReachTranslation(double pValue);
    double GetDefaultIKReachTranslation();
    void SetDefaultIKReachRotation(double pValue);
    double GetDefaultIKReachRotation();

    // Copies the type (as a plain value: an attached marker's channels are
    // not rebuilt), the look, the size, the colour and the label switch. The
    // IK pivot is not copied.
    KQoxMarker& operator=(KQoxMarker& pOther);

private:
    // The Default take's curve of a channel of pType, or null.
    KFCurve* DefaultCurve(EType pType, KFCurve* (KQoxTakeNode::*pCurve)());

    EType mType;
    KQoxMarkerProperties* mProperties; // owned; ended through Destroy(0)
};

// The marker's property block: "Look", "Size", "Color", "ShowLabel",
// "IKPivot".
class KQoxMarkerProperties : public KObject
{
    KPLUG_CLASS_DECLARE(KQoxMarkerProperties)
public:
    KQoxMarkerProperties();
    ~KQoxMarkerProperties() override;

    virtual void LookSet(KQoxMarker::ELook pValue) { mLook = pValue; }
    virtual KQoxMarker::ELook LookGet() { return mLook; }
    virtual void SizeSet(double pValue) { mSize = pValue; }
    virtual double SizeGet() { return mSize; }
    virtual void ColorSet(KgeRGBVector pValue) { mColor = pValue; }
    virtual KgeRGBVector ColorGet() { return mColor; }
    virtual void ShowLabelSet(bool pValue) { mShowLabel = pValue; }
    virtual bool ShowLabelGet() { return mShowLabel; }
    virtual void IKPivotSet(KgeTVector pValue) { mIKPivot = pValue; }
    virtual KgeTVector IKPivotGet() { return KgeTVector(mIKPivot.x, mIKPivot.y, mIKPivot.z, 1.0); }

    // "Cube", "Hard Cross", "Light Cross", "Sphere"; null for other values.
    char* LookAsString(int pValue);

    KPropertyTemplate<KQoxMarker::ELook> Look;
    KPropertyTemplate<double> Size;
    KPropertyTemplate<KgeRGBVector> Color;
    KPropertyTemplate<bool> ShowLabel;
    KPropertyTemplate<KgeTVector> IKPivot;

private:
    KQoxMarker::ELook mLook = KQoxMarker::eCUBE;
    double mSize = 0.0;
    KgeRGBVector mColor{0.0, 0.0, 0.0, 1.0};
    bool mShowLabel = false;
    KgeTVector mIKPivot{0.0, 0.0, 0.0, 1.0};
};

} // namespace qoxsdk_600

#endif
