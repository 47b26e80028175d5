// libFuzzer target: any bytes read as a 3DS file through the chunk toolkit,
// then every object, light, camera, material, setting and keyframer node
// fetched by index, and the database written back out.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "formats/ftk3ds/ftk3ds.h"

namespace {

std::string ScratchPath(const char* suffix)
{
    return "/tmp/fuzz_ftk3ds_" + std::to_string(getpid()) + suffix;
}

template <typename R, typename Get, typename Release>
void FetchAll(database3ds* db, ulong3ds count, Get get, Release release)
{
    R* record = nullptr;
    // Past the count too: the index check must refuse it.
    for (ulong3ds i = 0; i <= count && i < 4096; ++i)
        get(db, i, &record);
    release(&record);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ResetToolkit3ds();
    const std::string in = ScratchPath(".in.3ds");
    std::FILE* f = std::fopen(in.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    file3ds* file = OpenFile3ds(in.c_str(), "rb");
    database3ds* db = nullptr;
    InitDatabase3ds(&db);
    CreateDatabase3ds(file, db);
    CloseFile3ds(file); // the database must not need the file any more

    FetchAll<mesh3ds>(db, GetMeshCount3ds(db), GetMeshByIndex3ds, RelMeshObj3ds);
    FetchAll<light3ds>(db, GetOmnilightCount3ds(db), GetOmnilightByIndex3ds, ReleaseLight3ds);
    FetchAll<light3ds>(db, GetSpotlightCount3ds(db), GetSpotlightByIndex3ds, ReleaseLight3ds);
    FetchAll<camera3ds>(db, GetCameraCount3ds(db), GetCameraByIndex3ds, ReleaseCamera3ds);
    FetchAll<material3ds>(db, GetMaterialCount3ds(db), GetMaterialByIndex3ds, ReleaseMaterial3ds);
    FetchAll<objectmotion3ds>(db, GetObjectNodeCount3ds(db), GetObjectMotionByIndex3ds, ReleaseObjectMotion3ds);
    FetchAll<omnimotion3ds>(db, GetOmnilightNodeCount3ds(db), GetOmnilightMotionByIndex3ds, ReleaseOmnilightMotion3ds);
    FetchAll<spotmotion3ds>(db, GetSpotlightNodeCount3ds(db), GetSpotlightMotionByIndex3ds, ReleaseSpotlightMotion3ds);
    FetchAll<cameramotion3ds>(db, GetCameraNodeCount3ds(db), GetCameraMotionByIndex3ds, ReleaseCameraMotion3ds);

    meshset3ds* settings = nullptr;
    InitMeshSet3ds(&settings);
    GetMeshSet3ds(db, &settings);
    ReleaseMeshSet3ds(&settings);
    background3ds* background = nullptr;
    InitBackground3ds(&background);
    GetBackground3ds(db, &background);
    ReleaseBackground3ds(&background);

    // A database read from a file writes back out (node ids renumbered when
    // a node is put).
    objectmotion3ds* motion = nullptr;
    InitObjectMotion3ds(&motion, 1, 1, 1, 0, 0);
    if (motion)
        std::snprintf(motion->parent, sizeof motion->parent, "%s", "$$$DUMMY.x");
    PutObjectMotion3ds(db, motion);
    ReleaseObjectMotion3ds(&motion);
    const std::string out = ScratchPath(".out.3ds");
    file3ds* outFile = OpenFile3ds(out.c_str(), "wb");
    WriteDatabase3ds(outFile, db);
    CloseFile3ds(outFile);

    ReleaseDatabase3ds(&db);
    std::remove(in.c_str());
    std::remove(out.c_str());
    return 0;
}
