#ifndef QOX_SCENE_ATTRIBUTES_KQOXSKELETON_H
#define QOX_SCENE_ATTRIBUTES_KQOXSKELETON_H

// KQoxSkeleton: the node attribute of a skeleton joint (attribute type 3):
// a root, a limb or a limb node. Every joint has a limb-node size; only a
// limb takes a limb length, and only limbs and limb nodes a limb-node colour.
// Each value has an is-set flag that only its setter raises and Reset lowers.
// While the type is neither limb nor limb node, the "Color" property carries
// flag 16, which keeps it out of the native file. No channels.

#include "base/kstring.h"
#include "base/kstringlist.h"
#include "object/kobject.h"
#include "object/kproperty.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxnodeattribute.h"

namespace qoxsdk_600 {

class KQoxSkeletonProperties;

class KQoxSkeleton : public KQoxNodeAttribute
{
public:
    typedef enum : int
    {
        eROOT = 0,
        eLIMB = 1,
        eLIMB_NODE = 2,
        eEFFECTOR = 3
    } ESkeletonType;

    // The property flag that keeps a property out of the native file.
    static const int kNotStoredFlag = 16;

    explicit KQoxSkeleton(KQoxSdkManager& pManager);
    ~KQoxSkeleton() override;

    EAttributeType GetAttributeType() const override { return eSKELETON; }
    bool IsRootSkeleton() const override { return mSkeletonType == eROOT; }
    void FillPropertyList(void* pList) override;
    // "Root" ("Null", "Skeleton", "Root") for types 0 and 3, "Limb" or
    // "LimbNode" ("Skeleton") for 1 and 2, empty for any other value.
    KString GetTypeName() override;
    KStringList GetTypeFlags() override;

    KQoxSkeletonProperties* GetPropertyHandler() { return mProperties; }

    // Every value to its default, every is-set flag lowered.
    void Reset();

    // Stores the type and sets or clears flag 16 on "Color"; the stored
    // length, size and colour stay.
    void SetSkeletonType(ESkeletonType pType);
    ESkeletonType GetSkeletonType() const { return mSkeletonType; }
    bool GetSkeletonTypeIsSet() const { return mSkeletonTypeIsSet; }
    ESkeletonType GetSkeletonTypeDefaultValue() const { return eROOT; }

    // Limbs only; false, nothing changed, for other types.
    bool SetLimbLength(double pLength);
    double GetLimbLength();
    bool GetLimbLengthIsSet() const { return mLimbLengthIsSet; }
    double GetLimbLengthDefaultValue() const { return 1.0; }

    // Every type.
    bool SetLimbNodeSize(double pSize);
    double GetLimbNodeSize();
    bool GetLimbNodeSizeIsSet() const { return mLimbNodeSizeIsSet; }
    double GetLimbNodeSizeDefaultValue() const { return 100.0; }

    // Limbs and limb nodes only; alpha reads back as 1.
    bool SetLimbNodeColor(const KQoxColor& pColor);
    KQoxColor GetLimbNodeColor();
    bool GetLimbNodeColorIsSet() const { return mLimbNodeColorIsSet; }
    KQoxColor GetLimbNodeColorDefaultValue() const { return KQoxColor(0.8, 0.8, 0.8, 1.0); }

    // Reset, then the type, the size, the length (from a limb), the colour
    // (from a limb or limb node), and finally the other's four is-set flags.
    KQoxSkeleton& operator=(KQoxSkeleton& pOther);

    // The attribute of an extra node that takes over this node's pre- or
    // post-rotation: a new limb-node skeleton of this skeleton's limb-node size.
    KQoxNodeAttribute* CreatePivotNodeAttribute(const char* pName) override;

private:
    void StoreColor(const KQoxColor& pColor);

    KQoxSkeletonProperties* mProperties; // owned; ended through Destroy(0)
    ESkeletonType mSkeletonType;
    bool mLimbLengthIsSet;
    bool mLimbNodeSizeIsSet;
    bool mLimbNodeColorIsSet;
    bool mSkeletonTypeIsSet;
};

// The skeleton's property block: "Size" (limb-node size), "LimbLength"
// (property flag 1) and "Color" (limb-node colour).
class KQoxSkeletonProperties : public KObject
{
    KPLUG_CLASS_DECLARE(KQoxSkeletonProperties)
public:
    KQoxSkeletonProperties();
    ~KQoxSkeletonProperties() override;

    virtual void SizeSet(double pValue) { mSize = pValue; }
    virtual double SizeGet() { return mSize; }
    virtual void LimbLengthSet(double pValue) { mLimbLength = pValue; }
    virtual double LimbLengthGet() { return mLimbLength; }
    virtual void ColorSet(KgeRGBVector pValue) { mColor = pValue; }
    virtual KgeRGBVector ColorGet() { return mColor; }

    KPropertyTemplate<double> Size;
    KPropertyTemplate<double> LimbLength;
    KPropertyTemplate<KgeRGBVector> Color;

private:
    double mSize = 0.0;
    double mLimbLength = 0.0;
    KgeRGBVector mColor{0.0, 0.0, 0.0, 1.0};
};

} // namespace qoxsdk_600

#endif
