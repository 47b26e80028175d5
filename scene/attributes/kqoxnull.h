#ifndef QOX_SCENE_ATTRIBUTES_KQOXNULL_H
#define QOX_SCENE_ATTRIBUTES_KQOXNULL_H

// KQoxNull: the node attribute of a plain transform (attribute type 1). It
// carries only a display size, with an is-set flag that only SetSize raises
// and Reset lowers. No channels.

#include "base/kstring.h"
#include "base/kstringlist.h"
#include "object/kobject.h"
#include "object/kproperty.h"
#include "scene/kqoxnodeattribute.h"

namespace qoxsdk_600 {

class KQoxNullProperties;

class KQoxNull : public KQoxNodeAttribute
{
public:
    explicit KQoxNull(KQoxSdkManager& pManager);
    ~KQoxNull() override;

    EAttributeType GetAttributeType() const override { return eNULL; }
    void FillPropertyList(void* pList) override;
    // "Null", and a list holding "Null".
    KString GetTypeName() override;
    KStringList GetTypeFlags() override;

    KQoxNullProperties* GetPropertyHandler() { return mProperties; }

    // Size back to its default, is-set flag lowered.
    void Reset();
    void SetSize(double pSize);
    double GetSize();
    bool GetSizeIsSet() const { return mSizeIsSet; }
    double GetSizeDefaultValue() const { return 100.0; }

    // Reset, then the other's size and its is-set flag.
    KQoxNull& operator=(KQoxNull& pOther);

private:
    bool mSizeIsSet;
    KQoxNullProperties* mProperties; // owned; ended through Destroy(0)
};

// The null's property block: "Size".
class KQoxNullProperties : public KObject
{
    KPLUG_CLASS_DECLARE(KQoxNullProperties)
public:
    KQoxNullProperties();
    ~KQoxNullProperties() override;

    virtual void SizeSet(double pValue) { mSize = pValue; }
    virtual double SizeGet() { return mSize; }

    KPropertyTemplate<double> Size;

private:
    double mSize = 0.0;
};

} // namespace qoxsdk_600

#endif
