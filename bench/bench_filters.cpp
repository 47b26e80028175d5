// Curve filters on densely plotted curves: the constant key reducer, the
// Bezier-fit key reducer and the matrix converter. Each runs at several sizes
// up to 100,000 keys so that the fitted complexity shows the growth.
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurvenode.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

const long long kFrame = KTIME_ONE_SECOND_TICKS / 30;

// A plotted curve: one cubic auto key per frame.
void Plot(KFCurve& curve, int count, double (*value)(int))
{
    curve.KeyModifyBegin(count);
    for (int i = 0; i < count; ++i)
        curve.KeyAppendFast(KTime(i * kFrame), static_cast<float>(value(i)));
    curve.KeyModifyEnd();
}

// Plateaus of 40 frames joined by 10-frame ramps: many separate constant runs.
double Steps(int i)
{
    const int phase = i % 50;
    const int level = (i / 50) % 7;
    return phase < 40 ? level : level + (phase - 40) * 0.1;
}

double Wave(int i)
{
    const double t = i / 30.0;
    return 100.0 * std::sin(t * 0.7) + 20.0 * std::sin(t * 2.3) + 3.0 * std::cos(t * 5.1);
}

// One filter run on a fresh copy of a plotted curve of state.range(0) keys
// per iteration; only the filter is timed.
template <class Filter>
void FilterPlottedCurve(benchmark::State& state, double (*value)(int))
{
    const int count = static_cast<int>(state.range(0));
    KFCurve source;
    Plot(source, count, value);
    Filter filter;
    for (auto _ : state)
    {
        state.PauseTiming();
        KFCurve curve;
        curve.CopyFrom(source, true);
        state.ResumeTiming();
        filter.Apply(curve);
        benchmark::DoNotOptimize(curve.KeyGetCount());
    }
    state.SetComplexityN(count);
}

void BM_ConstantKeyReducer(benchmark::State& state)
{
    FilterPlottedCurve<KFCurveFilterConstantKeyReducer>(state, Steps);
}
BENCHMARK(BM_ConstantKeyReducer)->RangeMultiplier(2)->Range(25000, 100000)->Complexity()->Unit(benchmark::kMillisecond);

void BM_KeyReducer(benchmark::State& state)
{
    FilterPlottedCurve<KFCurveFilterKeyReducer>(state, Wave);
}
BENCHMARK(BM_KeyReducer)->RangeMultiplier(2)->Range(25000, 100000)->Complexity()->Unit(benchmark::kMillisecond);

// A transform node whose nine curves are plotted over count frames.
std::unique_ptr<KFCurveNode> PlottedTransform(int count)
{
    std::unique_ptr<KFCurveNode> node(new KFCurveNode("Model", "Model", nullptr));
    const char* groups[3] = {"T", "R", "S"};
    for (int g = 0; g < 3; ++g)
    {
        KFCurveNode* group = new KFCurveNode(groups[g], groups[g], nullptr, g == 1 ? KFCL_EULER_XYZ : KFCL_ADD);
        node->Add(group);
        for (const char* member : {"X", "Y", "Z"})
        {
            KFCurve* curve = group->FindOrCreate(member, true)->FCurveGet();
            Plot(*curve, count, g == 2 ? Steps : Wave);
        }
    }
    return node;
}

void BM_MatrixConverter(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::unique_ptr<KFCurveNode> source = PlottedTransform(count);
    for (auto _ : state)
    {
        state.PauseTiming();
        std::unique_ptr<KFCurveNode> node(source->Clone(false));
        KFCurveFilterMatrixConverter converter;
        KgeAMatrix pre;
        KmXYZtoR(pre, 10.0, 20.0, 30.0);
        converter.SetSourceMatrix(KFCurveFilterMatrixConverter::ePreRotate, pre);
        KTime period(kFrame);
        converter.SetResamplingPeriod(period);
        converter.SetApplyUnroll(false);
        state.ResumeTiming();
        converter.Apply(*node, true); // conversion, then the constant key reducer
        benchmark::DoNotOptimize(node->FindRecursive("R")->FindRecursive("X")->FCurveGet()->KeyGetCount());
        state.PauseTiming();
        node.reset();
        state.ResumeTiming();
    }
    state.SetComplexityN(count);
}
BENCHMARK(BM_MatrixConverter)->RangeMultiplier(2)->Range(25000, 100000)->Complexity()->Unit(benchmark::kMillisecond);

} // namespace
