#ifndef QOX_SCENE_ATTRIBUTES_KQOXATTRIBUTE_PRIVATE_H
#define QOX_SCENE_ATTRIBUTES_KQOXATTRIBUTE_PRIVATE_H

// Channel and property helpers shared by the node attributes, generic nodes
// and clips: the Default-take test, finding or making a channel curve,
// display colours, removing a channel from a take node, and walking a
// property block.

#include "base/karray.h"
#include "base/kstring.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kobject.h"
#include "object/kproperty.h"
#include "object/kpropertydatatype.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxpropertybinding.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {
namespace attr {

// An attribute the manager made for a conversion, destroyed again unless
// kept: a conversion that runs out of memory leaves nothing half made in
// the manager.
template <class T>
class MadeAttribute
{
public:
    MadeAttribute(KQoxSdkManager& pManager, T* pAttribute)
        : mManager(pManager)
        , mAttribute(pAttribute)
    {}
    ~MadeAttribute()
    {
        if (mAttribute)
            mManager.DestroyKQoxNodeAttribute(mAttribute);
    }
    MadeAttribute(const MadeAttribute&) = delete;
    MadeAttribute& operator=(const MadeAttribute&) = delete;
    T* Get() const { return mAttribute; }
    T* Keep()
    {
        T* attribute = mAttribute;
        mAttribute = nullptr;
        return attribute;
    }

private:
    KQoxSdkManager& mManager;
    T* mAttribute;
};

// A take node is the Default take when its name is "Default" in any case.
inline bool IsDefaultTake(KQoxTakeNode* pTakeNode)
{
    return pTakeNode && KString(pTakeNode->GetName()).CompareNoCase("Default") == 0;
}

// The Default take node of the attribute's node, or null when detached.
inline KQoxTakeNode* DefaultTakeOf(const KQoxNodeAttribute& pAttribute)
{
    KQoxNode* node = pAttribute.GetNode();
    return node ? node->GetDefaultTakeNode() : nullptr;
}

// The named child of pParent with its curve, made when missing.
inline KFCurve* ChannelCurve(KFCurveNode* pParent, const char* pName)
{
    KFCurveNode* node = pParent ? pParent->FindOrCreate(pName, true) : nullptr;
    return node ? node->FCurveGet() : nullptr;
}

inline void SetCurveColor(KFCurve* pCurve, float pRed, float pGreen, float pBlue)
{
    if (!pCurve)
        return;
    float color[3] = {pRed, pGreen, pBlue};
    pCurve->SetColor(color);
}

// Deletes the named child of the take node's root, with its subtree.
inline void RemoveChannel(KQoxTakeNode* pTakeNode, const char* pName)
{
    KFCurveNode* root = pTakeNode ? pTakeNode->GetKFCurveNode() : nullptr;
    if (!root)
        return;
    const int index = root->Find(pName);
    if (index >= 0)
        root->Delete(index);
}

// Marks pProperty animatable and animated; a null property is ignored.
inline KProperty* MarkAnimated(KProperty* pProperty)
{
    if (pProperty)
    {
        pProperty->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, true);
        pProperty->ModifyPropertyFlag(KProperty::eAnimated, true);
    }
    return pProperty;
}

// An animatable, animated property of the named data type on pOwner;
// pCreateAnimatable goes to the owner's property factory.
inline KProperty* AddAnimatedProperty(KObject& pOwner, const char* pName, const char* pDataTypeName,
                                      bool pCreateAnimatable = false)
{
    KDataType* dataType = KDataTypeGet(pDataTypeName);
    return MarkAnimated(pOwner.CreatePropertyFromType(pName, DataTypeToPropertyType(dataType), dataType,
                                                      pCreateAnimatable, false, nullptr));
}

// Appends every property of pBlock, in block order, to pList (a
// KArrayTemplate<KProperty*>); a null list is ignored.
inline void AppendProperties(KObject& pBlock, void* pList)
{
    if (!pList)
        return;
    auto* list = static_cast<KArrayTemplate<KProperty*>*>(pList);
    for (int i = 0; i < pBlock.GetPropertyCount(); ++i)
        list->Add(pBlock.GetProperty(i));
}

// Makes sure the take node holds a channel for every animatable property of
// pBlock, the properties pOwner animates.
inline void AddAnimatableChannels(KQoxTakeNodeContainer& pOwner, KObject& pBlock, KQoxTakeNode* pTakeNode)
{
    for (int i = 0; i < pBlock.GetPropertyCount(); ++i)
    {
        KProperty* property = pBlock.GetProperty(i);
        if (property && property->IsAnimatable())
            pOwner.CreateChannelsForProperty(property, pTakeNode);
    }
}

