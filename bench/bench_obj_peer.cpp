// OBJ reading against fast_obj, pair by pair in the same run: a grid of
// about 40 MB and one of about 443 MB (positions, UVs and normals, quads
// "v/t/n"), and a file of many small groups using many materials. The files
// (500 groups of 529 quads, 200 materials) are made at run time in a
// scratch directory. Each pair reads the same file
// with the reader (on one thread, or with its default threads) and with
// fast_obj; the counters give medians of wall time, CPU time and the peak
// resident size each read adds, the heap the finished scene holds, and the
// ratios: "time_of_fast_obj" is fast_obj's time over the reader's (1 = as
// fast), "peak_of_scene" the reader's peak over the scene's heap.

#include <benchmark/benchmark.h>

#include "bench_util.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

#include "formats/kqoxstreamoptionsgeometry.h"
#include "formats/obj/kqoxreaderobj.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

#ifdef QOX_HAVE_FAST_OBJ
#include <fast_obj.h> // the implementation is in bench_obj.cpp
#endif

using namespace qoxsdk_600;

namespace {

const std::string& Directory()
{
    static benchutil::ScratchDirectory scratch("qoxobjpeer");
    return scratch.Path();
}

// Text written to a file in large pieces.
class Out
{
public:
    explicit Out(const std::string& path)
        : mFile(std::fopen(path.c_str(), "wb"))
    {
        mText.reserve(1 << 22);
    }
    ~Out()
    {
        Flush();
        if (mFile)
            std::fclose(mFile);
    }
    void Text(const char* text) { mText += text; }
    void Char(char c) { mText += c; }
    void Fixed(double v)
    {
        char text[32];
        auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 6);
        mText.append(text, r.ptr);
    }
    void Integer(long v)
    {
        char text[24];
        auto r = std::to_chars(text, text + sizeof text, v);
        mText.append(text, r.ptr);
    }
    void Line()
    {
        mText += '\n';
        if (mText.size() > (1 << 21))
            Flush();
    }

private:
    void Flush()
    {
        if (mFile)
            std::fwrite(mText.data(), 1, mText.size(), mFile);
        mText.clear();
    }
    FILE* mFile;
    std::string mText;
};

void WriteMaterials(const std::string& path, int count)
{
    Out mtl(path);
    for (int m = 0; m < count; ++m)
    {
        mtl.Text("newmtl M");
        mtl.Integer(m);
        mtl.Line();
        mtl.Text("Kd 0.8 0.5 0.2");
        mtl.Line();
    }
}

// Vertices, UVs and normals of a side x side grid starting at index base
// (one-based), then its quads;
// beforeFace(n) is called before the n-th face.
template <typename F>
void WriteGrid(Out& out, int side, double dx, long base, int group, F&& beforeFace)
{
    long face = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
        {
            out.Text("v ");
            out.Fixed(dx + x * 0.01);
            out.Char(' ');
            out.Fixed(y * 0.01);
            out.Char(' ');
            out.Fixed(0.001 * ((x * 7 + y * 13 + group) % 100));
            out.Line();
        }
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
        {
            out.Text("vt ");
            out.Fixed(x / double(side - 1));
            out.Char(' ');
            out.Fixed(y / double(side - 1));
            out.Line();
        }
    for (int i = 0; i < side * side; ++i)
    {
        out.Text("vn 0.000000 0.000000 1.000000");
        out.Line();
    }
    for (int y = 0; y + 1 < side; ++y)
        for (int x = 0; x + 1 < side; ++x)
        {
            beforeFace(face++);
            const long corners[4] = {base + long(y) * side + x, base + long(y) * side + x + 1,
                                     base + long(y + 1) * side + x + 1, base + long(y + 1) * side + x};
            out.Char('f');
            for (long c : corners)
            {
                out.Char(' ');
                out.Integer(c);
                out.Char('/');
                out.Integer(c);
                out.Char('/');
                out.Integer(c);
            }
            out.Line();
        }
}

// A grid of one group whose faces change material every 50 faces.
void WriteGroup(Out& out, int side, int group, long base)
{
    WriteGrid(out, side, group * 0.25, base, group, [&](long face) {
        if (face % 50 == 0)
        {
            out.Text("usemtl M");
            out.Integer((group * 37 + face / 50) % 200);
            out.Line();
        }
    });
}

