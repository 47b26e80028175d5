// Writing and reading 64 MiB through a disk file, a CRC layer and a Twofish
// layer stacked as the native file stacks them (cipher on top).

#include "base/kchainedfile.h"
#include "base/kcrcfile.h"
#include "base/kencryptedfile.h"

#include <benchmark/benchmark.h>

#include "bench_util.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const unsigned int kTotal = 64u * 1024u * 1024u;
const unsigned int kChunk = 64u * 1024u;
char kKey[17] = "bench-layers-key";

// One scratch directory for the whole run, removed at exit, and the file
// in it.
struct ScratchFile
{
    benchutil::ScratchDirectory dir{"qox_bench_layers_"};
    std::string name = dir.Path() + "/layers.bin";
};

ScratchFile& Scratch()
{
    static ScratchFile scratch;
    return scratch;
}

std::vector<char> Pattern()
{
    std::vector<char> data(kChunk);
    unsigned int seed = 7;
    for (char& c : data)
    {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return data;
}

bool WriteStack(std::vector<char>& chunk)
{
    KCrcFile* crc =
        new KCrcFile(0, new KChainedFile(0, nullptr, KChainedFile::eClosed, false), KChainedFile::eClosed, true);
    KEncryptedFile enc(kKey, 0, crc, KChainedFile::eClosed, true);
    if (!enc.Open(Scratch().name.c_str(), kFILE_READ_WRITE, false))
        return false;
    for (unsigned int done = 0; done < kTotal; done += kChunk)
        if (enc.Write(chunk.data(), kChunk) != kChunk)
            return false;
    return enc.Close();
}

void BM_LayersWrite64MiB(benchmark::State& state)
{
    std::vector<char> chunk = Pattern();
    for (auto _ : state)
    {
        if (!WriteStack(chunk))
        {
            state.SkipWithError("write through the layers failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTotal);
}
BENCHMARK(BM_LayersWrite64MiB)->Unit(benchmark::kMillisecond);

void BM_LayersRead64MiB(benchmark::State& state)
{
    std::vector<char> chunk = Pattern();
    if (!WriteStack(chunk))
    {
        state.SkipWithError("could not prepare the file");
        return;
    }
    for (auto _ : state)
    {
        KCrcFile* crc =
            new KCrcFile(0, new KChainedFile(0, nullptr, KChainedFile::eClosed, false), KChainedFile::eClosed, true);
        KEncryptedFile enc(kKey, 0, crc, KChainedFile::eClosed, true);
        if (!enc.Open(Scratch().name.c_str(), kFILE_READ, false) || !crc->CheckCrc())
        {
            state.SkipWithError("open or CRC check failed");
            break;
        }
        unsigned int total = 0;
        for (unsigned int n; (n = enc.Read(chunk.data(), kChunk)) > 0;)
            total += n;
        benchmark::DoNotOptimize(total);
        enc.Close();
        if (total != kTotal)
        {
            state.SkipWithError("short read");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTotal);
}
BENCHMARK(BM_LayersRead64MiB)->Unit(benchmark::kMillisecond);

} // namespace
