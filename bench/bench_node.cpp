// Scene nodes: building trees of many nodes through AddChild inside an entity
// (top-down and bottom-up), and collecting nodes by attribute type. Node
// creation is left out of the timing; sizes of 25,000 to 100,000 show whether
// the time per node stays flat.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

class BenchAttribute : public KQoxNodeAttribute
{
public:
    explicit BenchAttribute(KQoxSdkManager& manager)
        : KQoxNodeAttribute(manager)
    {}
    EAttributeType GetAttributeType() const override { return eNULL; }
};

struct Scene
{
    explicit Scene(int count)
        : mManager(new KQoxSdkManager)
        , mEntity(new KQoxEntity(*mManager))
    {
        for (int i = 0; i < count; ++i)
            mNodes.push_back(mManager->CreateKQoxNode(("Node" + std::to_string(i)).c_str()));
    }
    ~Scene()
    {
        mEntity.reset();
        mManager.reset();
    }

    std::unique_ptr<KQoxSdkManager> mManager;
    std::unique_ptr<KQoxEntity> mEntity;
    std::vector<KQoxNode*> mNodes;
};

// Each node joins the scene under the previous one: a chain as deep as the
// node count, every AddChild moving one new leaf into the entity.
void BM_BuildTopDownChain(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        state.PauseTiming();
        std::unique_ptr<Scene> owner(new Scene(count));
        Scene& scene = *owner;
        state.ResumeTiming();
        KQoxNode* parent = scene.mEntity->GetRootNode();
        for (KQoxNode* node : scene.mNodes)
        {
            parent->AddChild(node);
            parent = node;
        }
        benchmark::DoNotOptimize(scene.mEntity->GetNodeCount());
        state.PauseTiming();
        owner.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// Leaves first: groups of ten under their parents outside the scene, then the
// top node joins, moving the whole tree into the entity in one step.
void BM_BuildBottomUp(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        state.PauseTiming();
        std::unique_ptr<Scene> owner(new Scene(count));
        Scene& scene = *owner;
        state.ResumeTiming();
        for (int i = count - 1; i > 0; --i)
            scene.mNodes[(i - 1) / 10]->AddChild(scene.mNodes[i]);
        scene.mEntity->GetRootNode()->AddChild(scene.mNodes[0]);
        benchmark::DoNotOptimize(scene.mEntity->GetNodeCount());
        state.PauseTiming();
        owner.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// FillNodeArray over a ten-way tree in which every other node has an attribute.
void BM_FillNodeArray(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const bool recursive = state.range(1) != 0;
    Scene scene(count);
    std::vector<std::unique_ptr<BenchAttribute>> attributes;
    for (int i = count - 1; i > 0; --i)
        scene.mNodes[(i - 1) / 10]->AddChild(scene.mNodes[i]);
    scene.mEntity->GetRootNode()->AddChild(scene.mNodes[0]);
    for (int i = 0; i < count; i += 2)
    {
        attributes.emplace_back(new BenchAttribute(*scene.mManager));
        scene.mNodes[i]->SetNodeAttribute(attributes.back().get());
    }
    KArrayTemplate<KQoxNode*> array;
    for (auto _ : state)
    {
        scene.mEntity->FillNodeArray(array, KQoxNodeAttribute::eNULL, recursive);
        benchmark::DoNotOptimize(array.GetCount());
    }
    state.SetItemsProcessed(state.iterations() * count);
    for (int i = 0; i < count; i += 2)
        scene.mNodes[i]->SetNodeAttribute(nullptr);
}

} // namespace

BENCHMARK(BM_BuildTopDownChain)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BuildBottomUp)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FillNodeArray)->Args({25000, 1})->Args({100000, 1})->Args({100000, 0})->Unit(benchmark::kMillisecond);
