// libFuzzer target: any bytes read as an OBJ file (with a material library
// beside it), the scene then written back out as OBJ. The file is read and
// written a second time with runs of statements and blocks of lines taken
// in small parallel portions, which must give the same scene and text.
// Bytes after a first NUL byte are the library exported.mtl the file may
// name; the folder also holds images that map names written on another
// machine are found by.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "scene/kqoxscene.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "formats/obj/kqoxreaderobj.h"
#include "formats/obj/kqoxwriterobj.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

std::string ScratchDirectory()
{
    static const std::string directory = [] {
        std::string d = "/tmp/fuzz_obj_" + std::to_string(getpid());
        mkdir(d.c_str(), 0700);
        // A library the input may name.
        if (FILE* f = std::fopen((d + "/a.mtl").c_str(), "wb"))
        {
            std::fputs("newmtl m\nKd 1 0 0\nNs 20\nillum 1\nmap_Kd t.tif\nnewmtl n\nd 0.5\n", f);
            std::fclose(f);
        }
        for (const char* image : {"/t.tif", "/wood.png"})
            if (FILE* f = std::fopen((d + image).c_str(), "wb"))
                std::fclose(f);
        return d;
    }();
    return directory;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string directory = ScratchDirectory();
    const std::string in = directory + "/in.obj";
    const std::string library = directory + "/exported.mtl";
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t objSize = nul ? static_cast<size_t>(nul - data) : size;
    std::remove(library.c_str());
    if (nul)
        if (std::FILE* m = std::fopen(library.c_str(), "wb"))
        {
            std::fwrite(nul + 1, 1, size - objSize - 1, m);
            std::fclose(m);
        }
    std::FILE* f = std::fopen(in.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, objSize, f);
    std::fclose(f);

    std::string texts[2];
    bool reads[2] = {false, false};
    for (int parallel = 0; parallel < 2; ++parallel)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene& scene = *manager->CreateKQoxScene();
        bool read = false;
        {
            KQoxReaderObj reader(*manager);
            reader.SetParallelRuns(parallel ? 3 : 1, 32);
            if (reader.FileOpen(in.c_str()))
            {
                std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
                read = reader.Read(scene, options.get());
            }
        }
        reads[parallel] = read;
        if (read)
        {
            const std::string out = directory + "/out.obj";
            KQoxWriterObj writer(*manager);
            writer.SetParallelBlocks(parallel ? 3 : 1, 5);
            if (writer.FileCreate(out.c_str()))
            {
                std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
                writer.Write(scene, options.get());
                writer.FileClose();
            }
            if (std::FILE* written = std::fopen(out.c_str(), "rb"))
            {
                char buffer[4096];
                size_t n;
                while ((n = std::fread(buffer, 1, sizeof buffer, written)) > 0)
                    texts[parallel].append(buffer, n);
                std::fclose(written);
            }
        }
    }
    if (reads[0] != reads[1] || texts[0] != texts[1])
        __builtin_trap();
    return 0;
}