// The files (used only where fast_obj is at hand): 0 the 40 MB grid, 1 the
// 443 MB grid, 2 the many groups.
[[maybe_unused]] const std::string& FilePath(int which)
{
    static std::string paths[3];
    std::string& path = paths[which];
    if (!path.empty())
        return path;
    path = Directory() + "/file" + std::to_string(which) + ".obj";
    WriteMaterials(Directory() + "/file" + std::to_string(which) + ".mtl", 200);
    Out out(path);
    out.Text("mtllib file");
    out.Integer(which);
    out.Text(".mtl");
    out.Line();
    if (which < 2)
    {
        out.Text("usemtl M1");
        out.Line();
        out.Text("g grid");
        out.Line();
        WriteGrid(out, which == 0 ? 502 : 1582, 0, 1, 0, [](long) {});
        return path;
    }
    // 500 groups of 24 x 24 vertices, each in its own smoothing group or
    // none, their faces switching among 200 materials every 50 faces.
    const int side = 24;
    long base = 1;
    for (int g = 0; g < 500; ++g)
    {
        out.Text("g part");
        out.Integer(g);
        out.Line();
        out.Text(g % 2 ? "s 1" : "s off");
        out.Line();
        WriteGroup(out, side, g, base);
        base += long(side) * side;
    }
    return path;
}

double CpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double StatusMB(const char* key)
{
    double kilobytes = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r"))
    {
        char line[256];
        const size_t length = std::strlen(key);
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, key, length) == 0)
                kilobytes = std::atof(line + length);
        std::fclose(f);
    }
    return kilobytes / 1024;
}

// Heap in use, in MB (malloc's arenas and its mapped blocks).
[[maybe_unused]] double HeapMB()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1 << 20);
}

struct Measure
{
    double mWall = 0, mCpu = 0, mPeak = 0;
};

// Time, CPU time and the peak resident size a call adds (the high-water mark
// reset first, freed heap given back before).
template <typename F>
Measure Run(F&& call)
{
    malloc_trim(0);
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w"))
    {
        std::fputs("5", f);
        std::fclose(f);
    }
    Measure m;
    const double before = StatusMB("VmRSS:");
    const double cpu = CpuSeconds();
    m.mWall = benchutil::Seconds(call);
    m.mCpu = CpuSeconds() - cpu;
    m.mPeak = StatusMB("VmHWM:") - before;
    return m;
}

[[maybe_unused]] double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

#ifdef QOX_HAVE_FAST_OBJ
// Arguments: the file (0, 1, 2) and the reader's threads (0: its default).
void BM_ObjVsFastObj(benchmark::State& state)
{
    const std::string& path = FilePath(static_cast<int>(state.range(0)));
    const int threads = static_cast<int>(state.range(1));
    std::vector<double> wall, cpu, peak, scene, peerWall, peerCpu, peerPeak, timeRatio, cpuRatio;
    for (auto _ : state)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& read = *manager->CreateKQoxScene();
        const double heapBefore = HeapMB();
        bool ok = false;
        const Measure ours = Run([&] {
            KQoxReaderObj reader(*manager);
            if (threads > 0)
                reader.SetParallelRuns(threads, size_t(1) << 20);
            reader.FileOpen(path.c_str());
            std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
            ok = reader.Read(read, options.get());
        });
        if (!ok)
            state.SkipWithError("read failed");
        scene.push_back(HeapMB() - heapBefore);
        manager.reset();
        fastObjMesh* mesh = nullptr;
        const Measure peer = Run([&] { mesh = fast_obj_read(path.c_str()); });
        if (!mesh)
            state.SkipWithError("fast_obj failed");
        else
            fast_obj_destroy(mesh);
        state.SetIterationTime(ours.mWall);
        wall.push_back(ours.mWall);
        cpu.push_back(ours.mCpu);
        peak.push_back(ours.mPeak);
        peerWall.push_back(peer.mWall);
        peerCpu.push_back(peer.mCpu);
        peerPeak.push_back(peer.mPeak);
        timeRatio.push_back(peer.mWall / ours.mWall);
        cpuRatio.push_back(peer.mCpu / ours.mCpu);
    }
    state.counters["MB"] = static_cast<double>(benchutil::FileSize(path)) / 1e6;
    state.counters["ms"] = Median(wall) * 1e3;
    state.counters["cpu_ms"] = Median(cpu) * 1e3;
    state.counters["peak_MB"] = Median(peak);
    state.counters["scene_MB"] = Median(scene);
    state.counters["fo_ms"] = Median(peerWall) * 1e3;
    state.counters["fo_cpu_ms"] = Median(peerCpu) * 1e3;
    state.counters["fo_peak_MB"] = Median(peerPeak);
    state.counters["time_of_fast_obj"] = Median(timeRatio);
    state.counters["cpu_of_fast_obj"] = Median(cpuRatio);
    state.counters["peak_of_scene"] = Median(scene) > 0 ? Median(peak) / Median(scene) : 0;
}
BENCHMARK(BM_ObjVsFastObj)
    ->ArgNames({"file", "threads"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({2, 1})
    ->Args({2, 0})
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_ObjVsFastObj)
    ->ArgNames({"file", "threads"})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
#endif

} // namespace
