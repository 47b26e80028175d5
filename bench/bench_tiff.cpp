// TIFF media of textures: writing and reading image buffers of two sizes,
// plain and Deflate, and the same files decoded strip by strip with libtiff
// alone (the peer: the reader's own cost is what lies above it).

#include <benchmark/benchmark.h>

#include "bench_util.h"
#include <tiffio.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "scene/attributes/kqoximageconverter.h"

using namespace qoxsdk_600;

namespace {

// One scratch directory for the whole run, removed at exit.
const std::string& ScratchDirectory()
{
    static benchutil::ScratchDirectory scratch("tiffbench");
    return scratch.Path();
}

void Fill(ImageConverterBuffer& buffer, int side, int format)
{
    buffer.Init(side, side, true, format, 3);
    for (long long i = 0; i < buffer.GetPixelByteCount(); ++i)
        buffer.mPixels[i] = static_cast<unsigned char>((i * 31) ^ (i >> 9));
}

std::string WrittenFile(int side, bool compress, int format)
{
    std::string path = ScratchDirectory() + "/read_" + std::to_string(side) + "_" + std::to_string(compress) + "_" +
                       std::to_string(format) + ".tif";
    if (!std::filesystem::exists(path))
    {
        ImageConverterBuffer buffer;
        Fill(buffer, side, format);
        WriteToTif(path.c_str(), compress, buffer);
    }
    return path;
}

// Arguments: side, compress, colour format.
void BM_WriteToTif(benchmark::State& state)
{
    int side = int(state.range(0));
    ImageConverterBuffer buffer;
    Fill(buffer, side, int(state.range(2)));
    std::string path = ScratchDirectory() + "/write.tif";
    for (auto _ : state)
        if (!WriteToTif(path.c_str(), state.range(1) != 0, buffer))
            state.SkipWithError("write failed");
    state.SetBytesProcessed(state.iterations() * buffer.GetPixelByteCount());
}
BENCHMARK(BM_WriteToTif)->ArgsProduct({{256, 1024}, {0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_ReadFromTif(benchmark::State& state)
{
    int side = int(state.range(0));
    std::string path = WrittenFile(side, state.range(1) != 0, int(state.range(2)));
    for (auto _ : state)
    {
        ImageConverterBuffer buffer;
        if (!ReadFromTif(path.c_str(), buffer, false))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(buffer.mPixels.get());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(side) * side * 3);
}
BENCHMARK(BM_ReadFromTif)->ArgsProduct({{256, 1024}, {0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

// The peer: open, decode every strip into one array, close.
void BM_LibtiffStrips(benchmark::State& state)
{
    int side = int(state.range(0));
    std::string path = WrittenFile(side, state.range(1) != 0, int(state.range(2)));
    std::vector<unsigned char> pixels(size_t(side) * side * 3);
    for (auto _ : state)
    {
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        if (!tif)
        {
            state.SkipWithError("open failed");
            break;
        }
        tmsize_t row = TIFFScanlineSize(tif);
        for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
            TIFFReadEncodedStrip(tif, s, pixels.data() + size_t(s) * row, row);
        TIFFClose(tif);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(side) * side * 3);
}
BENCHMARK(BM_LibtiffStrips)->ArgsProduct({{256, 1024}, {0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

// One row of 4096 pixels in (2, 1) data units, kept YCbCr or converted.
void BM_ExpandYCrCb(benchmark::State& state)
{
    const unsigned long width = 4096;
    std::vector<unsigned char> source(width / 2 * 4), out(width * 3);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<unsigned char>(i * 7);
    for (auto _ : state)
    {
        ExpandYCrCb(source.data(), out.data(), width, 2, nullptr, state.range(0) != 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(out.size()));
}
BENCHMARK(BM_ExpandYCrCb)->Arg(0)->Arg(1);

} // namespace
