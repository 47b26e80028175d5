// libFuzzer target: any bytes read as a 3DS file into a scene through the
// importer (format 15), with the reader's options chosen by the input's last
// byte. The file lies in a folder of the target's own with an image that
// map names written on another machine are found by.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdlib.h>
#include <string>
#include <unistd.h>

#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = [] {
        char name[] = "/tmp/fuzz_3ds_XXXXXX";
        const std::string directory = mkdtemp(name) ? name : "/nonexistent";
        if (std::FILE* image = std::fopen((directory + "/wood.png").c_str(), "wb"))
            std::fclose(image);
        return directory + "/in.3ds";
    }();
    static const bool registered = (KQoxRegisterGeometryFormats(), true);
    (void)registered;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    const unsigned switches = size ? data[size - 1] : 0;
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxImporter importer(*manager);
    importer.SetFileFormat(eIMPORT_3DS);
    if (importer.Initialize(path.c_str()))
    {
        std::unique_ptr<KStreamOptions> options(importer.GetImportOptions());
        if (options && options->Is(KStreamOptions3ds::ClassId))
        {
            auto* set = static_cast<KStreamOptions3ds*>(options.get());
            set->SetOption(1, switches & 1 ? 1 : 0);   // Create Reference Node
            set->SetOption(9, switches & 2 ? 0 : 1);   // Anim
            set->SetOption(16, switches & 4 ? 0 : 1);  // Smooth Group
            set->SetOption(15, switches & 8 ? 1 : 0);  // Reduce Keys
            set->SetOption(8, switches & 16 ? 0 : 1);  // Texture Mapping
            set->SetOption(14, switches & 32 ? 0 : 1); // Rescale
        }
        importer.Import(scene, options.get());
        importer.FileClose();
    }
    return 0;
}