// The scene entity of the node whose block pPlug is; null when the plug is
// no node's or the node is outside any entity.
inline KQoxEntity* EntityOfNodePlug(KPlug* pPlug)
{
    KQoxObject* object = GetKQoxObjectOfPlug(pPlug);
    return (object && object->GetNameSpace() == KQoxObject::eNODE) ? static_cast<KQoxNode*>(object)->GetEntity()
                                                                   : nullptr;
}

// The end of an attribute holding a property block: off its node first (the
// node drops the channels while the attribute can still name them and before
// the block their callbacks write into goes), then the block.
template <class Block>
inline void DetachAndDestroyBlock(KQoxNodeAttribute& pAttribute, Block*& pBlock)
{
    if (KQoxNode* node = pAttribute.GetNode())
        node->SetNodeAttribute(nullptr);
    pBlock->Destroy(0);
    pBlock = nullptr;
}

// A double property's value; pFallback when there is no property.
inline double PropertyDouble(KObject& pOwner, const char* pName, double pFallback = 0.0)
{
    KProperty* property = pOwner.FindPropertyByName(pName);
    return property ? property->AsDouble() : pFallback;
}

inline void SetPropertyDouble(KObject& pOwner, const char* pName, double pValue)
{
    if (KProperty* property = pOwner.FindPropertyByName(pName))
        property->SetDouble(pValue);
}

// A colour property's red, green and blue (the fourth component is left).
inline KgeRGBVector PropertyColor(KObject& pOwner, const char* pName)
{
    KgeRGBVector value(0.0, 0.0, 0.0, 1.0);
    if (KProperty* property = pOwner.FindPropertyByName(pName))
        property->GetData(&value, 0, nullptr, nullptr);
    return value;
}

inline void SetPropertyColor(KObject& pOwner, const char* pName, double pRed, double pGreen, double pBlue)
{
    KProperty* property = pOwner.FindPropertyByName(pName);
    if (!property)
        return;
    KgeRGBVector value(pRed, pGreen, pBlue, 1.0);
    property->SetData(&value, 0, nullptr, nullptr);
}

// Static value of a curve; pFallback for a missing curve.
inline double CurveValue(KFCurve* pCurve, double pFallback)
{
    return pCurve ? static_cast<double>(pCurve->GetValue()) : pFallback;
}

inline void SetCurveValue(KFCurve* pCurve, double pValue)
{
    if (pCurve)
        pCurve->SetValue(static_cast<float>(pValue));
}

// Builds an attribute's channels in one take node. Each curve starts from
// its property's present value and is tied to the property only then (in the
// Default take), so the property keeps its own double value.
class ChannelBuilder
{
public:
    // pBlock: the attribute's property block, named like its channels.
    ChannelBuilder(const KQoxNodeAttribute& pAttribute, KQoxTakeNode* pTakeNode, KObject& pBlock)
        : mNode(pAttribute.GetNode())
        , mRoot(pTakeNode ? pTakeNode->GetKFCurveNode() : nullptr)
        , mBlock(pBlock)
        , mIsDefault(IsDefaultTake(pTakeNode))
    {}

    // False when the take node has no curve tree or the attribute no node.
    bool Ready() const { return mRoot && mNode; }

    // A channel of one value, drawn in pColor.
    void AddNumber(const char* pName, const float (&pColor)[3])
    {
        KFCurve* curve = ChannelCurve(mRoot, pName);
        KProperty* property = mBlock.FindPropertyByName(pName);
        SetCurveValue(curve, property ? property->AsDouble() : 0.0);
        SetCurveColor(curve, pColor[0], pColor[1], pColor[2]);
        if (mIsDefault)
            mNode->RegisterDefaultTakeCallback(property, 0, curve);
    }

    // A colour channel named pChannel: X, Y and Z curves from the components
    // of the colour property pProperty, drawn red, green and blue.
    void AddColor(const char* pChannel, const char* pProperty)
    {
        static const char* const kAxes[3] = {"X", "Y", "Z"};
        KFCurveNode* color = mRoot->FindOrCreate(pChannel, false);
        KProperty* property = mBlock.FindPropertyByName(pProperty);
        KgeRGBVector rgb = PropertyColor(mBlock, pProperty);
        for (int i = 0; i < 3; ++i)
        {
            KFCurve* curve = ChannelCurve(color, kAxes[i]);
            SetCurveValue(curve, rgb[i]);
            SetCurveColor(curve, i == 0 ? 1.0f : 0.0f, i == 1 ? 1.0f : 0.0f, i == 2 ? 1.0f : 0.0f);
            if (mIsDefault)
                mNode->RegisterDefaultTakeCallback(property, i, curve);
        }
    }

private:
    KQoxNode* mNode;
    KFCurveNode* mRoot;
    KObject& mBlock;
    bool mIsDefault;
};

} // namespace attr
} // namespace qoxsdk_600

#endif
