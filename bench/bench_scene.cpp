// Scene manager and takes: creating and destroying many named objects through
// the manager, finding them by name, and creating a take on an object with
// 100 animated channels.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "fcurve/kfcurvenode.h"
#include "object/kproperty.h"
#include "object/kpropertydatatype.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxtakenodecontainer.h"
#include "scene/kqoxuserproperty.h"

namespace {

using namespace qoxsdk_600;

// A named object of the model namespace, without takes.
class BenchNamed : public KQoxObject
{
public:
    BenchNamed(KQoxSdkManager& pManager, const char* pName)
        : KQoxObject(pManager, pName)
    {}
    ENameSpace GetNameSpace() const override { return eNODE; }
};

// A manager listing BenchNamed objects through the manager's own creation,
// lookup and destruction steps.
class BenchManager : public KQoxSdkManager
{
public:
    ~BenchManager() override { mObjects.DestroyAll(); }
    BenchNamed* Create(const char* pName)
    {
        return AddCreated(mObjects, new BenchNamed(*this, PrefixName("Model::", pName).ToChars()));
    }
    BenchNamed* Find(const char* pName, int pIndex) { return FindNamed(mObjects, "Model::", pName, pIndex); }
    bool Destroy(BenchNamed* pObject) { return DestroyListed(mObjects, pObject); }

private:
    KQoxObjectList<BenchNamed> mObjects;
};

std::vector<std::string> Names(int count)
{
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        names.push_back("Object" + std::to_string(i));
    return names;
}

// Create n named objects, then destroy them oldest first (the order that
// makes a plain array move everything behind each removed object).
void BM_CreateDestroyNamed(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> names = Names(count);
    std::vector<BenchNamed*> objects(static_cast<size_t>(count));
    BenchManager manager;
    for (auto _ : state)
    {
        for (int i = 0; i < count; ++i)
            objects[static_cast<size_t>(i)] = manager.Create(names[static_cast<size_t>(i)].c_str());
        for (BenchNamed* object : objects)
            manager.Destroy(object);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_CreateDestroyNamed)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same with user properties, through the manager's public operations.
void BM_CreateDestroyUserProperties(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> names = Names(count);
    std::vector<KQoxUserProperty*> properties(static_cast<size_t>(count));
    KQoxSdkManager manager;
    for (auto _ : state)
    {
        for (int i = 0; i < count; ++i)
        {
            const char* name = names[static_cast<size_t>(i)].c_str();
            properties[static_cast<size_t>(i)] = manager.CreateKQoxUserProperty(name, "Real", name);
        }
        for (KQoxUserProperty* property : properties)
            manager.DestroyKQoxUserProperty(property);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_CreateDestroyUserProperties)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Every object found once by name among n (the name index is built by the
// first lookup and kept while no name changes).
void BM_FindByName(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> names = Names(count);
    BenchManager manager;
    for (const std::string& name : names)
        manager.Create(name.c_str());
    for (auto _ : state)
    {
        for (const std::string& name : names)
            benchmark::DoNotOptimize(manager.Find(name.c_str(), 0));
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_FindByName)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// An object with 100 animatable number properties, each with its channel.
class BenchProperties : public KQoxPropertyHandler
{
public:
    explicit BenchProperties(KQoxTakeNodeContainer* pOwner)
        : mOwner(pOwner)
    {}
    void DefaultValueChanged(KQoxUserProperty* pProperty) override { mOwner->PropertyDefaultValueChanged(pProperty); }
    KQoxObject* GetKQoxObject() override { return mOwner; }

private:
    KQoxTakeNodeContainer* mOwner;
};

class BenchAnimated : public KQoxTakeNodeContainer
{
public:
    BenchAnimated(KQoxSdkManager& pManager, int pChannels)
        : KQoxTakeNodeContainer(pManager, "Model::Bench", &mError)
        , mError(sErrors, 1)
        , mProperties(new BenchProperties(this))
    {
        for (int i = 0; i < pChannels; ++i)
        {
            std::string name = "Channel" + std::to_string(i);
            KProperty* property = mProperties->CreatePropertyFromType(name.c_str(), kPropertyTypeDouble,
                                                                      KDataTypeNumber, true, false, nullptr);
            property->SetDouble(i);
        }
        Init();
    }
    ~BenchAnimated() override { mProperties->Destroy(0); }
    ENameSpace GetNameSpace() const override { return eNODE; }
    KQoxPropertyHandler* GetPropertyHandler() override { return mProperties; }
    void AddChannels(KQoxTakeNode* pTakeNode) override
    {
        for (int i = 0; i < mProperties->GetPropertyCount(); ++i)
            CreateChannelsForProperty(mProperties->GetProperty(i), pTakeNode);
    }
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* pProperty) override
    {
        return GetSdkManager().CreateKQoxUserProperty(pProperty);
    }

private:
    static inline const char* const sErrors[1] = {""};
    KError mError;
    BenchProperties* mProperties;
};

void BM_CreateTakeWith100Channels(benchmark::State& state)
{
    KQoxSdkManager manager;
    BenchAnimated object(manager, 100);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(object.CreateTakeNode("Take 001"));
        object.RemoveTakeNode(1);
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_CreateTakeWith100Channels)->Unit(benchmark::kMicrosecond);

} // namespace
