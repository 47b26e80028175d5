// libFuzzer target: any bytes read as a DXF file under the three ways of
// deriving objects, and the scene then written back out as DXF.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "formats/dxf/kqoxreaderdxf.h"
#include "formats/dxf/kqoxwriterdxf.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string base = "/tmp/fuzz_dxf_" + std::to_string(getpid());
    const std::string in = base + ".dxf";
    const std::string out = base + "_out.dxf";
    std::FILE* f = std::fopen(in.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    for (int derivation = 0; derivation < 3; ++derivation)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene* scene = manager->CreateKQoxScene();
        {
            KQoxReaderDxf reader(*manager);
            if (!reader.FileOpen(in.c_str()))
                return 0;
            KStreamOptionsDxf options;
            options.SetOption(KStreamOptionsDxf::eOBJECT_DERIVATION, derivation);
            options.SetOption(KStreamOptionsDxf::eWELD_VERTICES, size % 2 ? 1 : 0);
            reader.Read(*scene, &options);
        }
        if (derivation == 0)
        {
            KQoxWriterDxf writer(*manager);
            if (writer.FileCreate(out.c_str()))
            {
                KStreamOptionsDxf options;
                options.SetOption(KStreamOptionsDxf::eFORCE_TRIANGULATION, 0);
                writer.Write(*scene, &options);
            }
        }
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
    return 0;
}
