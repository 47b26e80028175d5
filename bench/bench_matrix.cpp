// Node matrices and pivot conversion.
//
// - The global take matrix of every node of a 10,000-node tree, 20 deep, at
//   1,000 times (each node's parent answers from its cache at each time).
// - A forced global matrix read on every node of a tree: each call checks
//   only the node's ancestors. The reference recomputes the whole tree for
//   every call, as a full recomputation from the root does; it runs on a
//   smaller tree because it grows with the square of the node count.
// - Both pivot conversions of a node with 1,000 keys on its translation and
//   rotation curves, resampled at 30 frames per second.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "fcurve/kfcurve.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;

namespace {

const long long kTicksPerSecond = 46186158000LL;

void AddLinearKey(KFCurve* curve, KTime time, float value)
{
    curve->KeySet(curve->KeyAdd(time), time, value, KFCURVE_INTERPOLATION_LINEAR);
}

// A root over chains of `depth` nodes, `count` nodes in all, in pre-order.
// Every node has a take "Take 001" (current) whose translation X and
// rotation Z have two keys over one second.
struct Tree
{
    Tree(int count, int depth)
        : mManager(new KQoxSdkManager)
    {
        mNodes.push_back(mManager->CreateKQoxNode("Root"));
        KQoxNode* last = mNodes[0];
        for (int i = 1; i < count; ++i)
        {
            KQoxNode* node = mManager->CreateKQoxNode(("N" + std::to_string(i)).c_str());
            ((i - 1) % depth == 0 ? mNodes[0] : last)->AddChild(node);
            mNodes.push_back(node);
            last = node;
        }
        for (KQoxNode* node : mNodes)
        {
            node->SetDefaultT(KQoxVector4(1, 0, 0, 0));
            KQoxTakeNode* take = node->CreateTakeNode("Take 001");
            AddLinearKey(take->GetTranslationX(), KTime(0), 1.0f);
            AddLinearKey(take->GetTranslationX(), KTime(kTicksPerSecond), 2.0f);
            AddLinearKey(take->GetEulerRotationZ(), KTime(0), 0.0f);
            AddLinearKey(take->GetEulerRotationZ(), KTime(kTicksPerSecond), 10.0f);
            node->SetCurrentTakeNode("Take 001");
        }
    }

    std::unique_ptr<KQoxSdkManager> mManager;
    std::vector<KQoxNode*> mNodes;
};

void BM_GlobalFromCurrentTakeAllNodes(benchmark::State& state)
{
    Tree tree(10000, 20);
    const int times = 1000;
    double sum = 0.0;
    for (auto _ : state)
    {
        for (int t = 0; t < times; ++t)
        {
            const KTime time(kTicksPerSecond / times * t);
            for (KQoxNode* node : tree.mNodes)
                sum += node->GetGlobalFromCurrentTake(time).Get(3, 0);
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * times * static_cast<long long>(tree.mNodes.size()));
}
BENCHMARK(BM_GlobalFromCurrentTakeAllNodes)->Unit(benchmark::kMillisecond);

void BM_ForcedGlobalMatrixEveryNode(benchmark::State& state)
{
    Tree tree(static_cast<int>(state.range(0)), 20);
    double sum = 0.0;
    for (auto _ : state)
        for (KQoxNode* node : tree.mNodes)
            sum += node->GetGlobalMatrix(eSOURCE_SET, true).Get(3, 0);
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(tree.mNodes.size()));
}
BENCHMARK(BM_ForcedGlobalMatrixEveryNode)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Reference: the whole tree recomputed from the root for every node.
void BM_ForcedGlobalMatrixEveryNodeWholeTree(benchmark::State& state)
{
    Tree tree(static_cast<int>(state.range(0)), 20);
    double sum = 0.0;
    for (auto _ : state)
        for (KQoxNode* node : tree.mNodes)
        {
            tree.mNodes[0]->ComputeGlobalMatrix(eSOURCE_SET);
            sum += node->GetGlobalMatrix(eSOURCE_SET, false).Get(3, 0);
        }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(tree.mNodes.size()));
}
BENCHMARK(BM_ForcedGlobalMatrixEveryNodeWholeTree)->Arg(1000)->Unit(benchmark::kMillisecond);

// A node with 1,000 keys on translation X and rotation X, Y and Z in a take,
// and a pre-rotation in its active source set, so both conversions resample.
KQoxNode* AnimatedNode(KQoxSdkManager& manager)
{
    KQoxNode* node = manager.CreateKQoxNode("Animated");
    node->SetRotationActive(true);
    node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    node->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 0, 30, 1));
    node->SetRotationPivot(eSOURCE_SET, KQoxVector4(1, 0, 0, 1));
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    KFCurve* curves[4] = {take->GetTranslationX(), take->GetEulerRotationX(), take->GetEulerRotationY(),
                          take->GetEulerRotationZ()};
    const long long frame = kTicksPerSecond / 30;
    for (KFCurve* curve : curves)
    {
        curve->KeyModifyBegin();
        for (int k = 0; k < 1000; ++k)
            AddLinearKey(curve, KTime(frame * k), static_cast<float>((k * 37) % 90));
        curve->KeyModifyEnd();
    }
    return node;
}

void BM_ConvertPivotAnimation1000Keys(benchmark::State& state)
{
    KQoxSdkManager manager;
    for (auto _ : state)
    {
        state.PauseTiming();
        KQoxNode* node = AnimatedNode(manager);
        state.ResumeTiming();
        if (state.range(0) == 0)
            node->ConvertPivotAnimation(eDESTINATION_SET, 30.0, true);
        else
            node->ConvertPivotAnimationRecursive(eDESTINATION_SET, 30.0, true);
        state.PauseTiming();
        manager.DestroyKQoxNode(node, true);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ConvertPivotAnimation1000Keys)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
