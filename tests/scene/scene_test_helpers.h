#ifndef QOX_TESTS_SCENE_SCENE_TEST_HELPERS_H
#define QOX_TESTS_SCENE_SCENE_TEST_HELPERS_H

// A small animatable object for the scene tests: a take-node container with a
// property block of its own ("Lcl Translation", "Intensity", "Flag", "Tint")
// whose channels are built the way scene nodes build theirs ("Transform" with
// "T", "R", "S" and their "X", "Y", "Z"), and a manager subclass that lists
// such objects with the manager's own creation, lookup and destruction steps.

#include "base/kerror.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kproperty.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenodecontainer.h"

namespace scenetest {

using namespace qoxsdk_600;

class TestAnimated;

// The property block of TestAnimated.
class TestProperties : public KQoxPropertyHandler
{
public:
    explicit TestProperties(TestAnimated* pOwner);
    void DefaultValueChanged(KQoxUserProperty* pUserProperty) override;
    KQoxObject* GetKQoxObject() override;

    KProperty* mTranslation; // "Lcl Translation", vector, animatable
    KProperty* mIntensity;   // "Intensity", number, animatable
    KProperty* mFlag;        // "Flag", bool, not animatable
    KProperty* mTint;        // "Tint", colour, animatable

private:
    TestAnimated* mOwner;
};

class TestAnimated : public KQoxTakeNodeContainer
{
public:
    // Init runs unless withTakes is false (as for poses); such an object
    // has no property block either, which makes it light.
    TestAnimated(KQoxSdkManager& pManager, const char* pName, ENameSpace pNameSpace = eNODE, bool pWithTakes = true);
    ~TestAnimated() override;
    // Names and takes are copied; each object keeps its own property block.
    TestAnimated& operator=(TestAnimated& pOther)
    {
        KQoxTakeNodeContainer::operator=(pOther);
        return *this;
    }

    ENameSpace GetNameSpace() const override { return mNameSpace; }
    KQoxPropertyHandler* GetPropertyHandler() override { return mProperties; }
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* pProperty) override;

    TestProperties* Properties() { return mProperties; }
    KError& GetError() { return mTakeError; }
    int mAddChannelsCalls = 0;
    // Calls of the tear-down hook, over every object.
    static inline int sDestructCalls = 0;
    void Destruct() override { ++sDestructCalls; }

private:
    KError mTakeError;
    TestProperties* mProperties;
    ENameSpace mNameSpace;
};

// A manager that also lists TestAnimated objects, through the same steps as
// the built-in kinds.
class TestManager : public KQoxSdkManager
{
public:
    ~TestManager() override { mTestObjects.DestroyAll(); }
    // Without takes the object is light enough to make by the hundred thousand.
    TestAnimated* CreateTestObject(const char* pName, bool pWithTakes = true)
    {
        return AddCreated<TestAnimated, true>(
            mTestObjects,
            new TestAnimated(*this, PrefixName("Model::", pName).ToChars(), KQoxObject::eNODE, pWithTakes),
            mNodeRenamingStrategy);
    }
    TestAnimated* FindTestObject(const char* pName, int pIndex)
    {
        return FindNamed(mTestObjects, "Model::", pName, pIndex);
    }
    bool DestroyTestObject(TestAnimated* pObject) { return DestroyListed<TestAnimated, true>(mTestObjects, pObject); }
    int GetTestObjectCount() const { return mTestObjects.GetCount(); }
    TestAnimated* GetTestObject(int pIndex) { return mTestObjects.Get(pIndex); }
    void SetNodeRenamingStrategy(KRenamingStrategy* pStrategy) { mNodeRenamingStrategy = pStrategy; }

private:
    KQoxObjectList<TestAnimated> mTestObjects;
};

// Adds one linear key to a curve.
void AddKey(KFCurve* pCurve, long long pTime, float pValue);
// Builds "Transform" / "T", "R", "S" / "X", "Y", "Z" with curves under a root.
void BuildTransform(KFCurveNode* pRoot);

} // namespace scenetest

#endif
