// Curve nodes: evaluating a transform node (nine cubic curves) at a million
// increasing times, against evaluating the nine curves directly; finding
// nodes by path in a tree of 10,000 nodes.

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kSamples = 1000000;
const int kKeys = 240;

KTime Seconds(double s)
{
    KTime t;
    t.SetSecondDouble(s);
    return t;
}

// "Transform" with T, R, S, each X, Y, Z holding kKeys cubic auto keys, one
// every tenth of a second.
KFCurveNode* MakeTransform(bool quaternion)
{
    KFCurveNode* root = KFCurveNodeCreate("Transform");
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "Lcl Translation"));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclRotation, "Lcl Rotation"));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclScaling, "Lcl Scaling"));
    root->CreateFCurve();
    root->Get(1)->SetUseQuaternion(quaternion);
    for (int n = 0; n < 3; ++n)
        for (int m = 0; m < 3; ++m)
        {
            KFCurve* curve = root->Get(n)->Get(m)->FCurveGet();
            for (int k = 0; k < kKeys; ++k)
                curve->KeyAppendFast(Seconds(0.1 * k), static_cast<float>((k * 7 + m * 13 + n * 29) % 90));
        }
    return root;
}

void BM_TransformNodeEvaluate(benchmark::State& state)
{
    KFCurveNode* root = MakeTransform(state.range(0) != 0);
    const long long span = Seconds(0.1 * (kKeys - 1)).Get();
    double values[9];
    for (auto _ : state)
    {
        int index = 0;
        double sum = 0.0;
        for (int i = 0; i < kSamples; ++i)
        {
            root->GeneralEvaluate(values, KTime(span / kSamples * i), &index);
            sum += values[0] + values[4] + values[8];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
    root->Destroy();
}
BENCHMARK(BM_TransformNodeEvaluate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Reference: the nine curves evaluated one by one, each with its own hint.
void BM_TransformCurvesEvaluate(benchmark::State& state)
{
    KFCurveNode* root = MakeTransform(false);
    KFCurve* curves[9];
    for (int n = 0; n < 3; ++n)
        for (int m = 0; m < 3; ++m)
            curves[n * 3 + m] = root->Get(n)->Get(m)->FCurveGet();
    const long long span = Seconds(0.1 * (kKeys - 1)).Get();
    for (auto _ : state)
    {
        int index[9] = {0};
        double sum = 0.0;
        for (int i = 0; i < kSamples; ++i)
        {
            KTime t(span / kSamples * i);
            for (int c = 0; c < 9; ++c)
                sum += curves[c]->Evaluate(t, &index[c]);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
    root->Destroy();
}
BENCHMARK(BM_TransformCurvesEvaluate)->Unit(benchmark::kMillisecond);

// 100 groups of 99 members under one root: 10,000 nodes.
void BM_FindByPath(benchmark::State& state)
{
    KFCurveNode* root = KFCurveNodeCreate("Root");
    char name[32];
    for (int g = 0; g < 100; ++g)
    {
        std::snprintf(name, sizeof(name), "Group%d", g);
        KFCurveNode* group = KFCurveNodeCreate(name);
        root->Add(group);
        for (int m = 0; m < 99; ++m)
        {
            std::snprintf(name, sizeof(name), "Member%d", m);
            group->Add(KFCurveNodeCreate(name));
        }
    }
    std::vector<std::string> paths;
    for (int i = 0; i < 1000; ++i)
    {
        std::snprintf(name, sizeof(name), "group%d/MEMBER%d", (i * 37) % 100, (i * 53) % 99);
        paths.push_back(name);
    }
    size_t found = 0;
    for (auto _ : state)
    {
        for (const std::string& path : paths)
            found += root->FindRecursive(path.c_str()) != nullptr;
    }
    benchmark::DoNotOptimize(found);
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(paths.size()));
    root->Destroy();
}
BENCHMARK(BM_FindByPath)->Unit(benchmark::kMillisecond);

} // namespace
