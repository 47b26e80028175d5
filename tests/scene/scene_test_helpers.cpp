#include "scene_test_helpers.h"

#include <cstring>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"
#include "scene/kqoxtakenode.h"

namespace scenetest {

namespace {
const char* const kTakeErrors[1] = {""};

KProperty* MakeProperty(KObject& pOwner, const char* pName, kPropertyType pType, KDataType* pDataType, bool pAnimatable)
{
    KProperty* property = pOwner.CreatePropertyFromType(pName, pType, pDataType, false, false, nullptr);
    property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, pAnimatable);
    return property;
}
} // namespace

TestProperties::TestProperties(TestAnimated* pOwner)
    : mOwner(pOwner)
{
    mTranslation = MakeProperty(*this, "Lcl Translation", kPropertyTypeVector3D, KDataTypeLclTranslation, true);
    mIntensity = MakeProperty(*this, "Intensity", kPropertyTypeDouble, KDataTypeNumber, true);
    mFlag = MakeProperty(*this, "Flag", kPropertyTypeBool, KDataTypeBool, false);
    mTint = MakeProperty(*this, "Tint", kPropertyTypeColorRGB, KDataTypeColor, true);
}

void TestProperties::DefaultValueChanged(KQoxUserProperty* pUserProperty)
{
    mOwner->PropertyDefaultValueChanged(pUserProperty);
}

KQoxObject* TestProperties::GetKQoxObject()
{
    return mOwner;
}

TestAnimated::TestAnimated(KQoxSdkManager& pManager, const char* pName, ENameSpace pNameSpace, bool pWithTakes)
    : KQoxTakeNodeContainer(pManager, pName, &mTakeError)
    , mTakeError(kTakeErrors, 1)
    , mProperties(pWithTakes ? new TestProperties(this) : nullptr)
    , mNameSpace(pNameSpace)
{
    if (pWithTakes)
        Init();
}

TestAnimated::~TestAnimated()
{
    if (mProperties)
        mProperties->Destroy(0);
}

void TestAnimated::AddChannels(KQoxTakeNode* pTakeNode)
{
    ++mAddChannelsCalls;
    BuildTransform(pTakeNode->GetKFCurveNode());
    if (strcmp(pTakeNode->GetName(), "Default") == 0)
    {
        KFCurveNode* translation = pTakeNode->GetKFCurveNode()->FindRecursive("T");
        for (int i = 0; i < 3; ++i)
            RegisterDefaultTakeCallback(mProperties->mTranslation, i, translation->Get(i)->FCurveGet());
    }
    CreateChannelsForProperty(mProperties->mIntensity, pTakeNode);
    CreateChannelsForProperty(mProperties->mTint, pTakeNode);
}

void AddKey(KFCurve* pCurve, long long pTime, float pValue)
{
    pCurve->KeyModifyBegin();
    int index = pCurve->KeyAdd(KTime(pTime));
    pCurve->KeySet(index, KTime(pTime), pValue, KFCURVE_INTERPOLATION_LINEAR);
    pCurve->KeyModifyEnd();
}

void BuildTransform(KFCurveNode* pRoot)
{
    KFCurveNode* transform = pRoot->FindOrCreate("Transform", false);
    for (const char* channel : {"T", "R", "S"})
    {
        KFCurveNode* node = transform->FindOrCreate(channel, false);
        for (const char* member : {"X", "Y", "Z"})
            node->FindOrCreate(member, true);
    }
}

KQoxUserProperty* TestAnimated::CreateKQoxUserProperty(KProperty* pProperty)
{
    return GetSdkManager().CreateKQoxUserProperty(pProperty);
}

} // namespace scenetest
