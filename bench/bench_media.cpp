// Reads of a native scene of 2,000 small embedded images, away from them:
// the first read extracts every image into "<scene>.media/" (with the
// folder's record), the second finds each in place and writes nothing.
// Measured in the same run against the durable writes of the same images
// alone, as a read placed them before it kept a record (each written to a
// fresh file, flushed, linked at its name, the folder flushed):
// "first_vs_images" is the first read's time over theirs, "bytes_vs_images"
// the bytes the first read wrote (to storage, as the system counts them)
// over the bytes those writes and one record file make.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "bench_util.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxstreamoptionsqox.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

const int kImages = 2000;

// The bytes this process has had written to storage so far.
long long WrittenBytes()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "write_bytes:")
            return value;
    return 0;
}

// Image i: 96 bytes of its own.
std::string Image(int i)
{
    std::string bytes = "image " + std::to_string(i) + " ";
    bytes.resize(96, static_cast<char>('a' + i % 26));
    return bytes;
}

// The scene at path: one clip and texture for each image, its images
// embedded, then removed, so that a read extracts them.
bool WriteScene(const std::string& folder, const std::string& path)
{
    const std::string src = folder + "/src";
    std::filesystem::create_directories(src);
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    for (int i = 0; i < kImages; ++i)
    {
        const std::string file = src + "/image" + std::to_string(i) + ".raw", clip = "C" + std::to_string(i);
        std::ofstream(file, std::ios::binary) << Image(i);
        KQoxVideo* video = manager.CreateKQoxVideo(clip.c_str());
        video->SetFileName(file.c_str());
        scene.GetEntity()->AddVideo(video);
        KQoxTexture* texture = manager.CreateKQoxTexture(("T" + std::to_string(i)).c_str());
        texture->SetFileName(file.c_str());
        texture->SetMediaName(("Video::" + clip).c_str());
        scene.GetEntity()->AddTexture(texture);
    }
    KQoxExporter exporter(manager);
    KStreamOptionsQox options;
    options.SetState(KStreamOptionsQox::eMEDIA, true);
    const bool written = exporter.Initialize(path.c_str()) && exporter.Export(scene, &options);
    std::error_code ignored;
    std::filesystem::remove_all(src, ignored);
    return written;
}

bool Read(const std::string& path)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxImporter importer(manager);
    return importer.Initialize(path.c_str()) && importer.Import(scene);
}

// The images alone written into folder as a read placed them without a
// record.
bool WriteImages(const std::string& folder)
{
    std::filesystem::create_directories(folder);
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool ok = dir >= 0;
    for (int i = 0; ok && i < kImages; ++i)
    {
        const std::string fresh = ".fresh" + std::to_string(i), name = "image" + std::to_string(i) + ".raw";
        const std::string bytes = Image(i);
        const int fd = openat(dir, fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        ok = fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && fsync(fd) == 0;
        ok = fd >= 0 && close(fd) == 0 && ok;
        ok = ok && linkat(dir, fresh.c_str(), dir, name.c_str(), 0) == 0 && unlinkat(dir, fresh.c_str(), 0) == 0 &&
             fsync(dir) == 0;
    }
    if (dir >= 0)
        close(dir);
    return ok;
}

void BM_ReadsOfTwoThousandImages(benchmark::State& state)
{
    benchutil::ScratchDirectory scratch("qox_media_");
    const std::string scene = scratch.Path() + "/scene.qox", media = scene + ".media";
    const std::string alone = scratch.Path() + "/alone";
    bool ok = !scratch.Path().empty() && WriteScene(scratch.Path(), scene);
    double first = 0, second = 0, images = 0;
    long long firstBytes = 0, secondBytes = 0;
    std::error_code ignored;
    for (auto _ : state)
    {
        std::filesystem::remove_all(media, ignored);
        std::filesystem::remove_all(alone, ignored);
        sync();
        long long before = WrittenBytes();
        const double once = benchutil::Seconds([&] { ok = Read(scene) && ok; });
        firstBytes += WrittenBytes() - before;
        before = WrittenBytes();
        const double again = benchutil::Seconds([&] { ok = Read(scene) && ok; });
        secondBytes += WrittenBytes() - before;
        images += benchutil::Seconds([&] { ok = WriteImages(alone) && ok; });
        first += once;
        second += again;
        state.SetIterationTime(once + again);
    }
    if (!ok)
        state.SkipWithError("a read or write failed");
    // What the images alone and one record take on storage: whole blocks.
    const long long block = 4096;
    const long long record = benchutil::FileSize(media + "/.qoxsdk-extracted");
    const double imageBytes = static_cast<double>(kImages * block + (record + block - 1) / block * block);
    const double n = static_cast<double>(state.iterations());
    state.counters["first_read_ms"] = 1e3 * first / n;
    state.counters["second_read_ms"] = 1e3 * second / n;
    state.counters["images_alone_ms"] = 1e3 * images / n;
    state.counters["first_vs_images"] = images > 0 ? first / images : 0;
    state.counters["first_read_kb"] = static_cast<double>(firstBytes) / n / 1024;
    state.counters["second_read_kb"] = static_cast<double>(secondBytes) / n / 1024;
    state.counters["bytes_vs_images"] = static_cast<double>(firstBytes) / n / imageBytes;
}
BENCHMARK(BM_ReadsOfTwoThousandImages)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

} // namespace
