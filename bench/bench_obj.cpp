// OBJ reading and writing at file size: a generated grid of about 2.5
// million vertices, UVs and normals and 2.5 million quads (about 450 MB, made
// once per run in the temporary directory, removed at exit). Reading is
// measured against plain fread of the same bytes and, when present,
// tinyobjloader and fast_obj in the same run, writing against fwrite of the
// bytes written saved as the writer saves (see benchutil::DurableWrite);
// counters give MB/s and the ratios to the peers.

#include <benchmark/benchmark.h>

#include "bench_util.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "scene/kqoxscene.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "formats/obj/kqoxreaderobj.h"
#include "formats/obj/kqoxwriterobj.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

#ifdef QOX_HAVE_TINYOBJ
#include <tiny_obj_loader.h>
#endif
#ifdef QOX_HAVE_FAST_OBJ
#define FAST_OBJ_IMPLEMENTATION
#include <fast_obj.h>
#endif

using namespace qoxsdk_600;

namespace {

const int kSide = 1582; // 1582 x 1582 vertices, 1581 x 1581 quads

struct BigFile
{
    std::string directory;
    std::string path;
    size_t bytes = 0;

    BigFile()
    {
        directory = benchutil::DiskFolder() + "/qox_bench_obj_" + std::to_string(getpid());
        std::string command = "mkdir -p '" + directory + "'";
        if (std::system(command.c_str()) != 0)
            return;
        path = directory + "/grid.obj";
        FILE* mtl = std::fopen((directory + "/grid.mtl").c_str(), "wb");
        if (mtl)
        {
            std::fputs("newmtl Grid\nKd 0.8 0.8 0.8\nmap_Kd grid.tif\n", mtl);
            std::fclose(mtl);
        }
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            return;
        std::string out;
        out.reserve(1 << 22);
        auto flush = [&] {
            bytes += std::fwrite(out.data(), 1, out.size(), f);
            out.clear();
        };
        auto number = [&](double v) {
            char text[32];
            auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 6);
            out.append(text, r.ptr);
        };
        auto integer = [&](long v) {
            char text[24];
            auto r = std::to_chars(text, text + sizeof text, v);
            out.append(text, r.ptr);
        };
        out += "mtllib grid.mtl\nusemtl Grid\ng grid\n";
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
            {
                out += "v ";
                number(x * 0.01);
                out += ' ';
                number(y * 0.01);
                out += ' ';
                number(0.001 * ((x * 7 + y * 13) % 100));
                out += '\n';
                if (out.size() > (1 << 21))
                    flush();
            }
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
            {
                out += "vt ";
                number(x / double(kSide - 1));
                out += ' ';
                number(y / double(kSide - 1));
                out += '\n';
                out += "vn 0.000000 0.000000 1.000000\n";
                if (out.size() > (1 << 21))
                    flush();
            }
        for (int y = 0; y + 1 < kSide; ++y)
            for (int x = 0; x + 1 < kSide; ++x)
            {
                const long corners[4] = {long(y) * kSide + x + 1, long(y) * kSide + x + 2, long(y + 1) * kSide + x + 2,
                                         long(y + 1) * kSide + x + 1};
                out += 'f';
                for (long c : corners)
                {
                    out += ' ';
                    integer(c);
                    out += '/';
                    integer(c);
                    out += '/';
                    integer(c);
                }
                out += '\n';
                if (out.size() > (1 << 21))
                    flush();
            }
        flush();
        std::fclose(f);
    }
    ~BigFile()
    {
        if (!directory.empty())
        {
            std::string command = "rm -rf '" + directory + "'";
            if (std::system(command.c_str()) != 0)
                std::fprintf(stderr, "cannot remove %s\n", directory.c_str());
        }
    }
};

BigFile& File()
{
    static BigFile file;
    return file;
}

void SetRate(benchmark::State& state, size_t bytes)
{
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_ObjPlainFread(benchmark::State& state)
{
    BigFile& big = File();
    std::vector<char> buffer(1 << 20);
    for (auto _ : state)
    {
        FILE* f = std::fopen(big.path.c_str(), "rb");
        size_t total = 0, n = 0;
        while (f && (n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
            total += n;
        if (f)
            std::fclose(f);
        benchmark::DoNotOptimize(total);
    }
    SetRate(state, big.bytes);
}

void BM_ObjRead(benchmark::State& state)
{
    BigFile& big = File();
    for (auto _ : state)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        KQoxReaderObj reader(*manager);
        reader.FileOpen(big.path.c_str());
        std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
        if (!reader.Read(scene, options.get()))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(scene.GetRootNode());
        state.PauseTiming(); // the scene's destruction is not reading
        manager.reset();
        state.ResumeTiming();
    }
    SetRate(state, big.bytes);
}

// The big file read into a new scene of the manager with the default
// options: the scene the writing benchmarks write.
KQoxScene& ReadWithDefaults(KQoxSdkManager& manager, BigFile& big)
{
    KQoxScene& scene = *manager.CreateKQoxScene();
    KQoxReaderObj reader(manager);
    reader.FileOpen(big.path.c_str());
    std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
    reader.Read(scene, options.get());
    return scene;
}

void BM_ObjReadThenWrite(benchmark::State& state)
{
    BigFile& big = File();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = ReadWithDefaults(*manager, big);
    const std::string out = big.directory + "/written.obj";
    size_t written = 0;
    for (auto _ : state)
    {
        KQoxWriterObj writer(*manager);
        writer.FileCreate(out.c_str());
        std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
        if (!writer.Write(scene, options.get()) || !writer.FileClose())
            state.SkipWithError("write failed");
        state.PauseTiming();
        benchutil::UpdateFileSize(out, written);
        state.ResumeTiming();
    }
    SetRate(state, written);
}

#ifdef QOX_HAVE_TINYOBJ
void BM_ObjReadTinyObjLoader(benchmark::State& state)
{
    BigFile& big = File();
    for (auto _ : state)
    {
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, big.path.c_str(),
                              (big.directory + "/").c_str(), false))
            state.SkipWithError("tinyobjloader failed");
        benchmark::DoNotOptimize(attrib.vertices.data());
    }
    SetRate(state, big.bytes);
}
BENCHMARK(BM_ObjReadTinyObjLoader)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
#endif

