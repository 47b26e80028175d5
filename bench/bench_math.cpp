// Throughput of the hot math kernels: 10 million calls each of the affine product,
// matrix-to-quaternion and the rotation-order conversions (an XYZ code, a general
// Euler code and the spherical code).
#include "base/kmath.h"

#include <benchmark/benchmark.h>

namespace {

const int64_t kCalls = 10000000;

// A small pool of inputs so the branches vary and nothing folds to a constant.
struct Inputs
{
    double matrices[8][4][4];
    KgeRVector angles[8];
    KgeRMatrix rotations[8];

    Inputs()
    {
        for (int i = 0; i < 8; ++i)
        {
            angles[i] = KgeRVector(11.0 * i - 40.0, 7.0 * i - 30.0, 23.0 * i - 80.0);
            KmXYZtoR(matrices[i], angles[i].x, angles[i].y, angles[i].z);
            const double s[3] = {1.0 + i, 2.0, 0.5};
            KmRS(matrices[i], matrices[i], s);
            matrices[i][3][0] = i;
            matrices[i][3][1] = -i;
            matrices[i][3][2] = 2.0 * i;
            KmXYZtoR(rotations[i], angles[i].x, angles[i].y, angles[i].z);
        }
    }
};

const Inputs& GetInputs()
{
    static const Inputs sInputs;
    return sInputs;
}

void BM_KmAA(benchmark::State& state)
{
    const Inputs& in = GetInputs();
    double out[4][4] = {};
    int i = 0;
    for (auto _ : state)
    {
        KmAA(out, in.matrices[i & 7], in.matrices[(i + 3) & 7]);
        ++i;
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KmAA)->Iterations(kCalls);

void BM_KmRtoQ(benchmark::State& state)
{
    const Inputs& in = GetInputs();
    double q[4];
    int i = 0;
    for (auto _ : state)
    {
        KmRtoQ(q, in.rotations[i & 7]);
        ++i;
        benchmark::DoNotOptimize(q);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KmRtoQ)->Iterations(kCalls);

void BM_M2V(benchmark::State& state)
{
    const Inputs& in = GetInputs();
    const KSSRotationOrder order(static_cast<int>(state.range(0)));
    KgeRVector v;
    int i = 0;
    for (auto _ : state)
    {
        order.M2V(v, in.rotations[i & 7]);
        ++i;
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_M2V)->Arg(0)->Arg(10)->Arg(12)->Iterations(kCalls);

void BM_V2M(benchmark::State& state)
{
    const Inputs& in = GetInputs();
    const KSSRotationOrder order(static_cast<int>(state.range(0)));
    KgeRMatrix m;
    int i = 0;
    for (auto _ : state)
    {
        order.V2M(m, in.angles[i & 7]);
        ++i;
        benchmark::DoNotOptimize(m);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_V2M)->Arg(0)->Arg(10)->Arg(12)->Iterations(kCalls);

} // namespace