using benchutil::Seconds;

using benchutil::Slurp;

// The writer against fwrite of the very bytes it wrote (the OBJ file and its
// material library), in the same run, each file saved durably (flushed,
// renamed, the folder flushed): "vs_fwrite" is the peer's time over the
// writer's (1 = as fast).
void BM_ObjWriteVsFwrite(benchmark::State& state)
{
    BigFile& big = File();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = ReadWithDefaults(*manager, big);
    const std::string out = big.directory + "/written.obj";
    const std::string outLibrary = big.directory + "/written.mtl";
    const std::string plain = big.directory + "/plain.obj";
    const std::string plainLibrary = big.directory + "/plain.mtl";
    double ours = 0, peer = 0;
    size_t written = 0;
    for (auto _ : state)
    {
        // Both write new files: truncating the last ones is not the writer's work.
        std::remove(out.c_str());
        std::remove(outLibrary.c_str());
        const double t = Seconds([&] {
            KQoxWriterObj writer(*manager);
            writer.FileCreate(out.c_str());
            std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
            if (!writer.Write(scene, options.get()) || !writer.FileClose())
                state.SkipWithError("write failed");
        });
        const std::string bytes = Slurp(out);
        const std::string library = Slurp(outLibrary); // empty: none written
        written = bytes.size();
        std::remove(plain.c_str());
        std::remove(plainLibrary.c_str());
        const double p = Seconds([&] {
            if (!benchutil::DurableWrite(plain, bytes) ||
                (!library.empty() && !benchutil::DurableWrite(plainLibrary, library)))
                state.SkipWithError("peer write failed");
        });
        state.SetIterationTime(t);
        ours += t;
        peer += p;
    }
    std::remove(plain.c_str());
    std::remove(plainLibrary.c_str());
    SetRate(state, written);
    state.counters["vs_fwrite"] = ours > 0 ? peer / ours : 0;
    state.counters["peer_ms"] = 1e3 * peer / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ObjWriteVsFwrite)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();

// Megabytes of a "Vm..." line of /proc/self/status (Linux); 0 elsewhere.
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

// Memory a call adds at its peak, in MB: the process's peak resident size
// is reset first (Linux), so the peak is the call's; 0 where unknown.
template <typename F>
double PeakMB(F&& call)
{
    bool reset = false;
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w"))
    {
        reset = std::fputs("5", f) >= 0;
        reset = std::fclose(f) == 0 && reset;
    }
    const double before = StatusMB("VmRSS:");
    call();
    return reset ? StatusMB("VmHWM:") - before : 0;
}

#ifdef QOX_HAVE_FAST_OBJ
// The reader against fast_obj on the same file, in the same run:
// "vs_fast_obj" is fast_obj's time over the reader's (1 = as fast);
// "peak_MB" and "fast_obj_peak_MB" the memory each adds at its peak.
void BM_ObjReadVsFastObj(benchmark::State& state)
{
    BigFile& big = File();
    double ours = 0, peer = 0, ourPeak = 0, peerPeak = 0;
    for (auto _ : state)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        double t = 0;
        ourPeak = PeakMB([&] {
            t = Seconds([&] {
                KQoxScene& scene = *manager->CreateKQoxScene();
                KQoxReaderObj reader(*manager);
                reader.FileOpen(big.path.c_str());
                std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
                if (!reader.Read(scene, options.get()))
                    state.SkipWithError("read failed");
            });
        });
        manager.reset();
        fastObjMesh* mesh = nullptr;
        double p = 0;
        peerPeak = PeakMB([&] { p = Seconds([&] { mesh = fast_obj_read(big.path.c_str()); }); });
        if (!mesh)
            state.SkipWithError("fast_obj failed");
        else
            fast_obj_destroy(mesh);
        state.SetIterationTime(t);
        ours += t;
        peer += p;
    }
    SetRate(state, big.bytes);
    state.counters["vs_fast_obj"] = ours > 0 ? peer / ours : 0;
    state.counters["peak_MB"] = ourPeak;
    state.counters["fast_obj_peak_MB"] = peerPeak;
}
BENCHMARK(BM_ObjReadVsFastObj)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
#endif

} // namespace

BENCHMARK(BM_ObjPlainFread)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_ObjRead)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_ObjReadThenWrite)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
